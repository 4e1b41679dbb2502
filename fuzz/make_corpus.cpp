// Writes the fuzzers' seed corpus: whole files made with the tests' PDF builder (valid ones, ones
// with object streams, cross-reference streams and updates, and every kind of damage the
// library repairs) with seeded mutations of each, zlib streams for the decoder, and dictionary
// texts. Usage: fuzz_make_corpus <folder>; it fills <folder>/pdf, <folder>/inflate and
// <folder>/dict.
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/mutator.h"
#include "support/pdf_builder.h"

namespace {

using pdftest::PdfBuilder;
using Seeds = std::vector<std::pair<std::string, std::string>>;  // name, bytes

std::string zlib(std::string_view data, int level = 9, int strategy = Z_DEFAULT_STRATEGY) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, 15, 8, strategy);
  std::string out(deflateBound(&z, data.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

const char* const catalog = "<</Type/Catalog/Pages 2 0 R>>";
const char* const one_kid = "<</Type/Pages/Kids[3 0 R]/Count 1>>";
const char* const page = "<</Type/Page/Parent 2 0 R/MediaBox[0 0 612 792]/Contents 4 0 R>>";
const char* const content = "BT /F1 12 Tf 72 720 Td (Hello) Tj ET";

PdfBuilder one_page() {
  PdfBuilder b;
  b.object(1, catalog).object(2, one_kid).object(3, page).stream(4, "", content).root(1);
  return b;
}

// Objects 3 and 4 packed in object stream 5, compressed or not.
std::string object_stream_file(bool compressed) {
  const std::string head = "3 0 4 80 ";
  std::string objects = head + page;
  objects.resize(head.size() + 80, ' ');
  objects += "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>";
  const std::string entries = "/Type/ObjStm/N 2/First " + std::to_string(head.size()) +
                              (compressed ? "/Filter/FlateDecode" : "");
  return PdfBuilder()
      .object(1, catalog)
      .object(2, one_kid)
      .stream(5, entries, compressed ? zlib(objects) : objects)
      .root(1)
      .build()
      .bytes;
}

// The newest section is a cross-reference stream naming /Root; no classic table.
std::string xref_stream_file() {
  PdfBuilder b = one_page();
  const int at = b.size();
  std::string table;  // /W [1 2 1] rows for objects 0..4, offsets left rough on purpose
  for (int i = 0; i < 5; ++i) table += std::string{'\1', '\0', static_cast<char>(i * 9), '\0'};
  b.stream(6, "/Type/XRef/Size 7/W[1 2 1]/Root 1 0 R/Filter/FlateDecode", zlib(table));
  return b.build_body().bytes + "startxref\n" + std::to_string(at) + "\n%%EOF\n";
}

// A file updated once: the page's second version sits in an appended section with /Prev.
std::string updated_file() {
  pdftest::Pdf first = one_page().build();
  const int prev = first.xref_off;
  std::string text = first.bytes;
  const int at = static_cast<int>(text.size());
  text += "3 0 obj\n<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 300]/Contents 4 0 R>>\nendobj\n";
  const int xref = static_cast<int>(text.size());
  char entry[32];
  std::snprintf(entry, sizeof entry, "%010d 00000 n \n", at);
  text += "xref\n3 1\n" + std::string(entry) + "trailer\n<</Size 5/Root 1 0 R/Prev " +
          std::to_string(prev) + ">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
  return text;
}

Seeds pdf_seeds() {
  Seeds seeds;
  auto add = [&](std::string name, std::string bytes) { seeds.emplace_back(std::move(name), std::move(bytes)); };

  add("one-page", one_page().build().bytes);
  add("two-pages-with-info",
      PdfBuilder()
          .object(1, catalog)
          .object(2, "<</Type/Pages/Kids[3 0 R 5 0 R]/Count 2/MediaBox[0 0 595 842]>>")
          .object(3, "<</Type/Page/Parent 2 0 R/Resources<</Font<</F1 6 0 R>>>>/Contents 4 0 R>>")
          .stream(4, "", content)
          .object(5, "<</Type/Page/Parent 2 0 R/Rotate 90>>")
          .object(6, "<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>")
          .object(7, "<</Title(A \\(nested\\) title)/Producer<48656C6C6F>>>")
          .root(1)
          .info(7)
          .build()
          .bytes);
  add("nested-page-tree", PdfBuilder()
                              .object(1, catalog)
                              .object(2, "<</Type/Pages/Kids[3 0 R]/Count 2>>")
                              .object(3, "<</Type/Pages/Parent 2 0 R/Kids[4 0 R 5 0 R]/Count 2>>")
                              .object(4, "<</Type/Page/Parent 3 0 R>>")
                              .object(5, "<</Type/Page/Parent 3 0 R/MediaBox[0 0 0 0]>>")
                              .root(1)
                              .build()
                              .bytes);
  add("object-stream", object_stream_file(true));
  add("object-stream-uncompressed", object_stream_file(false));
  add("xref-stream", xref_stream_file());
  add("updated", updated_file());
  add("crlf-table", one_page().entry_eol("\r\n").build().bytes);
  add("no-table", one_page().build_body().bytes);
  add("encrypted", one_page().trailer_entries("/Encrypt<</Filter/Standard/V 1>>").build().bytes);
  add("dangling-references", PdfBuilder()
                                 .object(1, catalog)
                                 .object(2, "<</Type/Pages/Kids[3 0 R 8 0 R]/Count 5>>")
                                 .object(3, "<</Type/Page/Parent 2 0 R/Contents 9 0 R>>")
                                 .root(1)
                                 .build()
                                 .bytes);
  add("misspelt-names", PdfBuilder()
                            .object(1, "<</Tpye/Catalog/Pgaes 2 0 R>>")
                            .object(2, "<</Type/Pages/Kisd[3 0 R]/Count 1>>")
                            .object(3, "<</Type/Pgae/Parent 2 0 R/MediaBxo[0 0 612 792]>>")
                            .root(1)
                            .build()
                            .bytes);
  add("dead-page", PdfBuilder()
                       .object(1, catalog)
                       .object(2, "<</Type/Pages/Kids[3 0 R 4 0 R]/Count 2>>")
                       .object(3, page)
                       .object(4, "<</Type/Page/Parent 2 0 R/Annots[(unclosed <zz>>")
                       .root(1)
                       .build()
                       .bytes);

  pdftest::Pdf wrong_length = one_page().stream(5, "", "data", {.length = "999"}).build();
  add("wrong-length", wrong_length.bytes);
  pdftest::Pdf inverted = one_page().build();
  inverted.invert(inverted.offset(2), 1).invert(inverted.find("/Type/Page/"), 5);
  add("inverted-bytes", inverted.bytes);
  pdftest::Pdf garbage = one_page().build();
  garbage.overwrite(garbage.find("/MediaBox"), "\x80\x00\xff\x01");
  add("binary-garbage", garbage.bytes);
  pdftest::Pdf no_endobj = one_page().build();
  no_endobj.overwrite(no_endobj.find("endobj"), "endobx");
  add("damaged-endobj", no_endobj.bytes);
  pdftest::Pdf truncated = one_page().build();
  truncated.truncate(truncated.find("endstream") - 3);
  add("truncated-stream", truncated.bytes);
  pdftest::Pdf bad_xref = one_page().list(3, 5).list(4, 99999).build();
  add("bad-xref-offsets", bad_xref.bytes);
  pdftest::Pdf no_header = one_page().build();
  no_header.erase(0, 9);
  add("no-header", no_header.bytes);

  // Seeded mutations of every file above, as the random tests make them.
  pdftest::Mutator mutator(13);
  const std::size_t originals = seeds.size();
  for (std::size_t i = 0; i < originals; ++i)
    for (int k = 0; k < 3; ++k)
      seeds.emplace_back(seeds[i].first + "-mutated-" + std::to_string(k), mutator.mutate(seeds[i].second));
  for (int k = 0; k < 4; ++k) seeds.emplace_back("random-" + std::to_string(k), mutator.random_buffer());
  return seeds;
}

// Two little-endian bytes of output capacity, then the stream.
std::string inflate_input(std::size_t cap, std::string_view stream) {
  return std::string{static_cast<char>(cap & 0xFF), static_cast<char>(cap >> 8 & 0xFF)} + std::string(stream);
}

Seeds inflate_seeds() {
  std::string repetitive;
  for (int i = 0; i < 200; ++i) repetitive += "1 0 obj <</Type/Page>> endobj\n";
  std::string varied;
  for (int i = 0; i < 3000; ++i) varied += static_cast<char>((i * 7919) >> 3 ^ i);
  const std::vector<std::pair<std::string, std::string>> texts = {
      {"empty", ""}, {"short", "abc"}, {"repetitive", repetitive}, {"varied", varied}};
  const std::vector<std::pair<std::string, int>> strategies = {
      {"default", Z_DEFAULT_STRATEGY}, {"fixed", Z_FIXED}, {"huffman", Z_HUFFMAN_ONLY}, {"rle", Z_RLE}};

  Seeds seeds;
  for (const auto& [text_name, text] : texts) {
    for (const auto& [strategy_name, strategy] : strategies) {
      const std::string name = text_name + "-" + strategy_name;
      const std::string z = zlib(text, 9, strategy);
      seeds.emplace_back(name, inflate_input(text.size(), z));
      if (!text.empty()) seeds.emplace_back(name + "-one-short", inflate_input(text.size() - 1, z));
      seeds.emplace_back(name + "-cut", inflate_input(text.size(), z.substr(0, z.size() / 2)));
    }
    seeds.emplace_back(text_name + "-stored", inflate_input(text.size() + 10, zlib(text, 0)));
  }
  // Hand-made: a stored block then the reserved block type, a wrong method, the dictionary flag.
  seeds.emplace_back("damaged-after-stored", inflate_input(100, std::string("\x78\x01\x00\x03\x00\xfc\xff" "abc\x07", 11)));
  seeds.emplace_back("wrong-method", inflate_input(100, "\x79\x01zzzz"));
  seeds.emplace_back("preset-dictionary", inflate_input(100, "\x78\x20zzzz"));
  return seeds;
}

Seeds dict_seeds() {
  return {
      {"page", page},
      {"catalog", catalog},
      {"nested", "<</Resources<</Font<</F1 5 0 R>>/ProcSet[/PDF/Text]>>/Annots[<</S/URI>>]>>"},
      {"strings", "<</T(a \\) b (c) \\\\ \\n)/H<4142 43>/E()>>"},
      {"misspelt", "<</Tpye/Pgae/Parnet 2 0 R/MediaBxo[0 0 1 1]/Kdis[]/Cuont 0>>"},
      {"unbalanced", "<</A<</B<</C 1"},
      {"stray-closers", ">> > <</A 1>> >>"},
      {"inverted", std::string("<<\xd0\xab\x86\x8f\x9a/Page>>")},
      {"nul-and-controls", std::string("<</A\0\x01\x0b/B 2\x1f>>", 14)},
      {"high-bytes", "<</A\x80\xff\xfe/B(\x80)>>"},
      {"bad-hex", "<</A<4G4>/B<41>>>"},
      {"unclosed-string", "<</A(abc>>"},
      {"names-with-escapes", "<</Na#6De/A#20B 1>>"},
  };
}

void write_all(const std::filesystem::path& folder, const Seeds& seeds) {
  std::filesystem::create_directories(folder);
  for (const auto& [name, bytes] : seeds)
    std::ofstream(folder / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path root = argv[1];
  write_all(root / "pdf", pdf_seeds());
  write_all(root / "inflate", inflate_seeds());
  write_all(root / "dict", dict_seeds());
  return 0;
}
