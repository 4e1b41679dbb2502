// The inflate decoder: every stream zlib writes decodes to the bytes it was given; the result
// rules (a stream cut short or a buffer too small gives -1 and nothing, damaged data gives 0
// and the bytes before the damage), each reached by a hand-made stream; and random and mutated
// input, decoded from exactly sized heap buffers and checked against the rules and zlib.
#include "inflate/inflate.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pdfrepair {
namespace {

using bytes = std::vector<unsigned char>;

bytes to_bytes(std::string_view s) { return bytes(s.begin(), s.end()); }
std::string to_text(const bytes& b) { return std::string(b.begin(), b.end()); }

struct decoded {
  int rc;
  std::uint64_t len;  // the count as the decoder left it
  bytes out;          // the bytes it counts
};

// Decodes from an exactly sized heap copy of in into an exactly sized heap buffer, so that the
// sanitizer reports any read or write outside either.
decoded decode_exact(const bytes& in, std::uint64_t cap) {
  auto src = std::make_unique<unsigned char[]>(in.size());
  std::copy(in.begin(), in.end(), src.get());
  auto dst = std::make_unique<unsigned char[]>(cap);
  std::uint64_t len = 0xdead;  // must be overwritten on every path
  int rc = inflate_decompress(src.get(), in.size(), dst.get(), cap, &len);
  return {rc, len, bytes(dst.get(), dst.get() + std::min(len, cap))};
}

// ---- Inputs and zlib as the independent encoder and oracle ----

// Text that looks like page content and object dictionaries, from a seeded generator.
bytes pdf_text(std::size_t size, unsigned seed) {
  static const char* const words[] = {"BT", "ET", "/F1 12 Tf", "Td", "Tj", "re f", "cm", "q",
                                      "Q", "/Type /Page", "/Parent 3 0 R", "<< /Length 44 >>"};
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < size) {
    switch (rng() % 3) {
      case 0: s += std::to_string(rng() % 1000) + "." + std::to_string(rng() % 100) + " "; break;
      case 1: s += "(line " + std::to_string(rng() % 500) + ") "; break;
      default: s += std::string(words[rng() % 12]) + "\n";
    }
  }
  s.resize(size);
  return to_bytes(s);
}

bytes random_bytes(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  bytes b(size);
  for (auto& c : b) c = static_cast<unsigned char>(rng());
  return b;
}

// A random 30000-byte block repeated with a byte changed now and then: the matches reach back
// nearly the whole 32 KiB window.
bytes window_wide_repeats(std::size_t size, unsigned seed) {
  bytes block = random_bytes(30000, seed);
  bytes b(size);
  for (std::size_t i = 0; i < size; ++i) b[i] = block[i % block.size()] ^ (i % 997 == 0);
  return b;
}

// zlib's stream for data. A non-zero flush_at splits the input there with a full flush, which
// ends the block and adds an empty stored block.
bytes zlib_compress(const bytes& data, int level, int strategy = Z_DEFAULT_STRATEGY,
                    int mem_level = 8, std::size_t flush_at = 0) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, 15, mem_level, strategy), Z_OK);
  bytes out(deflateBound(&z, data.size()) + 64);
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  z.next_in = const_cast<Bytef*>(data.data());
  if (flush_at != 0) {
    z.avail_in = static_cast<uInt>(flush_at);
    EXPECT_EQ(deflate(&z, Z_FULL_FLUSH), Z_OK);
  }
  z.avail_in = static_cast<uInt>(data.size() - flush_at);
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

struct zlib_result {
  int rc;
  bytes out;
};

// What zlib makes of the same bytes with the same capacity, in one call.
zlib_result zlib_inflate(const bytes& in, std::uint64_t cap) {
  bytes out(cap);
  z_stream z{};
  EXPECT_EQ(inflateInit(&z), Z_OK);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(cap);
  int rc = inflate(&z, Z_FINISH);
  out.resize(z.total_out);
  inflateEnd(&z);
  return {rc, out};
}

// zlib also verifies the header check value and the window size; compare only where it
// accepts the header.
bool zlib_accepts_header(const bytes& in) {
  return in.size() >= 2 && (in[0] & 0x0f) == 8 && (in[0] >> 4) <= 7 && !(in[1] & 0x20) &&
         (in[0] * 256 + in[1]) % 31 == 0;
}

// ---- Hand-made streams ----

// Deflate data written the way RFC 1951 packs it: fields least significant bit first, Huffman
// codes most significant bit first.
struct bit_writer {
  bytes data;
  int used = 8;  // bits used in the last byte

  void put(unsigned value, int n) {
    for (int i = 0; i < n; ++i) {
      if (used == 8) {
        data.push_back(0);
        used = 0;
      }
      data.back() |= ((value >> i) & 1) << used++;
    }
  }
  void code(unsigned code, int n) {
    for (int i = n - 1; i >= 0; --i) put(code >> i, 1);
  }
  void align() { used = 8; }

  // The data behind a zlib header.
  bytes stream() const {
    bytes s(2 + data.size());
    s[0] = 0x78;
    s[1] = 0x9c;
    std::copy(data.begin(), data.end(), s.begin() + 2);
    return s;
  }
};

// The zlib stream whose deflate data `write` puts down.
template <class Write>
bytes make(Write write) {
  bit_writer w;
  write(w);
  return w.stream();
}

// The same, checked to end on a byte boundary, so that the decoder's next read finds no byte.
template <class Write>
bytes make_cut(Write write) {
  bit_writer w;
  write(w);
  if (w.used != 8) ADD_FAILURE() << "stream does not end on a byte boundary";
  return w.stream();
}

// Length and distance bases and extra bits (RFC 1951 3.2.5), to encode matches.
constexpr int len_base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                              31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr int len_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int dist_base[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                               33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                               1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr int dist_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr int cl_order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

void stored_block(bit_writer& w, bool last, std::string_view text) {
  w.put(last, 1);
  w.put(0, 2);
  w.align();
  auto n = static_cast<unsigned>(text.size());
  w.put(n, 16);
  w.put(~n & 0xffff, 16);
  for (char c : text) w.put(static_cast<unsigned char>(c), 8);
}

void fixed_start(bit_writer& w, bool last) {
  w.put(last, 1);
  w.put(1, 2);
}

// A literal/length symbol in the fixed code (RFC 1951 3.2.6), 286 and 287 included.
void fixed_sym(bit_writer& w, int sym) {
  if (sym < 144) w.code(0x30 + sym, 8);
  else if (sym < 256) w.code(0x190 + sym - 144, 9);
  else if (sym < 280) w.code(sym - 256, 7);
  else w.code(0xc0 + sym - 280, 8);
}

void fixed_text(bit_writer& w, std::string_view text) {
  for (char c : text) fixed_sym(w, static_cast<unsigned char>(c));
}

void fixed_block(bit_writer& w, bool last, std::string_view text) {
  fixed_start(w, last);
  fixed_text(w, text);
  fixed_sym(w, 256);
}

void fixed_match(bit_writer& w, int length, int distance) {
  int l = 28;
  while (len_base[l] > length) --l;
  fixed_sym(w, 257 + l);
  w.put(length - len_base[l], len_extra[l]);
  int d = 29;
  while (dist_base[d] > distance) --d;
  w.code(d, 5);
  w.put(distance - dist_base[d], dist_extra[d]);
}

// The canonical code for a list of code lengths (RFC 1951 3.2.2).
struct canonical {
  std::vector<int> len;
  std::vector<unsigned> code;

  explicit canonical(std::vector<int> lengths) : len(std::move(lengths)), code(len.size()) {
    int count[16] = {};
    for (int l : len) ++count[l];
    count[0] = 0;
    unsigned next[16] = {};
    unsigned c = 0;
    for (int bits = 1; bits < 16; ++bits) next[bits] = c = (c + count[bits - 1]) << 1;
    for (std::size_t sym = 0; sym < len.size(); ++sym)
      if (len[sym] != 0) code[sym] = next[len[sym]]++;
  }
  void put(bit_writer& w, int sym) const { w.code(code[sym], len[sym]); }
};

// n code lengths, zero but for the listed (symbol, length) pairs.
std::vector<int> lengths(int n, std::initializer_list<std::pair<int, int>> coded) {
  std::vector<int> l(n);
  for (auto [sym, len] : coded) l[sym] = len;
  return l;
}

// A complete code-length code: symbols 0 to 12 get 4 bits, 13 to 18 get 5.
std::vector<int> default_cl() {
  std::vector<int> l(19, 4);
  for (int sym = 13; sym < 19; ++sym) l[sym] = 5;
  return l;
}

struct cl_item {
  int sym;  // a code-length symbol: 0 to 15 a length, 16 to 18 a repeat
  unsigned extra = 0;
};

std::vector<cl_item> one_item_per_length(const std::vector<int>& lens) {
  std::vector<cl_item> items;
  for (int l : lens) items.push_back({l});
  return items;
}

// A dynamic block's header: the three counts as sent (257 + hlit literal/length codes, 1 +
// hdist distance codes, 4 + hclen code-length codes), the code-length code's lengths in
// transmission order, then the code-length symbols, coded with that code.
void dynamic_start(bit_writer& w, bool last, int hlit, int hdist, int hclen,
                   const std::vector<int>& cl, const std::vector<cl_item>& items) {
  w.put(last, 1);
  w.put(2, 2);
  w.put(hlit, 5);
  w.put(hdist, 5);
  w.put(hclen, 4);
  for (int i = 0; i < hclen + 4; ++i) w.put(cl[cl_order[i]], 3);
  canonical cl_code(cl);
  for (auto item : items) {
    cl_code.put(w, item.sym);
    if (item.sym >= 16) w.put(item.extra, item.sym == 16 ? 2 : item.sym == 17 ? 3 : 7);
  }
}

// A dynamic block header declaring these literal/length and distance code lengths, one
// code-length symbol per length.
void dynamic_codes(bit_writer& w, bool last, const std::vector<int>& lit,
                   const std::vector<int>& dist) {
  std::vector<int> all = lit;
  all.insert(all.end(), dist.begin(), dist.end());
  dynamic_start(w, last, static_cast<int>(lit.size()) - 257, static_cast<int>(dist.size()) - 1,
                15, default_cl(), one_item_per_length(all));
}

struct rule_case {
  const char* name;
  bytes in;
  std::uint64_t cap;
  int rc;
  std::string out;  // the counted bytes; empty for -1
};

void expect_cases(const std::vector<rule_case>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    decoded d = decode_exact(c.in, c.cap);
    EXPECT_EQ(d.rc, c.rc);
    EXPECT_EQ(d.len, c.out.size());
    EXPECT_EQ(to_text(d.out), c.out);
  }
}

// ---- Round trips through zlib ----

void expect_round_trip(const bytes& data, const bytes& z) {
  decoded d = decode_exact(z, data.size());
  EXPECT_EQ(d.rc, 0);
  EXPECT_EQ(d.len, data.size());
  EXPECT_TRUE(d.out == data) << "decoded bytes differ";
}

TEST(InflateRoundTrip, EveryZlibLevelDecodesToItsInput) {
  const std::pair<const char*, bytes> sources[] = {
      {"empty", {}},
      {"one byte", {'x'}},
      {"pdf text, several blocks", pdf_text(400000, 1)},
      {"random bytes, stored even when compressing", random_bytes(70000, 2)},
      {"matches reaching back 30000 bytes", window_wide_repeats(200000, 3)},
      {"a run of zeros, distance 1", bytes(200000, 0)},
  };
  for (const auto& [name, data] : sources) {
    for (int level = 0; level <= 9; ++level) {
      SCOPED_TRACE(std::string(name) + ", level " + std::to_string(level));
      expect_round_trip(data, zlib_compress(data, level));
    }
  }
}

TEST(InflateRoundTrip, EveryBlockKindDecodesToItsInput) {
  struct settings {
    const char* name;
    int level, strategy, mem_level;
    std::size_t flush_at;
  };
  const settings cases[] = {
      {"fixed codes only", 6, Z_FIXED, 8, 0},
      {"literals only (Huffman only)", 6, Z_HUFFMAN_ONLY, 8, 0},
      {"distance-1 runs only (RLE)", 6, Z_RLE, 8, 0},
      {"filtered", 6, Z_FILTERED, 8, 0},
      {"many small blocks", 9, Z_DEFAULT_STRATEGY, 1, 0},
      {"many small fixed blocks", 9, Z_FIXED, 1, 0},
      {"empty stored block from a full flush", 6, Z_DEFAULT_STRATEGY, 8, 12345},
      {"stored then compressed across a full flush", 0, Z_DEFAULT_STRATEGY, 8, 999},
  };
  const bytes data = pdf_text(120000, 4);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    expect_round_trip(data, zlib_compress(data, c.level, c.strategy, c.mem_level, c.flush_at));
  }
}

// ---- Entry tests and the header ----

bytes with_header(bytes stream, unsigned char b0, unsigned char b1) {
  stream[0] = b0;
  stream[1] = b1;
  return stream;
}

TEST(InflateEntry, RefusesWhatItCannotDecode) {
  bytes good = zlib_compress(to_bytes("hello"), 6);
  expect_cases({
      {"no input", {}, 16, -1, ""},
      {"one byte", {0x78}, 16, -1, ""},
      {"compression method 7", with_header(good, 0x77, 0x9c), 16, -1, ""},
      {"compression method 15", with_header(good, 0x7f, 0x9c), 16, -1, ""},
      {"preset dictionary flag", with_header(good, 0x78, 0xbb), 16, -1, ""},
      {"preset dictionary flag, check value wrong", with_header(good, 0x78, 0x20), 16, -1, ""},
  });
}

TEST(InflateEntry, IgnoresHeaderCheckValueAndWindowSize) {
  bytes good = zlib_compress(to_bytes("hello"), 6);
  expect_cases({
      {"zlib's own header", good, 16, 0, "hello"},
      {"check value wrong", with_header(good, 0x78, 0x00), 16, 0, "hello"},
      {"window size beyond 32 KiB", with_header(good, 0xf8, 0x00), 16, 0, "hello"},
      {"every flag bit but the dictionary", with_header(good, 0x08, 0xdf), 16, 0, "hello"},
  });
}

TEST(InflateEntry, CapacityLimitIsOneGibibyte) {
  // Only the capacity is under test: the streams write a handful of bytes into a small
  // buffer, which the decoder is told is larger.
  bytes in = zlib_compress(to_bytes("hello"), 6);
  unsigned char out[16];
  std::uint64_t len = 0xdead;
  EXPECT_EQ(inflate_decompress(in.data(), in.size(), out, inflate_max_out + 1, &len), -1);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(inflate_decompress(in.data(), in.size(), out, inflate_max_out, &len), 0);
  EXPECT_EQ(len, 5u);
  EXPECT_EQ(std::string(out, out + 5), "hello");
}

// ---- The result rules ----

TEST(InflateResult, ExactCapacityFitsAndOneByteLessGivesNothing) {
  const std::pair<const char*, bytes> streams[] = {
      {"stored block", make([](bit_writer& w) { stored_block(w, true, "hello"); })},
      {"literals", make([](bit_writer& w) { fixed_block(w, true, "hello"); })},
      {"back-reference last", make([](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, "ab");
         fixed_match(w, 258, 2);
         fixed_sym(w, 256);
       })},
      {"zlib stream", zlib_compress(pdf_text(5000, 5), 9)},
  };
  for (const auto& [name, in] : streams) {
    SCOPED_TRACE(name);
    decoded full = decode_exact(in, 1 << 16);
    ASSERT_EQ(full.rc, 0);
    decoded exact = decode_exact(in, full.len);
    EXPECT_EQ(exact.rc, 0);
    EXPECT_TRUE(exact.out == full.out);
    decoded short_by_one = decode_exact(in, full.len - 1);
    EXPECT_EQ(short_by_one.rc, -1);
    EXPECT_EQ(short_by_one.len, 0u);
  }
}

TEST(InflateResult, StreamCutShortGivesNothing) {
  // Every prefix that ends inside the deflate data gives -1 and a count of 0, however much it
  // had decoded; prefixes missing only (part of) the Adler-32 trailer decode in full.
  const std::pair<const char*, bytes> streams[] = {
      {"stored", zlib_compress(pdf_text(1500, 6), 0)},
      {"fixed", zlib_compress(pdf_text(1500, 6), 6, Z_FIXED)},
      {"dynamic", zlib_compress(pdf_text(3000, 6), 9)},
  };
  for (const auto& [name, z] : streams) {
    SCOPED_TRACE(name);
    const bytes full = decode_exact(z, 1 << 16).out;
    for (std::size_t n = 0; n <= z.size(); ++n) {
      decoded d = decode_exact(bytes(z.begin(), z.begin() + n), 1 << 16);
      bool whole = n >= z.size() - 4;
      ASSERT_EQ(d.rc, whole ? 0 : -1) << "prefix of " << n << " bytes";
      ASSERT_EQ(d.len, whole ? full.size() : 0u) << "prefix of " << n << " bytes";
    }
  }
}

TEST(InflateRun, TellsWhyNothingWasDecoded) {
  const bytes z = zlib_compress(pdf_text(3000, 8), 9);
  const bytes cut(z.begin(), z.begin() + z.size() / 2);
  struct Case {
    const char* name;
    bytes in;
    std::uint64_t cap;
    inflate_status expected;
  } cases[] = {
      {"whole stream", z, 1 << 16, inflate_status::decoded},
      {"damaged after a block", make([](bit_writer& w) {
         stored_block(w, false, "hello");
         w.put(1, 1);
         w.put(3, 2);
       }),
       16, inflate_status::decoded},
      {"method 7", with_header(z, 0x77, 0x9c), 1 << 16, inflate_status::refused},
      {"capacity above the limit", z, inflate_max_out + 1, inflate_status::refused},
      {"cut short", cut, 1 << 16, inflate_status::input_exhausted},
      {"buffer too small", z, 100, inflate_status::output_full},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bytes out(std::min<std::uint64_t>(c.cap, 1 << 16));
    std::uint64_t len = 0xdead;
    EXPECT_EQ(inflate_run(c.in.data(), c.in.size(), out.data(), c.cap, &len), c.expected);
    if (c.expected != inflate_status::decoded) {
      EXPECT_EQ(len, 0u);
    }
  }
}

TEST(InflateResult, WhateverFollowsTheLastBlockIsIgnored) {
  const bytes z = zlib_compress(to_bytes("hello hello hello"), 6);
  bytes wrong_adler = z;
  wrong_adler.back() ^= 0xff;
  bytes trailing = z;
  trailing.insert(trailing.end(), {'g', 'a', 'r', 'b', 'a', 'g', 'e'});
  expect_cases({
      {"wrong Adler-32", wrong_adler, 64, 0, "hello hello hello"},
      {"no Adler-32", bytes(z.begin(), z.end() - 4), 64, 0, "hello hello hello"},
      {"bytes after the trailer", trailing, 64, 0, "hello hello hello"},
      {"a block header after the last block", make([](bit_writer& w) {
         stored_block(w, true, "hi");
         w.put(0xff, 8);
       }),
       64, 0, "hi"},
  });
}

// Each place where the input can run out, cut exactly where the decoder needs its next byte.
TEST(InflateResult, InputRunningOutAnywhereGivesNothing) {
  const std::string ff5 = "\xff\xff\xff\xff\xff";  // literals of 9 bits each
  expect_cases({
      {"first block header", {0x78, 0x9c}, 64, -1, ""},
      {"next block header", make_cut([](bit_writer& w) { stored_block(w, false, "hi"); }), 64,
       -1, ""},
      // 3 + 5 * 9 + 7 bits leave one bit for the next last-block flag.
      {"block type", make_cut([&](bit_writer& w) {
         fixed_block(w, false, ff5);
         w.put(1, 1);
       }),
       64, -1, ""},
      {"stored LEN and NLEN", make_cut([](bit_writer& w) {
         stored_block(w, false, "hi");
         w.put(0, 3);
         w.align();
         w.put(5, 16);
       }),
       64, -1, ""},
      {"stored data", [] {
         bytes s = make([](bit_writer& w) { stored_block(w, true, "hello"); });
         s.resize(s.size() - 2);
         return s;
       }(),
       64, -1, ""},
      // 3 + 5 * 9 bits.
      {"literal/length code", make_cut([&](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, ff5);
       }),
       64, -1, ""},
      // 3 + 6 * 9 + 7 bits: symbol 265 ends on a byte boundary, before its extra bit.
      {"length extra bits", make_cut([&](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, ff5 + "\xff");
         fixed_sym(w, 265);
       }),
       64, -1, ""},
      {"distance code", make_cut([&](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, ff5 + "\xff");
         fixed_sym(w, 257);
       }),
       64, -1, ""},
      // 3 + 9 + 7 + 5 bits: distance code 4 ends on a byte boundary, before its extra bit.
      {"distance extra bits", make_cut([](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, "\xff");
         fixed_sym(w, 257);
         w.code(4, 5);
       }),
       64, -1, ""},
      // 3 + 3 * 9 + 7 + 3 bits.
      {"dynamic literal/length count", make_cut([](bit_writer& w) {
         fixed_block(w, false, "\xff\xff\xff");
         w.put(1, 1);
         w.put(2, 2);
       }),
       64, -1, ""},
      // 3 + 5 + 5 bits leave 3 bits in the byte, one short of the code-length count; all three
      // counts are read before the literal/length count of 287 is refused.
      {"counts are read before they are checked", make([](bit_writer& w) {
         w.put(1, 1);
         w.put(2, 2);
         w.put(30, 5);
         w.put(0, 5);
       }),
       64, -1, ""},
      {"code-length code lengths", [] {
         bytes s = make([](bit_writer& w) { dynamic_start(w, true, 0, 0, 15, default_cl(), {}); });
         s.resize(s.size() - 2);
         return s;
       }(),
       64, -1, ""},
      {"code lengths", [] {
         bytes s = make([](bit_writer& w) {
           dynamic_codes(w, true, lengths(257, {{'a', 1}, {256, 1}}), {0});
         });
         s.resize(s.size() - 20);
         return s;
       }(),
       64, -1, ""},
      {"after much output", make([](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, "x");
         for (int i = 0; i < 100; ++i) fixed_match(w, 258, 1);
       }),
       1 << 16, -1, ""},
  });
}

TEST(InflateResult, OutputFullGivesNothing) {
  expect_cases({
      {"literal", make([](bit_writer& w) { fixed_block(w, true, "abc"); }), 2, -1, ""},
      {"back-reference", make([](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, "abc");
         fixed_match(w, 3, 3);
         fixed_sym(w, 256);
       }),
       5, -1, ""},
      {"stored block", make([](bit_writer& w) {
         stored_block(w, false, "ab");
         stored_block(w, true, "cde");
       }),
       4, -1, ""},
      {"zero capacity", make([](bit_writer& w) { stored_block(w, true, "a"); }), 0, -1, ""},
      {"zero capacity, nothing to write", make([](bit_writer& w) { stored_block(w, true, ""); }),
       0, 0, ""},
      // The distance is checked before the room: too far back wins over too long.
      {"distance too far with the output full", make([](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, "ab");
         fixed_match(w, 258, 3);
       }),
       2, 0, "ab"},
  });
}

// ---- Blocks that decode ----

TEST(InflateBlocks, ValidCornerStreamsDecode) {
  expect_cases({
      {"stored block of length 0", make([](bit_writer& w) {
         stored_block(w, false, "");
         stored_block(w, true, "x");
       }),
       64, 0, "x"},
      {"empty fixed block", make([](bit_writer& w) {
         fixed_block(w, false, "");
         stored_block(w, true, "x");
       }),
       64, 0, "x"},
      {"distance 1, length 258 repeats one byte", make([](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, "z");
         fixed_match(w, 258, 1);
         fixed_sym(w, 256);
       }),
       259, 0, std::string(259, 'z')},
      {"overlapping copy repeats a pattern", make([](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, "abc");
         fixed_match(w, 10, 3);
         fixed_sym(w, 256);
       }),
       64, 0, "abcabcabcabca"},
      {"copy from the very first byte", make([](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, "abcd");
         fixed_match(w, 4, 4);
         fixed_sym(w, 256);
       }),
       64, 0, "abcdabcd"},
      {"dynamic block", make([](bit_writer& w) {
         canonical lit(lengths(257, {{'a', 1}, {256, 1}}));
         dynamic_codes(w, true, lit.len, {0});
         lit.put(w, 'a');
         lit.put(w, 'a');
         lit.put(w, 256);
       }),
       64, 0, "aa"},
      {"a single one-bit literal/length code", make([](bit_writer& w) {
         canonical lit(lengths(257, {{256, 1}}));
         dynamic_codes(w, false, lit.len, {0});
         lit.put(w, 256);
         stored_block(w, true, "xy");
       }),
       64, 0, "xy"},
      {"a single one-bit distance code", make([](bit_writer& w) {
         canonical lit(lengths(258, {{'a', 2}, {256, 2}, {257, 1}}));
         canonical dist({1});
         dynamic_codes(w, true, lit.len, dist.len);
         lit.put(w, 'a');
         lit.put(w, 257);  // length 3
         dist.put(w, 0);   // distance 1
         lit.put(w, 256);
       }),
       64, 0, "aaaa"},
      {"a repeat running from literal/length into distance lengths", make([](bit_writer& w) {
         canonical lit(lengths(260, {{'a', 2}, {'b', 2}, {256, 2}, {257, 2}}));
         canonical dist({0, 1});
         auto items = one_item_per_length({lit.len.begin(), lit.len.begin() + 258});
         items.push_back({17, 0});  // zeros for literal/length 258, 259 and distance 0
         items.push_back({1});
         dynamic_start(w, true, 3, 1, 15, default_cl(), items);
         lit.put(w, 'a');
         lit.put(w, 'b');
         lit.put(w, 257);  // length 3
         dist.put(w, 1);   // distance 2
         lit.put(w, 256);
       }),
       64, 0, "ababa"},
      {"15-bit codes", make([](bit_writer& w) {
         std::vector<int> l(257);
         for (int i = 0; i < 15; ++i) l['a' + i] = i + 1;  // 'o' gets 15 bits, as does 256
         l[256] = 15;
         canonical lit(l);
         dynamic_codes(w, true, lit.len, {0});
         lit.put(w, 'o');
         lit.put(w, 'a');
         lit.put(w, 256);
       }),
       64, 0, "oa"},
      {"the largest counts, 286 and 30 codes", make([](bit_writer& w) {
         std::vector<int> l(286, 8), d(30, 5);
         std::fill(l.begin() + 226, l.end(), 9);
         d[0] = d[1] = 4;
         canonical lit(l), dist(d);
         dynamic_codes(w, true, lit.len, dist.len);
         lit.put(w, 'A');
         lit.put(w, 258);  // length 4
         dist.put(w, 0);   // distance 1
         lit.put(w, 256);
       }),
       64, 0, "AAAAA"},
  });
}

// ---- Data errors: the bytes decoded before the damage are kept ----

TEST(InflateBlocks, DataErrorsKeepTheBytesBeforeThem) {
  const std::vector<int> a_end = lengths(257, {{'a', 1}, {256, 1}});
  // Dynamic headers that must be refused, followed by enough zero bits that the refusal, not
  // the end of the input, decides.
  auto refused = [](auto write_header) {
    return make([&](bit_writer& w) {
      write_header(w);
      w.put(0, 16);
    });
  };
  expect_cases({
      {"block type 3 first", make([](bit_writer& w) { w.put(7, 3); }), 64, 0, ""},
      {"block type 3 after a stored block", make([](bit_writer& w) {
         stored_block(w, false, "hello");
         w.put(7, 3);
       }),
       64, 0, "hello"},
      {"stored NLEN not the complement of LEN", make([](bit_writer& w) {
         fixed_block(w, false, "ab");
         w.put(1, 3);
         w.align();
         w.put(3, 16);
         w.put(0xfffd, 16);
         w.put(0x616161, 24);
       }),
       64, 0, "ab"},
      {"distance beyond the output", make([](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, "ab");
         fixed_match(w, 3, 3);
       }),
       64, 0, "ab"},
      {"length symbol 286", make([](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, "ab");
         fixed_sym(w, 286);
       }),
       64, 0, "ab"},
      {"length symbol 287", make([](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, "ab");
         fixed_sym(w, 287);
       }),
       64, 0, "ab"},
      // Fixed distance codes 30 and 31 are unassigned: the decoder reads on to 15 bits.
      {"distance code matching nothing within 15 bits", make([](bit_writer& w) {
         fixed_start(w, true);
         fixed_text(w, "ab");
         fixed_sym(w, 257);
         w.code(31, 5);
         w.put(0, 10);
       }),
       64, 0, "ab"},
      {"287 literal/length codes", refused([](bit_writer& w) {
         dynamic_start(w, true, 30, 0, 15, default_cl(), {});
       }),
       64, 0, ""},
      {"31 distance codes", refused([](bit_writer& w) {
         dynamic_start(w, true, 0, 30, 15, default_cl(), {});
       }),
       64, 0, ""},
      {"incomplete code-length code", refused([](bit_writer& w) {
         dynamic_start(w, true, 0, 0, 15, lengths(19, {{0, 1}}), {});
       }),
       64, 0, ""},
      {"over-subscribed code-length code", refused([](bit_writer& w) {
         dynamic_start(w, true, 0, 0, 15, std::vector<int>(19, 1), {});
       }),
       64, 0, ""},
      {"code-length code without codes", refused([](bit_writer& w) {
         dynamic_start(w, true, 0, 0, 15, std::vector<int>(19, 0), {});
       }),
       64, 0, ""},
      {"repeat with no previous length", refused([](bit_writer& w) {
         dynamic_start(w, true, 0, 0, 15, default_cl(), {{16, 0}});
       }),
       64, 0, ""},
      {"zero run past the last length", refused([](bit_writer& w) {
         dynamic_start(w, true, 0, 0, 15, default_cl(), {{18, 127}, {18, 127}});
       }),
       64, 0, ""},
      {"repeat past the last length", refused([](bit_writer& w) {
         auto items = one_item_per_length(lengths(257, {{256, 1}}));
         items.push_back({16, 0});  // 3 copies, 1 place left
         dynamic_start(w, true, 0, 0, 15, default_cl(), items);
       }),
       64, 0, ""},
      {"no end-of-block code", refused([](bit_writer& w) {
         dynamic_codes(w, true, lengths(257, {{'a', 1}, {'b', 1}}), {0});
       }),
       64, 0, ""},
      {"over-subscribed literal/length code", refused([](bit_writer& w) {
         dynamic_codes(w, true, lengths(257, {{'a', 1}, {'b', 1}, {256, 1}}), {0});
       }),
       64, 0, ""},
      {"incomplete literal/length code", refused([](bit_writer& w) {
         dynamic_codes(w, true, lengths(257, {{'a', 2}, {256, 2}}), {0});
       }),
       64, 0, ""},
      {"incomplete distance code", refused([&](bit_writer& w) {
         dynamic_codes(w, true, a_end, {2, 2});
       }),
       64, 0, ""},
      {"over-subscribed distance code", refused([&](bit_writer& w) {
         dynamic_codes(w, true, a_end, {1, 1, 1});
       }),
       64, 0, ""},
      {"unused half of a one-code distance code", make([](bit_writer& w) {
         canonical lit(lengths(258, {{'a', 2}, {256, 2}, {257, 1}}));
         dynamic_codes(w, true, lit.len, {1});
         lit.put(w, 'a');
         lit.put(w, 257);
         w.put(1, 1);
         w.put(0, 14);
       }),
       64, 0, "a"},
      {"distance with no distance codes", make([](bit_writer& w) {
         canonical lit(lengths(258, {{'a', 2}, {256, 2}, {257, 1}}));
         dynamic_codes(w, true, lit.len, {0});
         lit.put(w, 'a');
         lit.put(w, 257);
         w.put(0, 15);
       }),
       64, 0, "a"},
      {"damage in a later block", make([](bit_writer& w) {
         stored_block(w, false, "one ");
         fixed_block(w, false, "two ");
         fixed_start(w, true);
         fixed_text(w, "x");
         fixed_match(w, 3, 10);
       }),
       64, 0, "one two x"},
  });
}

// ---- Time: degenerate streams cost their size, nothing more ----

TEST(InflateTime, DegenerateStreamsDecodeInLinearTime) {
  bit_writer empty_blocks;
  for (int i = 0; i < 400000; ++i) {
    fixed_start(empty_blocks, false);
    fixed_sym(empty_blocks, 256);
  }
  stored_block(empty_blocks, true, "end");
  decoded d = decode_exact(empty_blocks.stream(), 16);
  EXPECT_EQ(d.rc, 0);
  EXPECT_EQ(to_text(d.out), "end");

  const std::uint64_t runs = 16000;  // about 4 MB from about 26 KB
  bit_writer expansion;
  fixed_start(expansion, true);
  fixed_text(expansion, "r");
  for (std::uint64_t i = 0; i < runs; ++i) fixed_match(expansion, 258, 1);
  fixed_sym(expansion, 256);
  d = decode_exact(expansion.stream(), 1 + runs * 258);
  EXPECT_EQ(d.rc, 0);
  EXPECT_EQ(d.len, 1 + runs * 258);
  EXPECT_TRUE(std::all_of(d.out.begin(), d.out.end(), [](unsigned char c) { return c == 'r'; }));
}

// ---- Random and mutated input ----

// The rules any input must keep, and agreement with zlib wherever both stop on the data
// itself: at the end of the stream, or at damage.
void expect_within_rules(const bytes& in, std::uint64_t cap) {
  decoded d = decode_exact(in, cap);
  ASSERT_TRUE(d.rc == 0 || d.rc == -1) << d.rc;
  ASSERT_LE(d.len, cap);
  if (d.rc == -1) {
    ASSERT_EQ(d.len, 0u);
  }
  if (!zlib_accepts_header(in)) return;
  zlib_result z = zlib_inflate(in, cap);
  if (z.rc == Z_STREAM_END) {
    ASSERT_EQ(d.rc, 0);
    ASSERT_TRUE(d.out == z.out) << "complete stream decoded differently";
  } else if (z.rc == Z_DATA_ERROR && d.rc == 0) {
    ASSERT_EQ(d.len, z.out.size()) << "stopped at another place than zlib";
    ASSERT_TRUE(d.out == z.out);
  }
}

TEST(InflateRandom, RandomBytesStayWithinTheRules) {
  std::mt19937 rng(20240601);
  for (int i = 0; i < 3000; ++i) {
    std::size_t size = rng() % 300;
    bytes in = random_bytes(size, rng());
    if (in.size() >= 2 && i % 2 == 0) {  // half of them past the entry tests
      in[0] = 0x78;
      in[1] = 0x9c;
    }
    std::uint64_t cap = rng() % 2048;
    expect_within_rules(in, cap);
    if (HasFatalFailure()) return;
  }
}

TEST(InflateRandom, MutatedZlibStreamsStayWithinTheRules) {
  const bytes text = pdf_text(6000, 7);
  const bytes repeats = window_wide_repeats(40000, 8);
  const bytes noise = random_bytes(800, 9);
  const std::pair<const bytes&, bytes> sources[] = {
      {text, zlib_compress(text, 1)},
      {text, zlib_compress(text, 9)},
      {text, zlib_compress(text, 6, Z_FIXED)},
      {text, zlib_compress(text, 0)},
      {repeats, zlib_compress(repeats, 6)},
      {noise, zlib_compress(noise, 6)},
  };
  std::mt19937 rng(77);
  for (const auto& [data, source] : sources) {
    for (int i = 0; i < 500; ++i) {
      bytes in = source;
      switch (rng() % 4) {
        case 0:  // flip a few bits past the header
          for (int k = 1 + rng() % 3; k > 0; --k) in[2 + rng() % (in.size() - 2)] ^= 1 << rng() % 8;
          break;
        case 1:  // overwrite a byte
          in[2 + rng() % (in.size() - 2)] = static_cast<unsigned char>(rng());
          break;
        case 2:  // cut short
          in.resize(rng() % in.size());
          break;
        default:  // damage and cut
          in[2 + rng() % (in.size() - 2)] ^= 0xff;
          in.resize(2 + rng() % (in.size() - 2));
      }
      std::uint64_t cap = i % 3 == 0 ? data.size() : rng() % 65536;
      expect_within_rules(in, cap);
      if (HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace pdfrepair
