// The library's own decoder for zlib-wrapped DEFLATE data (RFC 1950 around RFC 1951), used to
// expand object streams and to tell damaged stream data from sound. One stream is decoded in
// one call into a buffer the caller owns, whole or through a window; there is no allocation.
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

// The window inflate_verify decodes into: the 32 KiB a match may reach back, and room for the
// largest stored block.
inline constexpr std::uint64_t inflate_window_bytes = 32768 + 65536;

// Whether a stream is damaged, and how much of it decodes.
struct inflate_verdict {
  // The decoder stopped on damaged data (a header that is not deflate, asks for a preset
  // dictionary or fails its check value, a bad block type, code, length or distance) or the
  // data ends inside a block. Sound: empty data, an end after the last block (the Adler-32
  // trailer is not read), an end right after a complete block that is not marked last (a sync
  // flush), and output that reached the limit before any damage.
  bool damaged;
  // The bytes decoded before the end or the damage: every literal and match completed, nothing
  // of a stored block cut short. Up to the limit for a sound stream.
  std::uint64_t decoded;
};

// Decodes in[0, in_len) into the caller's window of inflate_window_bytes bytes, keeping only
// the last 32 KiB, until the end, the damage, or `limit` bytes of output. Time is proportional
// to in_len plus the bytes decoded.
inflate_verdict inflate_verify(const unsigned char* in, std::uint64_t in_len, unsigned char* window,
                               std::uint64_t limit);

// Decodes the first n bytes of in[0, in_len) into out[0, n) (n at most inflate_max_out), as
// inflate_verify counts them: the decoded prefix of a damaged stream when n is its `decoded`.
// Returns the bytes written (0 for a header that is not deflate or asks for a dictionary).
std::uint64_t inflate_prefix(const unsigned char* in, std::uint64_t in_len, unsigned char* out,
                             std::uint64_t n);

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
