// Seeded random and mutated buffers through the whole discovery up to the rescue: each buffer
// is an exactly sized heap copy, so that AddressSanitizer catches any read past its end, and
// the table must keep its invariants whatever the bytes say.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "pdfrepair/discovery.h"
#include "support/mutator.h"
#include "support/pdf_builder.h"

namespace {

using namespace pdfrepair;
using pdftest::Bytes;
using pdftest::Mutator;
using pdftest::PdfBuilder;

// Well-formed and damaged files for the mutations to start from.
std::vector<std::string> seed_files() {
  std::vector<std::string> files;
  files.push_back(PdfBuilder()
                      .object(1, "<</Type/Catalog/Pages 2 0 R>>")
                      .object(2, "<</Type/Pages/Kids[3 0 R]/Count 1>>")
                      .object(3, "<</Type/Page/Parent 2 0 R/Contents 4 0 R/T(a(b)c\\)>>)>>")
                      .stream(4, "/Filter/None", "q 1 0 0 1 0 0 cm BT (5 0 obj) Tj ET Q")
                      .stream(5, "", "hello", {.length = "6 0 R", .after_keyword = "\r\n"})
                      .object(6, "5")
                      .object(7, "<</Producer(x)>>", 2)
                      .root(1)
                      .info(7)
                      .build()
                      .bytes);
  PdfBuilder damaged;
  damaged.object(1, "<</Type/Catalog>>");
  // A header with a stray byte, listed at its keyword as the table must for it to count.
  damaged.list(12, damaged.size() + 6, 3).raw("12 0 \xffobj\n\xff</A<</B 1>>>>\nendobj\n");
  damaged.stream(2, "/N 1", "data endobj data", {.length = "[3 99]", .before_end = "\r\n"});
  // A destroyed header for the rescue, with a damaged end keyword.
  damaged.list(9, damaged.size()).raw("AB obj\n<</Length 5>>\nstream\nhello\nend\xffstream\nendobj\n");
  damaged.object(3, "<</Kids[1 0 R]").root(1);
  // A dictionary whose "endobj" is lost, before a stream object that lost its own.
  damaged.raw("4 0 obj\n<</Type/Pages>>\n5 0 obj\n<</Length 3>>\nstream\nabc\nendstream\n");
  files.push_back(damaged.build().bytes);
  // Cross-reference sections written as objects, the newer naming the older, which names
  // itself.
  const std::string older = "%PDF-1.5\n9 0 obj\n<</Type/XRef/Root 1 0 R/Prev 9>>\nstream\nxx\nendstream\nendobj\n";
  files.push_back(older + "12 0 obj\n<</Type/XRef/Prev 9/Length 2>>\nstream\nxx\nendstream\nendobj\nstartxref\n" +
                  std::to_string(older.size()) + "\n%%EOF\n");
  return files;
}


void expect_xref_invariants(const xref_info& xi, int len) {
  ASSERT_TRUE(xi.has_startxref == 0 || xi.has_startxref == 1);
  if (xi.has_startxref)
    ASSERT_TRUE(xi.startxref >= 0 && xi.startxref < len);
  else
    ASSERT_EQ(xi.startxref, -1);
  ASSERT_GE(xi.xref_size, 0);
  ASSERT_EQ(xi.xref_off != nullptr, xi.xref_size > 0);
  if (xi.xref_size > 0) { ASSERT_EQ(xi.has_xref, 1); }
  for (int k = 0; k < xi.xref_size; ++k) ASSERT_TRUE(xi.xref_used[k] == 0 || xi.xref_used[k] == 1);
  ASSERT_LE(std::strlen(xi.version), 15u);
  if (!xi.has_header) { ASSERT_STREQ(xi.version, ""); }
}

void expect_record_invariants(const obj_entry& r, const std::string& text) {
  const int len = static_cast<int>(text.size());
  ASSERT_GE(r.num, 1);
  ASSERT_EQ(r.in_objstm, 0);
  ASSERT_EQ(r.own_text, nullptr);
  ASSERT_EQ(r.own_len, 0);
  ASSERT_EQ(r.refs, nullptr);
  ASSERT_EQ(r.ref_count + r.ref_cap + r.dict_len, 0);
  ASSERT_EQ(r.dict_text, nullptr);
  ASSERT_TRUE(r.endobj_off > r.hdr_off && r.endobj_off <= len);
  ASSERT_EQ(r.obj_end, r.endobj_off + 6);
  if (r.dict_off >= 0) { ASSERT_TRUE(r.dict_off > r.hdr_off && r.dict_off < r.endobj_off); }
  if (r.stream_kw >= 0) {
    ASSERT_GE(r.dict_off, 0);
    ASSERT_TRUE(r.stream_kw > r.dict_off && r.stream_kw < r.endobj_off);
    ASSERT_EQ(text.compare(static_cast<std::size_t>(r.stream_kw), 6, "stream"), 0);
  }
  if (r.has_stream) {
    ASSERT_EQ(r.has_stream, 1);
    ASSERT_GE(r.stream_kw, 0);
    ASSERT_TRUE(r.data_start == r.stream_kw + 7 || r.data_start == r.stream_kw + 8);
    ASSERT_LE(r.data_start, r.data_end);
    ASSERT_LE(r.data_end, len);
    ASSERT_EQ(r.data_len, r.data_end - r.data_start);
    // Truncated data stops at the object's end (its "endobj", less the end of line before it,
    // or the end of a cut-off file).
    if (r.truncated) { ASSERT_TRUE(r.data_end <= r.endobj_off && r.data_end >= r.endobj_off - 2); }
  } else {
    ASSERT_EQ(r.data_start, -1);
    ASSERT_EQ(r.data_end, -1);
    ASSERT_EQ(r.data_len, -1);
    ASSERT_EQ(r.bad_length + r.truncated, 0);
  }
}

void discover_and_check(const std::string& text) {
  const Bytes bytes(text);
  const int len = bytes.size();
  xref_info xi;
  parse_xref(bytes.data(), len, xi);
  expect_xref_invariants(xi, len);

  objvec table;
  scan_pass1(bytes.data(), len, table, xi);
  const int scanned = table.count;
  const std::vector<obj_entry> before(table.items, table.items + scanned);
  scan_pass2(bytes.data(), len, table.items, table.count);
  if (xi.has_xref && xi.xref_size > 0) rescue_xref_objects(bytes.data(), len, xi, table);

  for (int i = 0; i < table.count; ++i) {
    SCOPED_TRACE(i);
    const obj_entry& r = table.items[i];
    expect_record_invariants(r, text);
    if (i < scanned) {
      // Scanned records: headers in keyword order; measuring touches only stream fields and
      // confirms the scan's stream keyword.
      ASSERT_TRUE(r.hdr_off >= 0 && r.hdr_off < len);
      if (i > 0) { ASSERT_GT(r.hdr_off, table.items[i - 1].hdr_off); }
      const obj_entry& b = before[static_cast<std::size_t>(i)];
      ASSERT_EQ(r.num, b.num);
      ASSERT_EQ(r.gen, b.gen);
      ASSERT_EQ(r.hdr_off, b.hdr_off);
      ASSERT_EQ(r.dict_off, b.dict_off);
      ASSERT_EQ(r.stream_kw, b.stream_kw);
      ASSERT_EQ(r.endobj_off, b.endobj_off);
    } else {
      // Rescued records: what the table lists, unmeasured, new numbers in increasing order.
      ASSERT_LT(r.num, xi.xref_size);
      ASSERT_EQ(xi.xref_used[r.num], 1);
      ASSERT_EQ(r.hdr_off, xi.xref_off[r.num]);
      ASSERT_EQ(r.gen, xi.xref_gen[r.num]);
      ASSERT_LT(r.hdr_off, len - 15);
      ASSERT_EQ(r.has_stream, 0);
      if (i > scanned) { ASSERT_GT(r.num, table.items[i - 1].num); }
      ASSERT_EQ(find_record(table.items, i, r.num), nullptr);
    }
  }
}

TEST(DiscoveryRandom, KeepsTheTableConsistentOnDamagedInput) {
  const std::vector<std::string> seeds = seed_files();
  for (const std::string& file : seeds) {
    SCOPED_TRACE("seed file");
    discover_and_check(file);
  }
  Mutator m(20240611u);
  for (int round = 0; round < 4000; ++round) {
    const std::string text = round % 4 == 0 ? m.random_buffer()
                                            : m.mutate(seeds[static_cast<std::size_t>(round) % seeds.size()]);
    SCOPED_TRACE(testing::Message() << "round " << round);
    discover_and_check(text);
    if (testing::Test::HasFatalFailure()) {
      ADD_FAILURE() << "input: " << testing::PrintToString(text);
      return;
    }
  }
}

TEST(DiscoveryRandom, SurvivesEveryPrefixOfAFile) {
  // Truncation at every length: each prefix is its own exactly sized buffer.
  const std::string file = seed_files()[1];
  for (std::size_t n = 0; n <= file.size(); ++n) {
    SCOPED_TRACE(n);
    discover_and_check(file.substr(0, n));
    if (testing::Test::HasFatalFailure()) return;
  }
}

}  // namespace
