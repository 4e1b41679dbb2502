// Damaged zlib data in streams: the decoder tells damage from a sound end through a window of
// 32 KiB, counts what still decodes (as zlib decodes it), and the repair writes that prefix as
// fresh zlib data, which zlib, the oracle here, decodes to exactly those bytes.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "inflate/inflate.h"
#include "pdfrepair/filters.h"

namespace pdfrepair {
namespace {

using bytes = std::vector<unsigned char>;

bytes to_bytes(const std::string& s) { return bytes(s.begin(), s.end()); }

// Text like page content, from a seeded generator.
bytes page_text(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s;
  while (s.size() < size) s += "BT /F1 " + std::to_string(rng() % 30) + " Tf (line " + std::to_string(rng() % 999) + ") Tj ET\n";
  s.resize(size);
  return to_bytes(s);
}

// zlib's stream for data, ended with `flush` (Z_FINISH, or Z_SYNC_FLUSH for a stream without a
// last block).
bytes zlib_stream(const bytes& data, int strategy = Z_DEFAULT_STRATEGY, int flush = Z_FINISH) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 15, 8, strategy), Z_OK);
  bytes out(deflateBound(&z, data.size()) + 64);
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, flush), flush == Z_FINISH ? Z_STREAM_END : Z_OK);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// What zlib decodes of the bytes before it stops, however it stops (64 KiB at most).
bytes zlib_decoded(const bytes& in) {
  bytes out(1 << 16);
  z_stream z{};
  EXPECT_EQ(inflateInit(&z), Z_OK);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  inflate(&z, Z_SYNC_FLUSH);
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

// The verdict on an exactly sized heap copy, so that the sanitizer sees any read past it.
inflate_verdict verify(const bytes& in, std::uint64_t limit = max_verified_output) {
  auto copy = std::make_unique<unsigned char[]>(in.size() + 1);
  std::copy(in.begin(), in.end(), copy.get());
  auto window = std::make_unique<unsigned char[]>(inflate_window_bytes);
  return inflate_verify(in.empty() ? nullptr : copy.get(), in.size(), window.get(), limit);
}

// The fresh data for the damaged stream in, and what zlib makes of it.
bytes refreshed(const bytes& in, std::uint64_t decoded) {
  const refreshed_data fresh = refresh_flate(in.data(), static_cast<int>(in.size()), decoded);
  EXPECT_TRUE(fresh.bytes);
  return fresh.bytes ? bytes(fresh.bytes.get(), fresh.bytes.get() + fresh.len) : bytes{};
}

bytes with(bytes b, std::size_t at, unsigned char c) {
  b[at] = c;
  return b;
}

bytes cut(bytes b, std::size_t size) {
  b.resize(size);
  return b;
}

TEST(CompressedData, DamageIsToldFromASoundEnd) {
  const bytes text = page_text(5000, 1);
  const bytes whole = zlib_stream(text);
  const bytes half = cut(whole, whole.size() / 2);
  struct Case {
    const char* name;
    bytes in;
    bool damaged;
    std::uint64_t decoded;
  } cases[] = {
      {"empty data", {}, false, 0},
      {"one byte", {0x78}, true, 0},
      {"a header and no block", {0x78, 0x9c}, false, 0},
      {"a whole stream", whole, false, text.size()},
      {"no Adler-32 after the last block", cut(whole, whole.size() - 4), false, text.size()},
      {"a wrong Adler-32", with(whole, whole.size() - 1, whole.back() ^ 1), false, text.size()},
      {"ended by a sync flush, no last block", zlib_stream(text, Z_DEFAULT_STRATEGY, Z_SYNC_FLUSH),
       false, text.size()},
      {"cut inside a block", half, true, zlib_decoded(half).size()},
      {"not deflate", with(whole, 0, 0x77), true, 0},
      {"a preset dictionary", {0x78, 0xbb, 0x00}, true, 0},
      {"a header failing its check value: what decodes is kept", with(whole, 1, 0x9d), true,
       text.size()},
      {"block type 3", {0x78, 0x9c, 0x07}, true, 0},
      {"a stored length that does not match its complement",
       {0x78, 0x01, 0x01, 0x05, 0x00, 0x00, 0x00, 'a'}, true, 0},
      {"a stored block cut short gives nothing of it",
       {0x78, 0x01, 0x01, 0x05, 0x00, 0xfa, 0xff, 'a', 'b'}, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const inflate_verdict v = verify(c.in);
    EXPECT_EQ(v.damaged, c.damaged);
    EXPECT_EQ(v.decoded, c.decoded);
  }
  // Output that reaches the limit before any damage counts as sound.
  const inflate_verdict limited = verify(half, 1000);
  EXPECT_FALSE(limited.damaged);
  EXPECT_GE(limited.decoded, 1000u);
}

// A stream cut after every byte: damaged (but where the cut falls after a complete block),
// with exactly the bytes zlib decodes of it, which the fresh data holds.
TEST(CompressedData, CutAnywhereKeepsWhatZlibDecodes) {
  const bytes text = page_text(9000, 2);
  for (const int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
    const bytes whole = zlib_stream(text, strategy);
    for (std::size_t size = 2; size + 4 < whole.size(); ++size) {
      SCOPED_TRACE(testing::Message() << "strategy " << strategy << ", cut at " << size);
      const bytes in = cut(whole, size);
      const inflate_verdict v = verify(in);
      const bytes expected = zlib_decoded(in);
      ASSERT_EQ(v.decoded, expected.size());
      ASSERT_TRUE(v.damaged || size == 2);
      ASSERT_EQ(zlib_decoded(refreshed(in, v.decoded)), expected);
    }
  }
}

TEST(CompressedData, FreshDataIsStoredBlocksThatZlibReads) {
  std::mt19937 rng(3);
  for (const std::size_t size : {0u, 1u, 65535u, 65536u, 131070u, 100000u}) {
    SCOPED_TRACE(size);
    bytes data(size);
    for (auto& c : data) c = static_cast<unsigned char>(rng());
    const bytes fresh = refreshed(zlib_stream(data), size);
    const std::size_t blocks = size == 0 ? 1 : (size + 65534) / 65535;
    ASSERT_EQ(fresh.size(), 2 + 5 * blocks + size + 4);
    EXPECT_EQ(fresh[0], 0x78);
    EXPECT_EQ(fresh[1], 0x01);
    uLongf out_len = static_cast<uLongf>(size + 1);
    bytes out(size + 1);
    ASSERT_EQ(uncompress(out.data(), &out_len, fresh.data(), static_cast<uLong>(fresh.size())), Z_OK);
    out.resize(out_len);
    EXPECT_EQ(out, data);
  }
  EXPECT_EQ(refreshed({}, 0), (bytes{0x78, 0x01, 0x01, 0x00, 0x00, 0xff, 0xff, 0x00, 0x00, 0x00, 0x01}));
}

TEST(CompressedData, ZeroedRunsKeepWhatDecodesBeforeThem) {
  const bytes text = page_text(20000, 4);
  const bytes whole = zlib_stream(text);
  std::mt19937 rng(5);
  for (int round = 0; round < 300; ++round) {
    bytes in = whole;
    const std::size_t at = 2 + rng() % (in.size() - 6);
    for (std::size_t i = at; i < std::min(in.size(), at + 1 + rng() % 40); ++i) in[i] = 0;
    SCOPED_TRACE(testing::Message() << "zeroes from " << at);
    const inflate_verdict v = verify(in);
    // Zeroes may also decode, to other bytes: only what was decoded is known.
    ASSERT_EQ(zlib_decoded(refreshed(in, v.decoded)).size(), v.decoded);
  }
}

}  // namespace
}  // namespace pdfrepair
