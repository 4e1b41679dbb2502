// The inflate decoder: RFC 1950's two-byte header, then RFC 1951's blocks, decoded straight
// into the caller's buffer. Written to be read beside RFC 1951: one small state record, a bit
// reader, a canonical Huffman decoder that finds short codes in one look-up and walks longer
// ones one bit at a time, and a function per block type. A stream cut short or a buffer too small ends the call with nothing; damaged
// data ends it with the bytes decoded before the damage. Every stop travels back as a negative
// status through the return values.
#include "inflate/inflate.h"

#include <cstring>

namespace pdfrepair {
namespace {

constexpr int max_bits = 15;          // longest Huffman code
constexpr int max_lit_codes = 286;    // literal/length codes a dynamic block may declare
constexpr int max_dist_codes = 30;    // distance codes a dynamic block may declare
constexpr int code_len_codes = 19;    // codes of the code-length code
constexpr int fixed_lit_codes = 288;  // the fixed code also assigns the unusable 286 and 287
constexpr int fast_bits = 9;          // codes up to this long are found in one look-up

// Why decoding stopped before the last block ended. Negative, so that they travel back through
// the same int that otherwise carries bits or a symbol.
constexpr int input_exhausted = -1;  // the stream is cut short
constexpr int output_full = -2;      // the caller's buffer is too small
constexpr int bad_data = -3;         // the stream is damaged: what came before it stands
constexpr int limit_reached = -4;    // the output reached the caller's limit
constexpr int between_blocks = -5;   // the input ended after a complete block, no last one

constexpr std::uint32_t window_size = 32768;  // the farthest a match reaches back

struct inflate_state {
  unsigned char* dst;
  std::uint32_t dst_cap;
  std::uint32_t dst_len;
  const unsigned char* src;  // the first byte after the stream header
  std::uint32_t src_len;
  std::uint32_t src_pos;
  std::uint32_t bit_acc;  // bits loaded but not used, the next one least significant
  int bit_avail;
  // Window mode: dst holds only the last bytes decoded; the older ones are counted in dropped.
  bool window = false;
  std::uint64_t dropped = 0;
  std::uint64_t limit = ~std::uint64_t{0};  // output at which decoding stops
};

// Room for n more bytes of output. In window mode the oldest bytes make way, all but the 32 KiB
// a match may still reach.
bool make_room(inflate_state& s, std::uint32_t n) {
  if (s.dst_cap - s.dst_len >= n) return true;
  if (!s.window) return false;
  const std::uint32_t keep = s.dst_len < window_size ? s.dst_len : window_size;
  std::memmove(s.dst, s.dst + s.dst_len - keep, keep);
  s.dropped += s.dst_len - keep;
  s.dst_len = keep;
  return s.dst_cap - s.dst_len >= n;
}

bool at_limit(const inflate_state& s) { return s.dropped + s.dst_len >= s.limit; }

// A canonical Huffman code, described by how many codes each length has and which symbols they
// stand for: codes of one length are consecutive numbers, handed out in symbol order.
struct huff_table {
  std::int16_t* counts;   // codes per length 0..max_bits; counts[0] is the symbols without one
  std::int16_t* symbols;  // the symbols that have a code, by code length, then by value
  // By the next fast_bits bits as they arrive: symbol << 4 | length of the code they start
  // with, or 0 when that code is longer (or there is none). Null: every code is walked.
  std::uint16_t* fast = nullptr;
};

// Length symbols 257..285 and distance symbols 0..29: base value and extra bits (RFC 1951
// 3.2.5).
constexpr std::int16_t lens[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::int16_t lext[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::int16_t dists[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                    33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::int16_t dext[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                   6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// The order in which a dynamic block sends the code-length code's lengths (RFC 1951 3.2.7).
constexpr std::int16_t order[code_len_codes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                11, 4,  12, 3, 13, 2, 14, 1, 15};

// The fixed codes are the same for every stream: built on the first fixed block the process
// decodes, then shared by every later call.
std::int16_t lencnt[max_bits + 1];
std::int16_t lensym[fixed_lit_codes];
std::int16_t distcnt[max_bits + 1];
std::int16_t distsym[max_dist_codes];
std::uint16_t lenfast[1 << fast_bits];
std::uint16_t distfast[1 << fast_bits];
const huff_table lencode = {lencnt, lensym, lenfast};
const huff_table distcode = {distcnt, distsym, distfast};
int virgin = 1;

// The next n bits (n <= 13) with the first one read least significant, or input_exhausted.
// Bytes are loaded one at a time as needed, so fewer than 8 bits are ever left over.
int bits(inflate_state& s, int n) {
  while (s.bit_avail < n) {
    if (s.src_pos == s.src_len) return input_exhausted;
    s.bit_acc |= std::uint32_t{s.src[s.src_pos++]} << s.bit_avail;
    s.bit_avail += 8;
  }
  int value = static_cast<int>(s.bit_acc & ((1u << n) - 1));
  s.bit_acc >>= n;
  s.bit_avail -= n;
  return value;
}

// The next symbol of code h, read one bit at a time (Huffman codes are sent first bit first).
// After len bits, the bits read match a code of that length exactly when they fall among the
// counts[len] consecutive codes starting at first; otherwise they are the start of a longer
// code. Returns bad_data when no code of up to 15 bits matches. The bits are taken from a
// local copy of the reader, written back only with a symbol: after a failure nothing reads it.
int decode(inflate_state& s, const huff_table& h) {
  if (h.fast) {
    std::uint32_t acc = s.bit_acc;
    int avail = s.bit_avail;
    std::uint32_t pos = s.src_pos;
    while (avail < fast_bits && pos < s.src_len) {
      acc |= std::uint32_t{s.src[pos++]} << avail;
      avail += 8;
    }
    const int entry = avail >= fast_bits ? h.fast[acc & ((1u << fast_bits) - 1)] : 0;
    if (entry != 0) {
      avail -= entry & 15;
      acc >>= entry & 15;
      // Whole bytes loaded but not used go back, so that the reader is left as the walk leaves
      // it: the same bytes read, fewer than 8 bits over.
      s.src_pos = pos - static_cast<std::uint32_t>(avail >> 3);
      s.bit_avail = avail & 7;
      s.bit_acc = acc & ((1u << s.bit_avail) - 1);
      return entry >> 4;
    }
  }
  std::uint32_t acc = s.bit_acc;
  int avail = s.bit_avail;
  int code = 0;   // the bits read so far, the first one most significant
  int first = 0;  // the first code of length len
  int index = 0;  // where the symbols of length len begin in h.symbols
  for (int len = 1; len <= max_bits; ++len) {
    if (avail == 0) {
      if (s.src_pos == s.src_len) return input_exhausted;
      acc = s.src[s.src_pos++];
      avail = 8;
    }
    code |= static_cast<int>(acc & 1);
    acc >>= 1;
    --avail;
    const int count = h.counts[len];
    if (code - count < first) {
      s.bit_acc = acc;
      s.bit_avail = avail;
      return h.symbols[index + (code - first)];
    }
    index += count;
    first = (first + count) << 1;
    code <<= 1;
  }
  return bad_data;
}

// Fills h from the code lengths of symbols 0..n-1 (each 0..15, 0 meaning no code). Returns 0
// for a complete code and for one without any codes, the number of unused codes of the
// longest length when the code is incomplete, and a negative value when it is over-subscribed
// (h.symbols is then left unfilled).
int construct(const huff_table& h, const std::int16_t* length, int n) {
  for (int len = 0; len <= max_bits; ++len) h.counts[len] = 0;
  for (int sym = 0; sym < n; ++sym) ++h.counts[length[sym]];
  if (h.counts[0] == n) return 0;

  int left = 1;  // codes of the current length not yet handed out
  for (int len = 1; len <= max_bits; ++len) {
    left = 2 * left - h.counts[len];
    if (left < 0) return left;
  }

  std::int16_t offs[max_bits + 1];  // where the next symbol of each length goes
  offs[1] = 0;
  for (int len = 1; len < max_bits; ++len) offs[len + 1] = offs[len] + h.counts[len];
  for (int sym = 0; sym < n; ++sym)
    if (length[sym] != 0) h.symbols[offs[length[sym]]++] = static_cast<std::int16_t>(sym);
  return left;
}

// Fills h.fast from a code construct filled: every code of up to fast_bits bits, under every
// index whose low bits are its bits in the order they arrive (first bit lowest).
void fill_fast(const huff_table& h) {
  std::memset(h.fast, 0, sizeof(std::uint16_t) << fast_bits);
  int code = 0;   // the next code of length len, first bit most significant
  int index = 0;  // its symbol's place in h.symbols
  for (int len = 1; len <= fast_bits; ++len, code <<= 1) {
    for (int k = 0; k < h.counts[len]; ++k, ++code, ++index) {
      int arrived = 0;
      for (int b = 0; b < len; ++b) arrived |= ((code >> (len - 1 - b)) & 1) << b;
      const auto entry = static_cast<std::uint16_t>(h.symbols[index] << 4 | len);
      for (int i = arrived; i < (1 << fast_bits); i += 1 << len) h.fast[i] = entry;
    }
  }
}

// A code a dynamic block may use: complete, or incomplete only because it has a single code of
// one bit, the one way to send a single symbol.
bool usable(const huff_table& h, int left, int n) {
  return left == 0 || (left > 0 && h.counts[0] + h.counts[1] == n);
}

// Symbols of a compressed block up to and including its end-of-block code (RFC 1951 3.2.5).
// Returns 0 at the end of the block, otherwise why it stopped.
int codes(inflate_state& s, const huff_table& lit_len, const huff_table& dist) {
  for (;;) {
    int sym = decode(s, lit_len);
    if (sym < 0) return sym;
    if (sym < 256) {
      if (s.dst_len == s.dst_cap && !make_room(s, 1)) return output_full;
      s.dst[s.dst_len++] = static_cast<unsigned char>(sym);
      if (at_limit(s)) return limit_reached;
      continue;
    }
    if (sym == 256) return 0;

    int index = sym - 257;
    if (index >= 29) return bad_data;  // 286 and 287 have fixed codes but no meaning
    int extra = bits(s, lext[index]);
    if (extra < 0) return extra;
    std::uint32_t len = static_cast<std::uint32_t>(lens[index] + extra);

    int dsym = decode(s, dist);  // below 30: no table holds more distance symbols
    if (dsym < 0) return dsym;
    extra = bits(s, dext[dsym]);
    if (extra < 0) return extra;
    std::uint32_t distance = static_cast<std::uint32_t>(dists[dsym] + extra);

    // A window keeps at least the 32 KiB a distance can reach, or everything decoded.
    if (distance > s.dst_len) return bad_data;  // reaches before the first byte of output
    if (!make_room(s, len)) return output_full;
    // Byte by byte when the distance is shorter than the length: the copy then reads bytes it
    // has just written, and so repeats the last `distance` bytes.
    unsigned char* to = s.dst + s.dst_len;
    const unsigned char* from = to - distance;
    if (distance >= len)
      std::memcpy(to, from, len);
    else
      for (std::uint32_t i = 0; i < len; ++i) to[i] = from[i];
    s.dst_len += len;
    if (at_limit(s)) return limit_reached;
  }
}

// Stored block (RFC 1951 3.2.4): from the next byte boundary, LEN and its one's complement
// NLEN, two bytes each, least significant first, then LEN bytes to copy as they are.
int stored(inflate_state& s) {
  s.bit_acc = 0;  // the rest of the current byte is padding
  s.bit_avail = 0;
  if (s.src_len - s.src_pos < 4) return input_exhausted;
  const unsigned char* p = s.src + s.src_pos;
  std::uint32_t len = p[0] | p[1] << 8;
  std::uint32_t nlen = p[2] | p[3] << 8;
  s.src_pos += 4;
  if (len != (~nlen & 0xffff)) return bad_data;
  if (s.src_len - s.src_pos < len) return input_exhausted;  // nothing of a block cut short
  if (!make_room(s, len)) return output_full;
  if (len != 0) std::memcpy(s.dst + s.dst_len, s.src + s.src_pos, len);
  s.src_pos += len;
  s.dst_len += len;
  return at_limit(s) ? limit_reached : 0;
}

// Block compressed with the fixed codes of RFC 1951 3.2.6.
int fixed(inflate_state& s) {
  if (virgin) {
    std::int16_t length[fixed_lit_codes];
    int sym = 0;
    for (; sym < 144; ++sym) length[sym] = 8;
    for (; sym < 256; ++sym) length[sym] = 9;
    for (; sym < 280; ++sym) length[sym] = 7;
    for (; sym < fixed_lit_codes; ++sym) length[sym] = 8;
    construct(lencode, length, fixed_lit_codes);
    fill_fast(lencode);
    for (sym = 0; sym < max_dist_codes; ++sym) length[sym] = 5;
    construct(distcode, length, max_dist_codes);  // incomplete: 30 and 31 stay unassigned
    fill_fast(distcode);
    virgin = 0;
  }
  return codes(s, lencode, distcode);
}

// Block compressed with codes it sends first (RFC 1951 3.2.7): the code lengths of both codes,
// themselves Huffman-coded with a code-length code whose lengths come first.
int dynamic(inflate_state& s) {
  // Code lengths: first of the code-length code, then of both codes in one run, since a
  // repeat may cross from the literal/length lengths into the distance lengths.
  std::int16_t length[max_lit_codes + max_dist_codes] = {};
  std::int16_t lit_cnt[max_bits + 1];
  std::int16_t lit_sym[max_lit_codes];
  std::int16_t dist_cnt[max_bits + 1];
  std::int16_t dist_sym[max_dist_codes];
  std::uint16_t lit_fast[1 << fast_bits];
  std::uint16_t dist_fast[1 << fast_bits];
  const huff_table code_len = {lit_cnt, lit_sym};  // the code-length code, in the same arrays
  const huff_table lit_len = {lit_cnt, lit_sym, lit_fast};
  const huff_table dist = {dist_cnt, dist_sym, dist_fast};

  int nlen = bits(s, 5);
  if (nlen < 0) return nlen;
  int ndist = bits(s, 5);
  if (ndist < 0) return ndist;
  int ncode = bits(s, 4);
  if (ncode < 0) return ncode;
  nlen += 257;
  ndist += 1;
  ncode += 4;
  if (nlen > max_lit_codes || ndist > max_dist_codes) return bad_data;

  for (int i = 0; i < ncode; ++i) {
    int len = bits(s, 3);
    if (len < 0) return len;
    length[order[i]] = static_cast<std::int16_t>(len);
  }
  if (construct(code_len, length, code_len_codes) != 0) return bad_data;

  int index = 0;
  while (index < nlen + ndist) {
    int sym = decode(s, code_len);
    if (sym < 0) return sym;
    if (sym < 16) {
      length[index++] = static_cast<std::int16_t>(sym);
      continue;
    }
    std::int16_t value = 0;  // 17 and 18 repeat zero
    int repeat;
    if (sym == 16) {
      if (index == 0) return bad_data;  // nothing to repeat yet
      value = length[index - 1];
      repeat = bits(s, 2);
      if (repeat < 0) return repeat;
      repeat += 3;
    } else if (sym == 17) {
      repeat = bits(s, 3);
      if (repeat < 0) return repeat;
      repeat += 3;
    } else {
      repeat = bits(s, 7);
      if (repeat < 0) return repeat;
      repeat += 11;
    }
    if (repeat > nlen + ndist - index) return bad_data;
    while (repeat-- > 0) length[index++] = value;
  }

  if (length[256] == 0) return bad_data;  // the block could never end
  if (!usable(lit_len, construct(lit_len, length, nlen), nlen)) return bad_data;
  if (!usable(dist, construct(dist, length + nlen, ndist), ndist)) return bad_data;
  fill_fast(lit_len);
  fill_fast(dist);
  return codes(s, lit_len, dist);
}

// Blocks up to the one marked last (RFC 1951 3.2.3). What follows it, the Adler-32 trailer
// included, is never read. Input that ends once complete blocks used every byte, but for zero
// bits left in the last one (its padding), ends between blocks.
int blocks(inflate_state& s) {
  int last;
  do {
    const bool bytes_left = s.src_pos < s.src_len || s.bit_acc != 0;
    last = bits(s, 1);
    int type = last < 0 ? last : bits(s, 2);
    int rc = type < 0 ? type : type == 0 ? stored(s) : type == 1 ? fixed(s) : type == 2 ? dynamic(s) : bad_data;
    if (rc == input_exhausted && !bytes_left) return between_blocks;
    if (rc != 0) return rc;
  } while (last == 0);
  return 0;
}

// Whether the two header bytes hold a check value that makes them a multiple of 31.
bool header_checks(const unsigned char* in) { return (in[0] * 256u + in[1]) % 31 == 0; }

// Decodes what follows the two header bytes of in; the state's output fields are set.
int run_blocks(inflate_state& s, const unsigned char* in, std::uint64_t in_len) {
  s.src = in + 2;
  s.src_len = static_cast<std::uint32_t>(in_len - 2);
  return blocks(s);
}

bool refused_header(const unsigned char* in) {
  return (in[0] & 0x0f) != 8 || (in[1] & 0x20) != 0;  // not deflate, or a preset dictionary
}

}  // namespace

inflate_verdict inflate_verify(const unsigned char* in, std::uint64_t in_len, unsigned char* window,
                               std::uint64_t limit) {
  if (in_len == 0) return {false, 0};
  if (in_len < 2 || in_len > 0xffffffffu || refused_header(in)) return {true, 0};
  inflate_state s{};
  s.dst = window;
  s.dst_cap = inflate_window_bytes;
  s.window = true;
  s.limit = limit;
  const int rc = run_blocks(s, in, in_len);
  const bool sound = rc == 0 || rc == between_blocks || rc == limit_reached;
  return {!sound || !header_checks(in), s.dropped + s.dst_len};
}

std::uint64_t inflate_prefix(const unsigned char* in, std::uint64_t in_len, unsigned char* out,
                             std::uint64_t n) {
  if (in_len < 2 || in_len > 0xffffffffu || n > inflate_max_out || refused_header(in)) return 0;
  inflate_state s{};
  s.dst = out;
  s.dst_cap = static_cast<std::uint32_t>(n);
  run_blocks(s, in, in_len);
  return s.dst_len;
}

inflate_status inflate_run(const unsigned char* in, std::uint64_t in_len, unsigned char* out,
                           std::uint64_t out_cap, std::uint64_t* out_len) {
  *out_len = 0;
  if (in_len < 2 || out_cap > inflate_max_out) return inflate_status::refused;
  if (refused_header(in)) return inflate_status::refused;  // not deflate, or a preset dictionary

  inflate_state s{};
  s.dst = out;
  s.dst_cap = static_cast<std::uint32_t>(out_cap);
  int rc = run_blocks(s, in, in_len);
  if (rc == input_exhausted || rc == between_blocks) return inflate_status::input_exhausted;
  if (rc == output_full) return inflate_status::output_full;
  *out_len = s.dst_len;
  return inflate_status::decoded;
}

int inflate_decompress(const unsigned char* in, std::uint64_t in_len, unsigned char* out,
                       std::uint64_t out_cap, std::uint64_t* out_len) {
  return inflate_run(in, in_len, out, out_cap, out_len) == inflate_status::decoded ? 0 : -1;
}

}  // namespace pdfrepair
