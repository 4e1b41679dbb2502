// Damaged files as users meet them: the valid files of tests/data/valid/ and producers/ and
// documents made with the builder, each damaged in eighteen ways (cut short, cross-reference
// data destroyed, bits inverted, names misspelt, keywords lost, garbage and zeroes written over
// bytes, a page dropped). A repair may refuse any of them; a repair that succeeds must write a
// file that qpdf does not reject for its structure, whose zlib data inflates, that pdfinfo
// opens with at least one page, and that keeps every object it still references.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pdfrepair.h"
#include "pdfrepair/analysis.h"
#include "pdfrepair/dict.h"
#include "pdfrepair/filters.h"
#include "pdfrepair/pagetree.h"
#include "pdfrepair/selection.h"
#include "pdfrepair/writer.h"
#include "support/discovered.h"
#include "support/pdf_builder.h"
#include "support/readers.h"
#include "support/report.h"
#include "support/temp_dir.h"
#include "support/zlib_data.h"

namespace {

namespace fs = std::filesystem;
using pdftest::PdfBuilder;

// Whether pos lies in stream data: after a "stream" keyword and before the "endstream" that
// follows it.
bool in_stream_data(const std::string& s, std::size_t pos) {
  const std::size_t kw = s.rfind("stream", pos);
  if (kw == std::string::npos || kw + 6 > pos) return false;
  return kw < 3 || s.compare(kw - 3, 3, "end") != 0;
}

// Every occurrence of text outside stream data, in file order.
std::vector<std::size_t> occurrences(const std::string& s, std::string_view text) {
  std::vector<std::size_t> found;
  for (std::size_t at = s.find(text); at != std::string::npos; at = s.find(text, at + 1))
    if (!in_stream_data(s, at)) found.push_back(at);
  return found;
}

bool digit_at(const std::string& s, std::size_t i) {
  return i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]));
}

void invert(std::string& s, std::size_t pos) { s[pos] = static_cast<char>(~s[pos]); }

// Overwrites up to n bytes from pos with c, never past the end.
void overwrite(std::string& s, std::size_t pos, std::size_t n, char c) {
  for (std::size_t i = pos; i < std::min(s.size(), pos + n); ++i) s[i] = c;
}

// Replaces every occurrence of a name (outside stream data, not followed by a letter) by
// another of the same length.
void respell(std::string& s, std::string_view name, std::string_view as) {
  for (std::size_t at : occurrences(s, name))
    if (at + name.size() >= s.size() || !std::isalpha(static_cast<unsigned char>(s[at + name.size()])))
      s.replace(at, as.size(), as);
}

// The object holding the first page dictionary written "/Type /Page" (else "/Type/Page")
// outside stream data, from its header line to just past its "endobj": {start, end}, or {0, 0}.
std::pair<std::size_t, std::size_t> first_page_object(const std::string& s) {
  for (std::string_view type : {"/Type /Page", "/Type/Page"}) {
    for (std::size_t at : occurrences(s, type)) {
      if (at + type.size() < s.size() && std::isalpha(static_cast<unsigned char>(s[at + type.size()])))
        continue;
      const std::size_t head = s.rfind(" obj", at);
      const std::size_t end = s.find("endobj", at);
      if (head == std::string::npos || end == std::string::npos) return {0, 0};
      return {s.rfind('\n', head) + 1, end + 6};
    }
  }
  return {0, 0};
}

struct Damage {
  const char* name;
  void (*apply)(std::string&);
};

const Damage damages[] = {
    {"cut in half", [](std::string& s) { s.resize(s.size() / 2); }},
    {"cut at 90 %", [](std::string& s) { s.resize(s.size() * 9 / 10); }},
    {"cut at 95 %", [](std::string& s) { s.resize(s.size() * 19 / 20); }},
    {"cut inside the last stream",
     [](std::string& s) {
       const std::size_t end = s.rfind("endstream");
       const std::size_t kw = end == std::string::npos ? end : s.rfind("stream", end - 1);
       if (kw != std::string::npos) s.resize((kw + end) / 2 + 4);
     }},
    {"xref destroyed",
     [](std::string& s) {
       for (std::size_t at : occurrences(s, "\nxref")) overwrite(s, at + 1, 60, '~');
       for (std::size_t at : occurrences(s, "/XRef")) {  // a cross-reference stream's data
         const std::size_t data = s.find("stream", at);
         const std::size_t end = s.find("endstream", data);
         if (end != std::string::npos) overwrite(s, data + 7, end - data - 8, '\0');
       }
     }},
    {"startxref destroyed",
     [](std::string& s) {
       for (std::size_t at : occurrences(s, "startxref")) {
         s[at + 7] = 'X';
         for (std::size_t i = at + 10; digit_at(s, i); ++i) s[i] = '9';
       }
     }},
    {"header missing", [](std::string& s) { s.erase(0, s.find('\n') + 1); }},
    {"bit-inverted name after <<",
     [](std::string& s) {
       for (std::size_t at : occurrences(s, "<</")) invert(s, at + 2);
     }},
    {"bit-inverted second < of <<",
     [](std::string& s) {
       for (std::size_t at : occurrences(s, "<<")) invert(s, at + 1);
     }},
    {"bit-inverted R of references",
     [](std::string& s) {
       for (std::size_t at : occurrences(s, " 0 R")) invert(s, at + 3);
     }},
    {"names misspelt with a digit",
     [](std::string& s) {
       respell(s, "/Type", "/Typ3");
       respell(s, "/Pages", "/Pag3s");
       respell(s, "/MediaBox", "/MediaB0x");
       respell(s, "/Contents", "/C0ntents");
       respell(s, "/Length", "/L3ngth");
     }},
    {"wrong /Length",
     [](std::string& s) {
       for (std::size_t at : occurrences(s, "/Length ")) {
         std::size_t last = at + 8;
         while (digit_at(s, last + 1)) ++last;
         if (digit_at(s, last)) s[last] = static_cast<char>('0' + (s[last] - '0' + 3) % 10);
       }
     }},
    {"every second endobj deleted",
     [](std::string& s) {
       std::vector<std::size_t> found = occurrences(s, "endobj");
       for (std::size_t k = found.size(); k-- > 0;)
         if (k % 2 == 1) s.erase(found[k], 6);
     }},
    {"every third object header destroyed",
     [](std::string& s) {
       std::vector<std::size_t> found = occurrences(s, " obj");
       for (std::size_t k = 0; k < found.size(); k += 3) {
         const std::size_t line = s.rfind('\n', found[k]) + 1;
         overwrite(s, line, found[k] + 4 - line, '#');
       }
     }},
    {"endstream damaged",
     [](std::string& s) {
       for (std::size_t at = s.find("endstream"); at != std::string::npos; at = s.find("endstream", at + 1))
         invert(s, at + 5);
     }},
    {"garbage in dictionaries",
     [](std::string& s) {
       std::vector<std::size_t> found = occurrences(s, "<<");
       for (std::size_t k = found.size(); k-- > 0;)
         if (k % 2 == 0) s.insert(found[k] + 2, "\x8f\x01\xff");
     }},
    {"first page dropped",
     [](std::string& s) {
       const auto [start, end] = first_page_object(s);
       s.erase(start, end - start);
     }},
    {"runs zeroed",
     [](std::string& s) {
       for (std::size_t quarter = 1; quarter < 4; ++quarter) overwrite(s, s.size() * quarter / 4, 48, '\0');
     }},
};

// Three pages written with spaces, a compressed content stream, an image with binary data, a
// font and /Info.
std::string spaced_document() {
  const std::string image(64, '\x80');
  return PdfBuilder()
      .object(1, "<< /Type /Catalog /Pages 2 0 R >>")
      .object(2, "<< /Type /Pages /Kids [ 3 0 R 6 0 R 8 0 R ] /Count 3 >>")
      .object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 612 792 ] /Contents 4 0 R "
                 "/Resources << /Font << /F1 5 0 R >> >> >>")
      .stream(4, "", "BT /F1 24 Tf 72 700 Td (Page one) Tj ET")
      .object(5, "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>")
      .object(6, "<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 612 792 ] /Contents 7 0 R "
                 "/Resources << /Font << /F1 5 0 R >> >> >>")
      .stream(7, " /Filter /FlateDecode", pdftest::deflated("BT /F1 24 Tf 72 700 Td (Page two) Tj ET"))
      .object(8, "<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 612 792 ] /Contents 9 0 R "
                 "/Resources << /XObject << /Im1 10 0 R >> >> >>")
      .stream(9, "", "q 100 0 0 100 72 600 cm /Im1 Do Q")
      .stream(10, " /Type /XObject /Subtype /Image /Width 8 /Height 8 /ColorSpace /DeviceGray "
                  "/BitsPerComponent 8", image + "\x00\xff\x0d\x0a\x1f\xe0" + image.substr(6))
      .object(11, "<< /Title (Damaged) /Producer (builder) >>")
      .root(1)
      .info(11)
      .build()
      .bytes;
}

// Two pages written the compact way: no white space around names, "/MediaBox[", a hex
// string as a dictionary's last value.
std::string compact_document() {
  return PdfBuilder()
      .object(1, "<</Type/Catalog/Pages 2 0 R>>")
      .object(2, "<</Type/Pages/Kids[3 0 R 5 0 R]/Count 2/MediaBox[0 0 595 842]>>")
      .object(3, "<</Type/Page/Parent 2 0 R/Contents 4 0 R/ID<0A1B>>>")
      .stream(4, "", "0 0 m 100 100 l S")
      .object(5, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 300 300]/Contents[4 0 R 6 0 R]>>")
      .stream(6, "/Filter/FlateDecode", pdftest::deflated("200 200 m 300 100 l S"))
      .root(1)
      .build()
      .bytes;
}

std::vector<std::pair<std::string, std::string>> sources() {
  std::vector<std::pair<std::string, std::string>> all = {{"builder spaced", spaced_document()},
                                                          {"builder compact", compact_document()}};
  std::vector<fs::path> files;
  for (const char* folder : {"valid", "producers"})
    for (const fs::directory_entry& e : fs::directory_iterator(fs::path(PDFREPAIR_TEST_DATA) / folder))
      if (e.path().extension() == ".pdf") files.push_back(e.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& f : files) all.emplace_back(f.filename().string(), pdftest::TempDir::read(f.string()));
  return all;
}

TEST(DamagedFiles, EveryRepairThatSucceedsWritesAFileReadersOpen) {
  pdfrepair_init();
  const pdftest::TempDir dir;
  const std::string in = dir.path("in.pdf");
  const std::string out = dir.path("out.pdf");
  int repaired = 0;
  for (const auto& [source, bytes] : sources()) {
    for (const Damage& d : damages) {
      const std::string name = source + " / " + d.name;
      SCOPED_TRACE(name);
      std::string damaged = bytes;
      d.apply(damaged);
      dir.write("in.pdf", damaged);
      fs::remove(out);
      if (!pdfrepair_fix(in.c_str(), out.c_str())) {
        EXPECT_FALSE(fs::exists(out));
        continue;
      }
      ++repaired;
      const pdftest::Report before = pdftest::parse(pdfrepair_check(in.c_str()));
      const pdftest::Report after = pdftest::parse(pdfrepair_check(out.c_str()));
      const std::set<int> found = pdftest::discovered_numbers(damaged);
      EXPECT_EQ(pdftest::dangling_refs_added(before, after, pdftest::TempDir::read(out),
                                             [&found](int num) { return found.contains(num); }),
                pdftest::Issues{})
          << "the repair dropped objects that are still referenced";
      const pdftest::RunResult qpdf = pdftest::qpdf_check(out);
      const int pages = pdftest::pdfinfo_pages(out);
      EXPECT_TRUE(qpdf.status != 2 && pages >= 1)
          << "qpdf " << qpdf.status << ", pdfinfo pages " << pages << "\n" << qpdf.output;
      // Zlib data that no longer inflates is written again with what does (qpdf only warns of
      // it in some streams). Damage behind other filters (a cut JPEG) stays as it is.
      EXPECT_EQ(qpdf.output.find("inflate"), std::string::npos) << qpdf.output;
    }
  }
  EXPECT_GT(repaired, 0);
  pdfrepair_cleanup();
}

// The first thing a repair would mend in a file, or "": a byte of a dictionary the sanitiser
// changes (beyond NUL read as a space), a name it corrects, /Kids or /Count, a /MediaBox, zlib
// data it writes again. Each step is the repair's own, on the records it keeps.
std::string first_mending(const std::string& bytes) {
  using namespace pdfrepair;
  const pdftest::Bytes copy(bytes);
  const byte* buf = copy.data();
  const int len = copy.size();
  analysis a;
  discover(buf, len, a);
  objvec kept;
  select_records(buf, len, a.objs, kept);
  sanitize_kept(buf, len, kept);
  record_index index;
  build_record_index(kept, index);
  box_ancestors ancestors(kept, index);
  const heap_ptr<byte[]> window = inflate_window();
  for (int i = 0; i < kept.count; ++i) {
    const obj_entry& r = kept.items[i];
    const std::string obj = " in obj " + std::to_string(r.num);
    int span_len = 0;
    const byte* span = dict_span(buf, r, span_len);
    const heap_ptr<char[]> text(span ? sanitize_first_dict_text(span, span_len) : nullptr);
    if (text) {
      // A NUL may be written as a space, or in a string as the escape \000.
      for (std::size_t k = 0, j = 0; text[k] != '\0'; ++k, ++j) {
        if (text[k] == static_cast<char>(span[j]) || (span[j] == 0 && text[k] == ' ')) continue;
        if (span[j] == 0 && std::strncmp(text.get() + k, "\\000", 4) == 0) {
          k += 3;
          continue;
        }
        return "a byte sanitised" + obj;
      }
      if (names_misspelt(text.get())) return "a name corrected" + obj;
    }
    if (r.dict_text && heap_ptr<char[]>(fix_kids_counts(r.dict_text, r.dict_len, kept.items, kept.count, index)))
      return "/Kids or /Count rewritten" + obj;
    const heap_ptr<char[]> finished(text_to_finish(buf, len, r));
    const heap_ptr<char[]> cleaned(finished ? clean_dict_text(finished.get()) : nullptr);
    if (cleaned && heap_ptr<char[]>(ensure_media_box(cleaned.get(), static_cast<int>(std::strlen(cleaned.get())), &ancestors)))
      return "a /MediaBox given" + obj;
    if (is_flate_stream(buf, len, r) && r.data_end <= len &&
        verify_flate(buf + r.data_start, r.data_end - r.data_start, window.get()).damaged)
      return "zlib data written again" + obj;
  }
  return "";
}

// The check calls damaged at least as many files of each kind as qpdf does, and a file it calls
// valid is one the repair mends nothing in.
TEST(DamagedFiles, TheCheckSeesWhatTheRepairMends) {
  const pdftest::TempDir dir;
  const std::string in = dir.path("in.pdf");
  std::vector<Damage> kinds = {{"no damage", [](std::string&) {}}};
  kinds.insert(kinds.end(), std::begin(damages), std::end(damages));
  bool below = false;
  std::string table = "damage: files called damaged by the check / by qpdf\n";
  for (const Damage& d : kinds) {
    int ours = 0, qpdfs = 0;
    for (const auto& [source, bytes] : sources()) {
      std::string damaged = bytes;
      d.apply(damaged);
      dir.write("in.pdf", damaged);
      const pdftest::Report report = pdftest::parse(pdfrepair_check(in.c_str()));
      ours += !report.valid;
      qpdfs += pdftest::qpdf_check(in).status != 0;
      if (report.valid) {
        EXPECT_EQ(first_mending(damaged), "") << source << " / " << d.name << " is called valid";
      }
    }
    table += std::string(d.name) + ": " + std::to_string(ours) + " / " + std::to_string(qpdfs) + "\n";
    below = below || ours < qpdfs;
  }
  std::cout << table;
  EXPECT_FALSE(below) << table;
}

}  // namespace
