// The output writer: the growable buffer, the layout of the written file (header, objects in
// ascending number, xref table, trailer), the finishing of each kind of object, and the stream
// dictionary rewrite with the measured /Length.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "pdfrepair/dict.h"
#include "pdfrepair/writer.h"
#include "support/byte_notation.h"

using namespace pdfrepair;
using namespace pdfrepair_test;

namespace {

const std::string file_header = "%PDF-1.4\n%\xe2\xe3\xcf\xd3\n";

char* heap_text(std::string_view text) {
  char* copy = static_cast<char*>(std::malloc(text.size() + 1));
  std::memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

// An input file built object by object, and the kept table that discovery, selection and the
// sanitising of the repair would make of it.
struct kept_builder {
  std::string input;
  objvec kept;
  std::vector<std::unique_ptr<unsigned char[]>> decoded;  // object-stream texts

  int header(int num, int gen) {
    const int at = static_cast<int>(input.size());
    input += std::to_string(num) + " " + std::to_string(gen) + " obj\n";
    return at;
  }

  // A dictionary object of the file body, its dict_text the sanitised span.
  void dict_object(int num, std::string_view dict, int gen = 0) {
    obj_entry r{.num = num, .gen = gen, .hdr_off = header(num, gen)};
    r.dict_off = static_cast<int>(input.size());
    input += dict;
    input += "\n";
    r.endobj_off = static_cast<int>(input.size());
    r.obj_end = r.endobj_off + 6;
    input += "endobj\n";
    r.dict_text = sanitize_dict_text(reinterpret_cast<const byte*>(input.data()) + r.dict_off,
                                     r.endobj_off - r.dict_off);
    r.dict_len = static_cast<int>(std::strlen(r.dict_text));
    objvec_push(kept, r);
  }

  // An object whose value is no dictionary: no dict_text.
  void body_object(int num, std::string_view body) {
    obj_entry r{.num = num, .hdr_off = header(num, 0)};
    input += body;
    input += "\n";
    r.endobj_off = static_cast<int>(input.size());
    r.obj_end = r.endobj_off + 6;
    input += "endobj\n";
    objvec_push(kept, r);
  }

  void stream_object(int num, std::string_view dict, std::string_view data) {
    obj_entry r{.num = num, .hdr_off = header(num, 0), .has_stream = 1};
    r.dict_off = static_cast<int>(input.size());
    input += dict;
    input += "\n";
    r.stream_kw = static_cast<int>(input.size());
    input += "stream\n";
    r.data_start = static_cast<int>(input.size());
    input += data;
    r.data_end = static_cast<int>(input.size());
    r.data_len = r.data_end - r.data_start;
    input += "\nendstream\n";
    r.endobj_off = static_cast<int>(input.size());
    r.obj_end = r.endobj_off + 6;
    input += "endobj\n";
    objvec_push(kept, r);
  }

  // An object taken from an object stream, with its own text and, when given, a dict_text.
  void objstm_object(int num, const char* dict_text, const char* own_text) {
    obj_entry r{.num = num, .in_objstm = 1};
    if (own_text) {
      decoded.push_back(exact_copy(own_text));
      r.own_text = decoded.back().get();
      r.own_len = static_cast<int>(std::strlen(own_text));
    }
    if (dict_text) {
      r.dict_text = heap_text(dict_text);
      r.dict_len = static_cast<int>(std::strlen(dict_text));
    }
    objvec_push(kept, r);
  }

  // The written file, from an exactly-sized copy of the input.
  std::string write(int catalog_num, int docinfo_num) {
    const auto copy = exact_copy(input);
    out_buf out;
    EXPECT_EQ(write_output(copy.get(), static_cast<int>(input.size()), kept, catalog_num,
                           docinfo_num, out),
              1);
    if (!out.data) return {};
    EXPECT_EQ(out.data[out.len], 0);
    return std::string(reinterpret_cast<const char*>(out.data), out.len);
  }
};

std::string_view rest_of(const std::string& s, std::size_t pos) {
  return pos <= s.size() ? std::string_view(s).substr(pos) : std::string_view();
}

// The decimal number at the start of the text (an optional "-", then digits), or nothing.
bool read_number(std::string_view s, long long& value, std::size_t& used) {
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  used = static_cast<std::size_t>(end - s.data());
  return ec == std::errc() && used > 0;
}

// A written file, its structure checked on the way: header, startxref pointing at "xref",
// 20-byte lines, in-use offsets pointing at their "N G obj" headers with the generation the
// line may carry, free entries linked in ascending order, the trailer's /Size.
struct written_file {
  std::string bytes;
  int xref_off = -1;
  std::vector<int> offsets;  // per object number; -1 for a free entry
  std::string trailer;       // from "trailer\n" to the end

  // The bytes of object num: from its header up to the next object or the xref table.
  std::string object(int num) const {
    if (num < 0 || num >= static_cast<int>(offsets.size()) || offsets[num] < 0) return {};
    int end = xref_off;
    for (const int off : offsets)
      if (off > offsets[num] && off < end) end = off;
    return bytes.substr(offsets[num], end - offsets[num]);
  }
};

written_file read_written(const std::string& pdf) {
  written_file f;
  f.bytes = pdf;
  EXPECT_EQ(pdf.substr(0, 15), file_header);
  const std::size_t sx = pdf.rfind(">>\nstartxref ");
  EXPECT_NE(sx, std::string::npos);
  if (sx == std::string::npos) return f;
  long long value = 0;
  std::size_t used = 0;
  EXPECT_TRUE(read_number(rest_of(pdf, sx + 13), value, used));
  EXPECT_EQ(rest_of(pdf, sx + 13 + used), "\n%%EOF\n");
  f.xref_off = static_cast<int>(value);
  EXPECT_EQ(rest_of(pdf, f.xref_off).substr(0, 7), "xref\n0 ");
  std::size_t p = static_cast<std::size_t>(f.xref_off) + 7;
  long long entries = 0;
  EXPECT_TRUE(read_number(rest_of(pdf, p), entries, used));
  p += used;
  EXPECT_EQ(rest_of(pdf, p).substr(0, 1), "\n");
  ++p;
  std::vector<long long> free_fields;
  for (long long k = 0; k < entries; ++k, p += 20) {
    const std::string line(rest_of(pdf, p).substr(0, 20));
    long long field = 0;
    long long gen = 0;
    if (line.size() != 20 || !read_number(line.substr(0, 10), field, used) || used != 10 ||
        line[10] != ' ' || !read_number(line.substr(11, 5), gen, used) || used != 5 ||
        line.substr(16) != (line[17] == 'n' ? " n \n" : " f \n")) {
      ADD_FAILURE() << "xref line " << k << ": " << notation(line);
      return f;
    }
    if (line[17] == 'f') {
      EXPECT_EQ(gen, 65535) << "free line " << k;
      f.offsets.push_back(-1);
      free_fields.push_back(field);
      continue;
    }
    f.offsets.push_back(static_cast<int>(field));
    free_fields.push_back(-1);
    const std::string head = std::to_string(k) + " ";
    EXPECT_EQ(rest_of(pdf, field).substr(0, head.size()), head) << "object " << k;
    long long header_gen = 0;
    EXPECT_TRUE(read_number(rest_of(pdf, field + head.size()), header_gen, used));
    EXPECT_EQ(rest_of(pdf, field + head.size() + used).substr(0, 5), " obj\n");
    EXPECT_EQ(gen, header_gen >= 0 && header_gen <= 65534 ? header_gen : 0) << "object " << k;
  }
  // Each free entry names the next free number, the last one 0.
  long long next = 0;
  for (long long k = entries - 1; k >= 0; --k) {
    if (f.offsets[k] >= 0) continue;
    EXPECT_EQ(free_fields[k], next) << "free entry " << k;
    next = k;
  }
  f.trailer = std::string(rest_of(pdf, p));
  EXPECT_EQ(f.trailer.substr(0, 16 + std::to_string(entries).size()),
            "trailer\n<</Size " + std::to_string(entries));
  return f;
}

TEST(BufBytes, FirstAppendAllocatesOneMebibyteAndGrowthDoubles) {
  out_buf buf;
  ASSERT_NE(buf_bytes(buf, "ab", 2), nullptr);
  EXPECT_EQ(buf.cap, 0x100000u);
  EXPECT_EQ(buf.len, 2u);
  EXPECT_EQ(buf.data[2], 0);
  const std::string big(0x100000 - 3, 'x');  // fills the buffer up to its NUL
  ASSERT_NE(buf_bytes(buf, big.data(), big.size()), nullptr);
  EXPECT_EQ(buf.cap, 0x100000u);
  ASSERT_NE(buf_bytes(buf, "c", 1), nullptr);
  EXPECT_EQ(buf.cap, 0x200000u);
  EXPECT_EQ(buf.len, 0x100000u);
  EXPECT_EQ(std::memcmp(buf.data, "abx", 3), 0);
  EXPECT_EQ(buf.data[buf.len - 1], 'c');
  EXPECT_EQ(buf.data[buf.len], 0);
}

TEST(BufBytes, FailedGrowthReleasesTheBufferForGood) {
  out_buf buf;
  ASSERT_NE(buf_bytes(buf, "ab", 2), nullptr);
  // A request no capacity can hold; the bytes behind it are never read.
  EXPECT_EQ(buf_bytes(buf, "", std::size_t{1} << 62), nullptr);
  EXPECT_EQ(buf.data, nullptr);
  EXPECT_EQ(buf.len, 0u);
  EXPECT_EQ(buf.cap, 0u);
  EXPECT_TRUE(buf.failed);
  // Later appends would build a file without its beginning: they are refused.
  EXPECT_EQ(buf_bytes(buf, "c", 1), nullptr);
  EXPECT_EQ(buf.data, nullptr);
}

TEST(WriterLayout, HeaderThenFirstObjectAtOffset15) {
  kept_builder b;
  b.dict_object(1, "<</Type /Catalog>>");
  const written_file f = read_written(b.write(1, -1));
  EXPECT_EQ(f.bytes.substr(0, 15 + 8), file_header + "1 0 obj\n");
  ASSERT_EQ(f.offsets.size(), 2u);
  EXPECT_EQ(f.offsets[1], 15);
}

TEST(WriterLayout, XrefCoversEveryNumberUpToTheLargest) {
  kept_builder b;
  b.dict_object(5, "<</E 5>>");
  b.dict_object(1, "<</Type /Catalog>>");
  b.dict_object(2, "<</B 2>>");
  const written_file f = read_written(b.write(1, -1));
  ASSERT_EQ(f.offsets.size(), 6u);
  const auto in_use = [](int offset) {
    char line[21];
    std::snprintf(line, sizeof line, "%010d 00000 n \n", offset);
    return std::string(line);
  };
  const std::string expected_xref =
      "xref\n0 6\n"
      "0000000003 65535 f \n" +
      in_use(f.offsets[1]) + in_use(f.offsets[2]) +
      "0000000004 65535 f \n"
      "0000000000 65535 f \n" +
      in_use(f.offsets[5]);
  EXPECT_EQ(f.bytes.substr(f.xref_off, expected_xref.size()), expected_xref);
  EXPECT_EQ(f.trailer, "trailer\n<</Size 6/Root 1 0 R>>\nstartxref " + std::to_string(f.xref_off) +
                           "\n%%EOF\n");
}

TEST(WriterLayout, ObjectsInAscendingNumberAndDuplicatesInTableOrder) {
  kept_builder b;
  b.dict_object(3, "<</C 3>>");
  b.dict_object(1, "<</First 1>>");
  b.dict_object(2, "<</B 2>>");
  b.dict_object(1, "<</Second 1>>");
  const written_file f = read_written(b.write(1, -1));
  const std::size_t first = f.bytes.find("1 0 obj\n<</First 1>>endobj\n");
  const std::size_t second = f.bytes.find("1 0 obj\n<</Second 1>>endobj\n");
  const std::size_t two = f.bytes.find("2 0 obj\n");
  const std::size_t three = f.bytes.find("3 0 obj\n");
  EXPECT_EQ(first, 15u);
  EXPECT_LT(first, second);
  EXPECT_LT(second, two);
  EXPECT_LT(two, three);
  ASSERT_EQ(f.offsets.size(), 4u);
  EXPECT_EQ(f.offsets[1], static_cast<int>(second));  // the later record of the number
}

TEST(WriterLayout, GenerationsPrintedAsRecordedAndClampedInXref) {
  kept_builder b;
  b.dict_object(1, "<</Type /Catalog>>", 70000);
  b.dict_object(2, "<</Title (t)>>", 7);
  const written_file f = read_written(b.write(1, 2));
  EXPECT_EQ(f.object(1).substr(0, 12), "1 70000 obj\n");
  // "xref\n0 3\n", then lines of 20 bytes whose generation starts at byte 11.
  EXPECT_EQ(f.bytes.substr(f.xref_off + 9 + 20 + 11, 5), "00000");
  EXPECT_EQ(f.bytes.substr(f.xref_off + 9 + 40 + 11, 5), "00007");
  EXPECT_EQ(f.trailer, "trailer\n<</Size 3/Root 1 70000 R/Info 2 7 R>>\nstartxref " +
                           std::to_string(f.xref_off) + "\n%%EOF\n");
}

TEST(WriterLayout, TrailerRootAndInfoNameUnwrittenNumbersWithGenerationZero) {
  kept_builder b;
  b.dict_object(1, "<</Type /Catalog>>", 4);
  const written_file f = read_written(b.write(9, 1));
  EXPECT_EQ(f.trailer.substr(0, 40), "trailer\n<</Size 2/Root 9 0 R/Info 1 4 R>");
}

TEST(WriterLayout, EmptyTableGivesHeaderXrefAndTrailer) {
  kept_builder b;
  const written_file f = read_written(b.write(1, -1));
  EXPECT_EQ(f.bytes, file_header +
                         "xref\n0 1\n0000000000 65535 f \ntrailer\n<</Size 1/Root 1 0 R>>"
                         "\nstartxref 15\n%%EOF\n");
}

TEST(WriterLayout, TwoRunsGiveIdenticalBytes) {
  const auto build_and_write = [] {
    kept_builder b;
    b.dict_object(4, "<</Type /Page /Parent 2 0 R>>");
    b.stream_object(3, "<</Length 99>>", "data");
    b.dict_object(1, "<</Type /Catalog /Pages 2 0 R>>");
    b.dict_object(2, "<</Type /Pages /Kids [4 0 R 6 0 R] /Count 2>>");
    b.objstm_object(7, nullptr, "<</Type /Page>>");
    return b.write(1, -1);
  };
  const std::string first = build_and_write();
  read_written(first);
  EXPECT_EQ(build_and_write(), first);
}

// Kinds of object and what is written for each between "N G obj\n" and the end of the object.
TEST(WriterKinds, FileDictionaryEndsDirectlyWithEndobj) {
  kept_builder b;
  b.dict_object(1, "<</Type /Catalog>> trailing");
  EXPECT_EQ(read_written(b.write(1, -1)).object(1), "1 0 obj\n<</Type /Catalog>>endobj\n");
}

// The media box is given to the cleaned dictionary: it survives the trim of what follows the
// dictionary, and a page type that cleaning repairs gets it too.
TEST(WriterKinds, FileDictionaryGetsItsMediaBoxAfterCleaning) {
  kept_builder b;
  b.dict_object(1, "<</Type /Page>> <</X 1>>");
  b.dict_object(2, "<</Type /P4ge>>");
  const written_file f = read_written(b.write(1, -1));
  EXPECT_EQ(f.object(1), "1 0 obj\n<</Type /Page /MediaBox [0 0 612 792]>>endobj\n");
  EXPECT_EQ(f.object(2), "2 0 obj\n<</Type /Page /MediaBox [0 0 612 792]>>endobj\n");
}

TEST(WriterKinds, NumberAndArrayBodiesSanitised) {
  kept_builder b;
  b.body_object(1, "42");
  b.body_object(2, bytes("[1 0 R{80}]"));
  const written_file f = read_written(b.write(1, -1));
  EXPECT_EQ(f.object(1), "1 0 obj\n42\nendobj\n");
  EXPECT_EQ(notation(f.object(2)), notation(bytes("2 0 obj\n[1 0 R ]\nendobj\n")));
}

TEST(WriterKinds, ObjectStreamObjects) {
  kept_builder b;
  b.objstm_object(1, "<</Type /P4ge>> <</X 1>>", "unused");
  b.objstm_object(2, nullptr, "<</Type /Page /Kid5 [1 0 R]>> junk");
  b.objstm_object(3, nullptr, nullptr);
  b.objstm_object(4, nullptr, "[4 0 R]");
  b.objstm_object(5, "[/Indexed << /N 1 >> 1]", "unused");
  const written_file f = read_written(b.write(1, -1));
  // A dictionary is written as one from the file body would be; any other value gets the line
  // break it lacks before "endobj".
  EXPECT_EQ(f.object(1), "1 0 obj\n<</Type /Page /MediaBox [0 0 612 792]>>endobj\n");
  EXPECT_EQ(f.object(2),
            "2 0 obj\n<</Type /Page /Kids [1 0 R] /MediaBox [0 0 612 792]>>endobj\n");
  EXPECT_EQ(f.object(3), "3 0 obj\n\nendobj\n");
  EXPECT_EQ(f.object(4), "4 0 obj\n[4 0 R]\nendobj\n");
  EXPECT_EQ(f.object(5), "5 0 obj\n[/Indexed << /N 1 >> 1]\nendobj\n");  // not cut after the >>
}

TEST(WriterKinds, StreamDictionaryGetsKidsCountAndMediaBoxRepairs) {
  kept_builder b;
  b.stream_object(1, "<</Type /Pages /Kids [1 0 R 9 0 R] /Count 2 /Length 3>>", "abc");
  b.stream_object(2, "<</Type /Page /Length 3>>", "xyz");
  const written_file f = read_written(b.write(1, -1));
  EXPECT_EQ(f.object(1),
            "1 0 obj\n<</Type /Pages /Kids [1 0 R] /Count 1 /Length 3 >>stream\nabc"
            "\nendstream\nendobj\n");
  EXPECT_EQ(f.object(2),
            "2 0 obj\n<</Type /Page /Length 3  /MediaBox [0 0 612 792]>>stream\nxyz"
            "\nendstream\nendobj\n");
}

TEST(WriterKinds, StreamWithoutDictionarySpanWrittenWithoutDictionary) {
  kept_builder b;
  b.stream_object(1, "<</Length 3>>", "abc");
  b.kept.items[0].dict_off = -1;
  EXPECT_EQ(read_written(b.write(1, -1)).object(1), "1 0 obj\nstream\nabc\nendstream\nendobj\n");
}

// The stream dictionary rewrite: whatever the old /Length said, the new one is the number of
// data bytes written, and the old value is dropped whole.
struct length_case {
  const char* name;
  const char* dict;     // the dictionary before "stream"
  const char* written;  // the dictionary written before "stream\n"
};

std::string length_case_name(const testing::TestParamInfo<length_case>& info) {
  return info.param.name;
}
void PrintTo(const length_case& c, std::ostream* os) { *os << c.name; }

class StreamLength : public testing::TestWithParam<length_case> {};

// 123 bytes of sound zlib data (112 bytes in one stored block), which a /FlateDecode
// dictionary keeps as they are.
std::string sound_zlib_data() {
  std::string payload;
  while (payload.size() < 112) payload += "0123456789";
  payload.resize(112);
  const uLong check = adler32(1, reinterpret_cast<const Bytef*>(payload.data()), 112);
  std::string data = std::string("\x78\x01\x01\x70\x00\x8f\xff", 7) + payload;
  for (int shift = 24; shift >= 0; shift -= 8) data += static_cast<char>(check >> shift);
  return data;
}

TEST_P(StreamLength, SetToTheDataWritten) {
  const std::string data = sound_zlib_data();
  kept_builder b;
  b.stream_object(1, bytes(GetParam().dict), data);
  const written_file f = read_written(b.write(1, -1));
  EXPECT_EQ(f.object(1), std::string("1 0 obj\n") + GetParam().written + "stream\n" + data +
                             "\nendstream\nendobj\n");
}

const length_case length_cases[] = {  // {NN} notation
    {"indirect_reference", "<</Length 7 0 R>>", "<</Length 123 >>"},
    {"direct_wrong_value", "<</Length 99>>", "<</Length 123 >>"},
    {"array_value", "<</Length [99]>>", "<</Length 123 >>"},
    {"right_value_rewritten_alike", "<</Length 123>>", "<</Length 123 >>"},
    {"entries_after_the_value_kept", "<</Length 99 /Filter /FlateDecode>>",
     "<</Length 123 /Filter /FlateDecode>>"},
    {"entries_before_the_value_kept", "<</Filter /FlateDecode /Length 99>>",
     "<</Filter /FlateDecode /Length 123 >>"},
    {"only_first_length_rewritten", "<</Length 99 /Length 98>>", "<</Length 123 /Length 98>>"},
    {"value_after_comment", "<</Length%c\n99>>", "<</Length 123 >>"},
    {"array_directly_after_name", "<</Length[99]/Filter/FlateDecode>>",
     "<</Length 123 /Filter/FlateDecode>>"},
    {"missing_value_keeps_next_key", "<</Length/Filter/FlateDecode/Length 123>>",
     "<</Length 123 /Filter/FlateDecode/Length 123>>"},
    {"negative_value_dropped", "<</Length -5>>", "<</Length 123 >>"},
    {"name_value_stays", "<</Length /X>>", "<</Length 123 /X>>"},
    {"unclosed_array_leaves_nothing_after", "<</Length [99 >>", "<</Length 123 >>"},
    {"no_length_measured_one_added", "<</Filter /FlateDecode>>",
     "<</Length 123 /Filter /FlateDecode>>"},
    {"misspelt_length_keeps_its_value", "<</L3ngth 99>>", "<</Length 99>>"},
    {"no_opener_no_length_added", "/Filter /FlateDecode", "/Filter /FlateDecode\n"},
    {"damage_between_the_integers_dropped", "<</Length 7{DF}0 R>>", "<</Length 123 >>"},
    {"damage_before_R_dropped", "<</Length 7 0 {DF} R/Filter/FlateDecode>>",
     "<</Length 123 /Filter/FlateDecode>>"},
    {"inverted_R_dropped", "<</Length 7 0 {AD}>>", "<</Length 123 >>"},
    {"damage_before_inverted_R_dropped", "<</Length 7 0{DF}{AD}>>", "<</Length 123 >>"},
    {"damaged_slash_of_next_key_stays", "<</Length 7 0 {D0}Filter/FlateDecode>>",
     "<</Length 123 /Filter/FlateDecode>>"},
};
INSTANTIATE_TEST_SUITE_P(WriterStreamLength, StreamLength, testing::ValuesIn(length_cases),
                         length_case_name);

TEST(WriterStreamLength, NameEndingTheSpanReadsNothingPastIt) {
  // "/Length" directly before the keyword: the span ends with the name, and the rewrite
  // neither reads the keyword nor copies anything after the new entry.
  kept_builder b;
  b.stream_object(1, "<</A 1/Length", "abcd");
  obj_entry& r = b.kept.items[0];
  b.input.erase(r.stream_kw - 1, 1);  // "<</A 1/Lengthstream"
  --r.stream_kw;
  --r.data_start;
  --r.data_end;
  --r.endobj_off;
  EXPECT_EQ(read_written(b.write(1, -1)).object(1),
            "1 0 obj\n<</A 1/Length 4 >>stream\nabcd\nendstream\nendobj\n");
}

TEST(WriterStreamLength, LongDictionaryKeepsItsLengthPastTheFirstMebibyte) {
  const std::string pad(0x180000, 'x');
  kept_builder b;
  b.stream_object(1, "<</Pad (" + pad + ") /Length 99>>", "abc");
  EXPECT_EQ(read_written(b.write(1, -1)).object(1),
            "1 0 obj\n<</Pad (" + pad + ") /Length 3 >>stream\nabc\nendstream\nendobj\n");
}

TEST(WriterStreamLength, LongDictionaryWithoutLengthCutAtOneMebibyte) {
  const std::string pad(0x180000, 'x');
  kept_builder b;
  b.stream_object(1, "<</Pad (" + pad + ")>>", "abc");
  const std::string cut = "<</Length 3 /Pad (" + pad.substr(0, 0x100000 - 8);
  EXPECT_EQ(read_written(b.write(1, -1)).object(1),
            "1 0 obj\n" + cut + " >>stream\nabc\nendstream\nendobj\n");
}

TEST(WriterStreamLength, DictionaryTooLongToSanitiseIsLeftOut) {
  const std::string pad(max_dict_span, 'x');
  kept_builder b;
  b.stream_object(1, "<</Pad (" + pad + ") /Length 99>>", "abc");
  EXPECT_EQ(read_written(b.write(1, -1)).object(1), "1 0 obj\nstream\nabc\nendstream\nendobj\n");
}

TEST(WriterStreamLength, DataRangeOutsideTheInputWritesNoData) {
  kept_builder b;
  b.stream_object(1, "<</Length 3>>", "abc");
  b.kept.items[0].data_end = static_cast<int>(b.input.size()) + 1;
  EXPECT_EQ(read_written(b.write(1, -1)).object(1),
            "1 0 obj\n<</Length 0 >>stream\n\nendstream\nendobj\n");
}

// Bad input: random records over random bytes. Whatever the records say, the writer reads
// only the input and the texts they own, and every written file is consistent.
std::string random_input(std::mt19937& rng) {
  static const char* const pieces[] = {
      "<<",  ">>", "/Length", " ",     "\n",       "7 0 R",     "[",         "]",        "99",
      "obj", "R",  "/Type",   "/Page", "/Kids",    "/Count",    "/MediaBox", "stream\n", "endobj",
      "%",   "(",  ")",       "-",     "12 0 obj", "endstream", "/Length["};
  std::string s;
  for (int n = static_cast<int>(rng() % 50); n > 0; --n) {
    if (rng() % 4 == 0) {
      s += static_cast<char>(rng() % 256);
    } else {
      s += pieces[rng() % std::size(pieces)];
    }
  }
  return s;
}

int random_offset(std::mt19937& rng, int size) {
  return static_cast<int>(rng() % static_cast<unsigned>(size + 3)) - 1;  // -1 to size + 1
}

TEST(WriterRandom, AnyRecordsGiveAConsistentFile) {
  std::mt19937 rng(7303);
  static const int gens[] = {0, 0, 1, 65534, 65535, 70000, -1};
  for (int round = 0; round < 400; ++round) {
    const std::string input = random_input(rng);
    const int size = static_cast<int>(input.size());
    std::vector<std::unique_ptr<unsigned char[]>> texts;
    objvec kept;
    for (int n = static_cast<int>(rng() % 12); n > 0; --n) {
      obj_entry r{.num = static_cast<int>(rng() % 30), .gen = gens[rng() % std::size(gens)]};
      r.hdr_off = random_offset(rng, size);
      r.dict_off = random_offset(rng, size);
      r.stream_kw = random_offset(rng, size);
      r.data_start = random_offset(rng, size);
      r.data_end = random_offset(rng, size);
      r.endobj_off = random_offset(rng, size);
      r.has_stream = static_cast<int>(rng() % 2);
      r.in_objstm = rng() % 3 == 0;
      if (rng() % 2) {
        const std::string own = random_input(rng);
        texts.push_back(exact_copy(own));
        r.own_text = texts.back().get();
        r.own_len = static_cast<int>(own.size());
      }
      if (rng() % 2) {
        std::string text = random_input(rng);
        text.erase(std::remove(text.begin(), text.end(), '\0'), text.end());
        r.dict_text = heap_text(text);
        r.dict_len = static_cast<int>(text.size());
      }
      objvec_push(kept, r);
    }
    const auto copy = exact_copy(input);
    out_buf out;
    ASSERT_EQ(write_output(copy.get(), size, kept, static_cast<int>(rng() % 32) - 1,
                           static_cast<int>(rng() % 32) - 1, out),
              1);
    read_written(std::string(reinterpret_cast<const char*>(out.data), out.len));
    if (testing::Test::HasFailure()) {
      ADD_FAILURE() << "round " << round << ", input " << notation(input);
      return;
    }
  }
}

}  // namespace
