// The library's own decoder for zlib-wrapped DEFLATE data (RFC 1950 around RFC 1951), used to
// expand object streams. One complete stream is decoded in one call into a buffer the caller
// owns; there is no streaming mode and no allocation.
#pragma once

#include <cstdint>

namespace pdfrepair {

// Largest output capacity inflate_decompress accepts (1 GiB).
inline constexpr std::uint64_t inflate_max_out = 0x40000000;

// Decodes the stream in in[0, in_len) into out[0, out_cap).
//
// Results, and what *out_len holds afterwards (it is set to 0 before anything else):
//   0   the stream ended with its last block, or the data turned out to be damaged: *out_len is
//       the number of bytes decoded before the end or the damage. A caller cannot tell the two
//       apart; damaged data yields its undamaged prefix.
//   -1  in_len below 2, out_cap above inflate_max_out, a compression method other than 8, the
//       preset-dictionary flag set, the input running out before the last block ends, or the
//       output needing more than out_cap bytes: *out_len stays 0 (bytes already written to out
//       stay there, uncounted).
// The header check value, the window size and the Adler-32 trailer are not verified, and
// whatever follows the last block is ignored.
//
// Never reads outside in[0, in_len) nor writes outside out[0, out_cap), whatever the bytes
// say; time is proportional to in_len plus the bytes written. in may be null only when in_len
// is below 2, out only when out_cap is 0; out_len must not be null. The caller owns all three.
//
// Threads: the fixed Huffman tables are built, without a lock, on the first fixed block the
// process decodes and shared afterwards. Once they exist, calls on different buffers may run
// at the same time; the library itself is called from one thread at a time.
int inflate_decompress(const unsigned char* in, std::uint64_t in_len, unsigned char* out,
                       std::uint64_t out_cap, std::uint64_t* out_len);

// Why a decode ended, for a caller that must know whether a larger buffer could help: only
// output_full can turn into success on a retry. inflate_decompress returns 0 for `decoded`
// and -1 for every other status.
enum class inflate_status {
  decoded,          // the last block ended, or the data was damaged: *out_len bytes stand
  refused,          // an entry test failed: the same input never decodes
  input_exhausted,  // the stream is cut short: a larger buffer cannot help
  output_full,      // the buffer is too small
};

// inflate_decompress with the reason for a result of -1; same arguments and counts.
inflate_status inflate_run(const unsigned char* in, std::uint64_t in_len, unsigned char* out,
                           std::uint64_t out_cap, std::uint64_t* out_len);

}  // namespace pdfrepair
