// Stream filters as a cleaned stream dictionary names them, and the Flate data behind them:
// data that no longer decodes is told from sound data, and what still decodes is kept.
#pragma once

#include <cstdint>

#include "inflate/inflate.h"
#include "pdfrepair/heap.h"
#include "pdfrepair/scan.h"

namespace pdfrepair {

// Some name of the first /Filter (one name, or the names before the array's "]") is no filter
// every reader decodes. Any other value names no filter.
bool has_undecodable_filter(const byte* dict, int len);

// The first name of the first /Filter (the name, or the array's first name), #xx escapes
// decoded, is /FlateDecode or its abbreviation /Fl.
bool first_filter_is_flate(const byte* dict, int len);

// Output of sound data past which nothing more is examined: 256 MiB.
inline constexpr std::uint64_t max_verified_output = 0x10000000;

// The window one request decodes every stream through; null when memory ran out.
heap_ptr<byte[]> inflate_window();

// Whether the zlib data of a stream is damaged, and how many bytes of it decode.
inline inflate_verdict verify_flate(const byte* data, int len, byte* window) {
  return inflate_verify(data, len > 0 ? static_cast<std::uint64_t>(len) : 0, window, max_verified_output);
}

// Fresh zlib data for a damaged stream: the decoded prefix in stored blocks.
struct refreshed_data {
  heap_ptr<byte[]> bytes;
  int len = 0;
};

// The damaged zlib data, its decoded prefix of `decoded` bytes (from verify_flate) written
// again as a valid zlib stream: header 78 01, stored blocks of 65,535 bytes, the last marked
// final (an empty prefix is one empty final block), and the prefix's Adler-32. bytes is null
// when memory ran out.
refreshed_data refresh_flate(const byte* data, int len, std::uint64_t decoded);

}  // namespace pdfrepair
