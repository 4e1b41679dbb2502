// Stream filters as a cleaned stream dictionary names them, and the Flate data behind them.
#include "pdfrepair/filters.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <string_view>

namespace pdfrepair {

namespace {

// The filters every reader decodes, by full name and by abbreviation.
constexpr std::string_view decodable_filters[] = {
    "ASCIIHexDecode", "ASCII85Decode", "LZWDecode", "FlateDecode", "RunLengthDecode",
    "CCITTFaxDecode", "JBIG2Decode",   "DCTDecode", "JPXDecode",   "Crypt",
    "AHx",            "A85",           "LZW",       "Fl",          "RL",
    "CCF",            "DCT"};

constexpr int name_room = 16;  // longer than every filter's name

int hex_value(int c) { return is_digit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

// The name whose bytes start at i (just past its "/"), #xx escapes decoded, up to white space
// or a delimiter; i is left there. Longer names than the room read as an empty view.
std::string_view filter_name(const byte* t, int len, int& i, char (&name)[name_room]) {
  int n = 0;  // bytes of the decoded name, also those past the room
  for (; i < len && !is_pdf_ws(t[i]) && !is_delimiter(t[i]); ++i, ++n) {
    int c = t[i];
    if (c == '#' && i + 2 < len && is_hex_digit(t[i + 1]) && is_hex_digit(t[i + 2])) {
      c = hex_value(t[i + 1]) * 16 + hex_value(t[i + 2]);
      i += 2;
    }
    if (n < name_room) name[n] = static_cast<char>(c);
  }
  return n > name_room ? std::string_view() : std::string_view(name, static_cast<std::size_t>(n));
}

bool decodable(std::string_view name) {
  const auto* end = std::end(decodable_filters);
  return !name.empty() && std::find(std::begin(decodable_filters), end, name) != end;
}

// Where the value of the first /Filter starts, or -1.
int filter_value(const byte* t, int len) {
  const int p = find_name(t, len, 0, len, "Filter");
  if (p < 0) return -1;
  const int v = skip_ws(t, p + 7, len);
  return v < len ? v : -1;
}

std::uint32_t adler32(const byte* data, std::uint64_t n) {
  constexpr std::uint32_t base = 65521;
  std::uint32_t a = 1, b = 0;
  while (n > 0) {
    const std::uint64_t run = std::min<std::uint64_t>(n, 5552);  // no overflow before the modulo
    for (std::uint64_t i = 0; i < run; ++i) {
      a += data[i];
      b += a;
    }
    a %= base;
    b %= base;
    data += run;
    n -= run;
  }
  return b << 16 | a;
}

}  // namespace

bool has_undecodable_filter(const byte* t, int len) {
  const int v = filter_value(t, len);
  if (v < 0) return false;
  char name[name_room];
  int i = v + 1;
  if (t[v] == '/') return !decodable(filter_name(t, len, i, name));
  if (t[v] != '[') return false;
  while (i < len && t[i] != ']') {
    if (t[i++] == '/' && !decodable(filter_name(t, len, i, name))) return true;
  }
  return false;
}

bool first_filter_is_flate(const byte* t, int len) {
  int i = filter_value(t, len);
  if (i < 0) return false;
  if (t[i] == '[') i = skip_ws(t, i + 1, len);
  if (byte_at(t, len, i) != '/') return false;
  ++i;
  char name[name_room];
  const std::string_view first = filter_name(t, len, i, name);
  return first == "FlateDecode" || first == "Fl";
}

heap_ptr<byte[]> inflate_window() { return heap_array<byte>(inflate_window_bytes); }

refreshed_data refresh_flate(const byte* data, int len, std::uint64_t decoded) {
  constexpr std::uint64_t block = 65535;
  const std::uint64_t blocks = std::max<std::uint64_t>(1, (decoded + block - 1) / block);
  refreshed_data out;
  const heap_ptr<byte[]> prefix = heap_array<byte>(static_cast<std::size_t>(decoded));
  const std::uint64_t size = 2 + 5 * blocks + decoded + 4;
  if (!prefix || size > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) return out;
  out.bytes = heap_array<byte>(static_cast<std::size_t>(size));
  if (!out.bytes) return out;
  inflate_prefix(data, static_cast<std::uint64_t>(len), prefix.get(), decoded);
  byte* o = out.bytes.get();
  *o++ = 0x78;
  *o++ = 0x01;
  for (std::uint64_t k = 0, at = 0; k < blocks; ++k, at += block) {
    const auto n = static_cast<std::uint32_t>(std::min(block, decoded - at));
    *o++ = k + 1 == blocks ? 0x01 : 0x00;  // BFINAL on the last, BTYPE 00: stored
    *o++ = static_cast<byte>(n);
    *o++ = static_cast<byte>(n >> 8);
    *o++ = static_cast<byte>(~n);
    *o++ = static_cast<byte>(~n >> 8);
    if (n > 0) std::memcpy(o, prefix.get() + at, n);
    o += n;
  }
  const std::uint32_t check = adler32(prefix.get(), decoded);
  for (int shift = 24; shift >= 0; shift -= 8) *o++ = static_cast<byte>(check >> shift);
  out.len = static_cast<int>(size);
  return out;
}

}  // namespace pdfrepair
