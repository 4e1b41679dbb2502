// Object-stream expansion: container selection, /N and /First, the header pairs, one record
// per object pointing into the decoded bytes.
#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdfrepair/objstm.h"
#include "support/zlib_data.h"

namespace {

using namespace pdfrepair;
using Objects = std::vector<std::pair<int, std::string>>;

// A zlib stream holding `data` in a stored block, then a block of the reserved type 3: a
// stream damaged after its first block, which decodes to `data`.
std::string damaged_after(std::string_view data) {
  std::string s = "\x78\x01";
  s += '\x00';  // not last, stored
  s += static_cast<char>(data.size() & 0xFF);
  s += static_cast<char>(data.size() >> 8);
  s += static_cast<char>(~data.size() & 0xFF);
  s += static_cast<char>((~data.size() >> 8) & 0xFF);
  s += data;
  s += '\x07';  // last, type 3
  return s;
}

// The input file holding one container, and the record discovery makes for it.
struct File {
  std::string bytes;
  obj_entry rec;
};

File container_file(std::string_view dict, std::string_view data) {
  File f;
  f.bytes = "1 0 obj\n";
  f.rec.num = 1;
  f.rec.hdr_off = 0;
  f.rec.dict_off = static_cast<int>(f.bytes.size());
  f.bytes += dict;
  f.rec.stream_kw = static_cast<int>(f.bytes.size());
  f.bytes += "stream\n";
  f.rec.data_start = static_cast<int>(f.bytes.size());
  f.bytes += data;
  f.rec.data_end = static_cast<int>(f.bytes.size());
  f.rec.data_len = f.rec.data_end - f.rec.data_start;
  f.rec.has_stream = 1;
  f.bytes += "\nendstream\nendobj\n";
  f.rec.endobj_off = static_cast<int>(f.bytes.rfind("endobj"));
  f.rec.obj_end = f.rec.endobj_off + 6;
  return f;
}

// Runs the expansion over the file's records and returns the appended objects.
Objects expand(const std::string& file, const std::vector<obj_entry>& records) {
  const std::vector<byte> buf(file.begin(), file.end());  // exactly sized
  objvec table;
  for (const obj_entry& rec : records) objvec_push(table, rec);
  decoded_buffers keep;
  extract_all_objstm(buf.data(), static_cast<int>(buf.size()), table, keep);
  Objects out;
  for (int i = static_cast<int>(records.size()); i < table.count; ++i) {
    const obj_entry& e = table.items[i];
    EXPECT_EQ(e.gen, 0);
    EXPECT_EQ(e.in_objstm, 1);
    EXPECT_EQ(e.hdr_off, -1);
    EXPECT_EQ(e.dict_off, -1);
    EXPECT_EQ(e.stream_kw, -1);
    EXPECT_EQ(e.endobj_off, -1);
    EXPECT_EQ(e.has_stream, 0);
    out.emplace_back(e.num, std::string(reinterpret_cast<const char*>(e.own_text), e.own_len));
  }
  return out;
}

Objects expand(const File& f) { return expand(f.bytes, {f.rec}); }

// Three objects: numbers 10, 11, 12 at offsets 0, 15, 30 after a 20-byte header.
const std::string three_objects =
    "10 0 11 15 12 30    "
    "<</A 1>>       "
    "<</B 2>>       "
    "<</C 3>>            ";
const Objects three_expected = {
    {10, "<</A 1>>       "}, {11, "<</B 2>>       "}, {12, "<</C 3>>            "}};

TEST(ExtractAllObjstm, ReadsTheHeaderPairs) {
  struct Case {
    const char* name;
    std::string dict;
    std::string data;
    Objects expected;
  } cases[] = {
      {"uncompressed", "<</Type/ObjStm/N 3/First 20>>", three_objects, three_expected},
      {"inflated", "<</Type/ObjStm/N 3/First 20/Filter/FlateDecode>>", pdftest::deflated(three_objects),
       three_expected},
      {"other filters are ignored", "<</Type/ObjStm/N 3/First 20/Filter/ASCIIHexDecode>>",
       three_objects, three_expected},
      {"object number 0 yields nothing", "<</Type/ObjStm/N 2/First 8>>", "0 0 5 4 abcdefgh",
       {{5, "efgh"}}},
      {"an unreadable offset drops the container", "<</Type/ObjStm/N 2/First 8>>", "4 0 5 x abcdefgh",
       {}},
      {"N 0", "<</Type/ObjStm/N 0/First 4>>", "4 0 abcd", {}},
      {"N above 100000", "<</Type/ObjStm/N 100001/First 4>>", "4 0 abcd", {}},
      {"First beyond the data", "<</Type/ObjStm/N 1/First 9>>", "4 0 abcd", {}},
      {"no First", "<</Type/ObjStm/N 1>>", "4 0 abcd", {}},
      {"the first positive N wins", "<</Type/ObjStm/N 0/First 4/N 1>>", "4 0 abcd", {{4, "abcd"}}},
      {"Names is not N", "<</Type/ObjStm/Names 1/First 4>>", "4 0 abcd", {}},
      {"wrong method nibble", "<</Type/ObjStm/N 1/First 4/Filter/FlateDecode>>", "\x79\x01zzzz", {}},
      {"damaged deflate: parsed from its decoded prefix",
       "<</Type/ObjStm/N 2/First 8/Filter/FlateDecode>>", damaged_after("7 0 8 3 abcdefgh"),
       {{7, "abc"}, {8, "defgh"}}},
      {"last object starting beyond the data", "<</Type/ObjStm/N 2/First 8>>", "4 0 5 9 abcd",
       {{4, "abcd"}}},
      {"an earlier object reaching past the data is cut", "<</Type/ObjStm/N 2/First 9>>",
       "4 0 5 90 abcd", {{4, "abcd"}}},
      {"an earlier object starting past the data is dropped", "<</Type/ObjStm/N 3/First 14>>",
       "4 40 5 60 6 0 abcd", {{6, "abcd"}}},
      {"an object longer than 1 MiB is dropped", "<</Type/ObjStm/N 2/First 14>>",
       "4 0 5 1048577 abcd", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(expand(container_file(c.dict, c.data)), c.expected);
  }
}

TEST(ExtractAllObjstm, RetriesWithLargerBuffersUntilTheDataFits) {
  // Zeros compress a thousandfold: the first buffers (raw * 8 + 64 bytes) are far too small.
  const std::string object = "<</Pad (" + std::string(200000, '0') + ")>>";
  const std::string data = "4 0 " + object;
  EXPECT_EQ(expand(container_file("<</Type/ObjStm/N 1/First 4/Filter/FlateDecode>>",
                                  pdftest::deflated(data))),
            (Objects{{4, object}}));
}

TEST(ExtractAllObjstm, SelectsOnlyStreamsNamingObjStm) {
  File f = container_file("<</Type/ObjStm/N 1/First 4>>", "4 0 abcd");
  File not_objstm = container_file("<</Type/XObject/N 1/First 4>>", "4 0 abcd");
  EXPECT_EQ(expand(not_objstm), Objects{});

  obj_entry no_stream = f.rec;
  no_stream.has_stream = 0;
  EXPECT_EQ(expand(f.bytes, {no_stream}), Objects{});

  obj_entry no_dict = f.rec;
  no_dict.dict_off = -1;
  EXPECT_EQ(expand(f.bytes, {no_dict}), Objects{});

  // The name must stand in the dictionary, before the stream keyword.
  File in_data = container_file("<</N 1/First 4>>", "4 0 /ObjStm");
  EXPECT_EQ(expand(in_data), Objects{});
}

TEST(ExtractAllObjstm, ExpandsEveryContainerInTableOrder) {
  File a = container_file("<</Type/ObjStm/N 1/First 4>>", "4 0 abcd");
  File b = container_file("<</Type/ObjStm/N 1/First 4>>", "5 0 efgh");
  obj_entry rec_b = b.rec;
  const int shift = static_cast<int>(a.bytes.size());
  for (int* field : {&rec_b.hdr_off, &rec_b.dict_off, &rec_b.stream_kw, &rec_b.data_start,
                     &rec_b.data_end, &rec_b.endobj_off, &rec_b.obj_end})
    *field += shift;
  EXPECT_EQ(expand(a.bytes + b.bytes, {a.rec, rec_b}), (Objects{{4, "abcd"}, {5, "efgh"}}));
}

TEST(ExtractAllObjstm, NeverReadsOutsideTheRecordedRange) {
  File f = container_file("<</Type/ObjStm/N 1/First 4>>", "4 0 abcd");
  obj_entry past_end = f.rec;
  past_end.data_end = static_cast<int>(f.bytes.size()) + 100;
  EXPECT_EQ(expand(f.bytes, {past_end}), Objects{});
}

}  // namespace
