// Writes the benchmark inputs. A writer appends to the file and remembers where each object
// begins, so that the cross-reference tables it writes are correct by construction.
#include "pdfgen.h"

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <random>
#include <string_view>

namespace pdfgen {
namespace {

using std::to_string;

// One object's entry in a cross-reference section: at an offset, or packed in an object
// stream at an index.
struct entry {
  std::uint64_t offset = 0;
  int container = 0;
  int index = 0;
};

struct writer {
  std::FILE* file = nullptr;
  std::uint64_t pos = 0;
  std::vector<entry> entries;  // by object number; offset 0 and container 0: absent
  bool ok = true;

  explicit writer(const std::string& path) : file(std::fopen(path.c_str(), "wb")) {
    ok = file != nullptr;
  }
  ~writer() {
    if (file) std::fclose(file);
  }
  writer(const writer&) = delete;
  writer& operator=(const writer&) = delete;

  void put(std::string_view s) {
    if (ok && std::fwrite(s.data(), 1, s.size(), file) != s.size()) ok = false;
    pos += s.size();
  }

  entry& at(int num) {
    if (entries.size() <= static_cast<std::size_t>(num)) entries.resize(num + 1);
    return entries[num];
  }

  void begin(int num) {
    at(num) = entry{pos, 0, 0};
    put(to_string(num) + " 0 obj\n");
  }

  void object(int num, std::string_view body) {
    begin(num);
    put(body);
    put("\nendobj\n");
  }

  // dict is the dictionary's inside without /Length, e.g. "/Filter /FlateDecode".
  void stream(int num, std::string_view dict, std::string_view data) {
    begin(num);
    put("<< ");
    put(dict);
    put(" /Length " + to_string(data.size()) + " >>\nstream\n");
    put(data);
    put("\nendstream\nendobj\n");
  }

  bool close() {
    if (file && std::fclose(file) != 0) ok = false;
    file = nullptr;
    return ok;
  }
};

std::string header(std::string_view version) {
  return "%PDF-" + std::string(version) + "\n%\xE2\xE3\xCF\xD3\n";
}

std::string xref_line(std::uint64_t offset) {
  char line[32];
  std::snprintf(line, sizeof line, "%010llu 00000 n \n", static_cast<unsigned long long>(offset));
  return line;
}

// A classic table over objects 0 .. size-1, every one present but 0.
void classic_table(writer& w, int size) {
  w.put("xref\n0 " + to_string(size) + "\n0000000000 65535 f \n");
  for (int num = 1; num < size; ++num) {
    const entry& e = w.at(num);
    w.put(e.offset ? xref_line(e.offset) : std::string("0000000000 00000 f \n"));
  }
}

void trailer(writer& w, std::uint64_t xref_at, const std::string& dict) {
  w.put("trailer\n<< " + dict + " >>\nstartxref\n" + to_string(xref_at) + "\n%%EOF\n");
}

// Ends a file with a classic table over every object written so far.
void finish_classic(writer& w, const std::string& extra = "") {
  int size = static_cast<int>(w.entries.size());
  std::uint64_t xref_at = w.pos;
  classic_table(w, size);
  trailer(w, xref_at, "/Size " + to_string(size) + " /Root 1 0 R" + extra);
}

std::string deflate(std::string_view data, int level = Z_DEFAULT_COMPRESSION) {
  uLongf len = compressBound(static_cast<uLong>(data.size()));
  std::string out(len, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &len,
            reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), level);
  out.resize(len);
  return out;
}

// An object stream holding the given objects, written as object num.
void object_stream(writer& w, int num, const std::vector<std::pair<int, std::string>>& objects,
                   int level = Z_DEFAULT_COMPRESSION) {
  std::string head, body;
  for (std::size_t i = 0; i < objects.size(); ++i) {
    head += to_string(objects[i].first) + " " + to_string(body.size()) + " ";
    body += objects[i].second + "\n";
  }
  w.stream(num,
           "/Type /ObjStm /N " + to_string(objects.size()) + " /First " + to_string(head.size()) +
               " /Filter /FlateDecode",
           deflate(head + body, level));
  for (std::size_t i = 0; i < objects.size(); ++i)
    w.at(objects[i].first) = entry{0, num, static_cast<int>(i)};
}

void put_be(std::string& out, std::uint64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Ends a file with a cross-reference stream (as the next object) over everything written.
void finish_xref_stream(writer& w) {
  int num = static_cast<int>(w.entries.size());
  w.at(num) = entry{w.pos, 0, 0};
  std::string rows;
  for (int i = 0; i <= num; ++i) {
    const entry& e = w.entries[i];
    if (e.container) {
      put_be(rows, 2, 1), put_be(rows, e.container, 4), put_be(rows, e.index, 2);
    } else if (e.offset) {
      put_be(rows, 1, 1), put_be(rows, e.offset, 4), put_be(rows, 0, 2);
    } else {
      put_be(rows, 0, 1), put_be(rows, 0, 4), put_be(rows, i == 0 ? 65535 : 0, 2);
    }
  }
  std::uint64_t xref_at = w.pos;
  w.stream(num,
           "/Type /XRef /Size " + to_string(num + 1) +
               " /W [1 4 2] /Root 1 0 R /Filter /FlateDecode",
           deflate(rows));
  w.put("startxref\n" + to_string(xref_at) + "\n%%EOF\n");
}

// ---- Large files -------------------------------------------------------------------------

// Object numbers of the large files: catalog, page tree root, two fonts, then three objects
// per page.
constexpr int catalog = 1, root = 2, font_sans = 3, font_serif = 4, first_page = 5;
int page_num(int i) { return first_page + 3 * i; }
int content_num(int i) { return page_num(i) + 1; }
int image_num(int i) { return page_num(i) + 2; }

const char* const vocabulary[] = {
    "the",     "repair",  "of",       "damaged", "files",    "page",     "stream",  "object",
    "font",    "table",   "and",      "with",    "offset",   "reference", "report", "valid",
    "content", "image",   "trailer",  "header",  "section",  "number",   "between", "every",
    "which",   "longer",  "contains", "written", "document", "printed",  "shows",   "later"};

// A page of text in two fonts around the page's image.
std::string page_content(std::mt19937& rng, int page) {
  std::string s = "q 264 0 0 264 72 400 cm /Im1 Do Q\n";
  s += "BT /F2 18 Tf 72 740 Td (Chapter " + to_string(page / 20 + 1) + ", page " +
       to_string(page + 1) + ") Tj ET\nBT /F1 10 Tf 12 TL 72 380 Td\n";
  for (int line = 0; line < 30; ++line) {
    s += "(";
    for (int word = 0; word < 11; ++word)
      s += std::string(word ? " " : "") + vocabulary[rng() % std::size(vocabulary)];
    s += line % 7 == 6 ? ") Tj T* T*\n" : ") Tj T*\n";
  }
  s += "ET\n";
  return s;
}

std::string random_bytes(std::mt19937& rng, std::size_t size) {
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(rng() & 0xFF);
  return s;
}

// "a 0 R b 0 R ..." for count objects numbered by num(i).
template <class numbering>
std::string references(int count, numbering num) {
  std::string s;
  for (int i = 0; i < count; ++i) {
    if (i) s += ' ';
    s += to_string(num(i));
    s += " 0 R";
  }
  return s;
}

std::string catalog_dict() { return "<< /Type /Catalog /Pages 2 0 R >>"; }

std::string root_dict(int pages) {
  return "<< /Type /Pages /Count " + to_string(pages) + " /MediaBox [0 0 612 792] /Kids [" +
         references(pages, page_num) + "] >>";
}

std::string font_dict(const char* base) {
  return std::string("<< /Type /Font /Subtype /Type1 /BaseFont /") + base +
         " /Encoding /WinAnsiEncoding >>";
}

std::string page_dict(int i, int content, const std::string& extra = "") {
  return "<< /Type /Page /Parent 2 0 R /Resources << /Font << /F1 3 0 R /F2 4 0 R >> "
         "/XObject << /Im1 " + to_string(image_num(i)) + " 0 R >> /ProcSet [/PDF /Text /ImageC] >> "
         "/Contents " + to_string(content) + " 0 R" + extra + " >>";
}

std::string image_dict(int height) {
  return "/Type /XObject /Subtype /Image /Width 100 /Height " + to_string(height) +
         " /ColorSpace /DeviceRGB /BitsPerComponent 8";
}

// The dictionaries of the large files, in object-number order.
std::vector<std::pair<int, std::string>> head_objects(int pages) {
  return {{catalog, catalog_dict()}, {root, root_dict(pages)}, {font_sans, font_dict("Helvetica")},
          {font_serif, font_dict("Times-Roman")}};
}

void page_streams(writer& w, std::mt19937& rng, int i, const large_options& o) {
  w.stream(content_num(i), "/Filter /FlateDecode", deflate(page_content(rng, i)));
  w.stream(image_num(i), image_dict(o.image_height),
           random_bytes(rng, static_cast<std::size_t>(300) * o.image_height));
}

void classic_body(writer& w, const large_options& o) {
  std::mt19937 rng(2500);
  w.put(header("1.4"));
  for (auto& [num, body] : head_objects(o.pages)) w.object(num, body);
  for (int i = 0; i < o.pages; ++i) {
    w.object(page_num(i), page_dict(i, content_num(i)));
    page_streams(w, rng, i, o);
  }
}

bool write_classic(const large_options& o, const std::string& path) {
  writer w(path);
  classic_body(w, o);
  finish_classic(w);
  return w.close();
}

// Dictionaries go to object streams of 100 objects, numbered after the pages' objects.
bool write_objstm(const large_options& o, const std::string& path) {
  writer w(path);
  std::mt19937 rng(2500);
  w.put(header("1.5"));
  int next_container = page_num(o.pages);
  std::vector<std::pair<int, std::string>> batch = head_objects(o.pages);
  auto flush = [&] {
    object_stream(w, next_container++, batch);
    batch.clear();
  };
  for (int i = 0; i < o.pages; ++i) {
    batch.emplace_back(page_num(i), page_dict(i, content_num(i)));
    if (batch.size() == 100) flush();
    page_streams(w, rng, i, o);
  }
  if (!batch.empty()) flush();
  finish_xref_stream(w);
  return w.close();
}

void overwrite(std::FILE* f, std::uint64_t from, std::uint64_t to) {
  std::fseek(f, static_cast<long>(from), SEEK_SET);
  std::string zeros(to - from, '\0');
  std::fwrite(zeros.data(), 1, zeros.size(), f);
}

// The classic file with its table (up to the trailer) and its startxref line zeroed, as a
// failed write leaves them.
bool write_broken(const large_options& o, const std::string& path) {
  std::uint64_t xref_at = 0, trailer_at = 0, startxref_at = 0, eof_at = 0;
  {
    writer w(path);
    classic_body(w, o);
    xref_at = w.pos;
    classic_table(w, static_cast<int>(w.entries.size()));
    trailer_at = w.pos;
    w.put("trailer\n<< /Size " + to_string(w.entries.size()) + " /Root 1 0 R >>\n");
    startxref_at = w.pos;
    w.put("startxref\n" + to_string(xref_at) + "\n");
    eof_at = w.pos;
    w.put("%%EOF\n");
    if (!w.close()) return false;
  }
  std::FILE* f = std::fopen(path.c_str(), "r+b");
  if (!f) return false;
  overwrite(f, xref_at, trailer_at);
  overwrite(f, startxref_at, eof_at - 1);
  return std::fclose(f) == 0;
}

// Three updates; update u gives every tenth page (from page u on) a new content stream and a
// rotation, the last one adds an information dictionary.
bool write_incremental(const large_options& o, const std::string& path) {
  writer w(path);
  classic_body(w, o);
  std::uint64_t prev = w.pos;
  finish_classic(w);
  std::mt19937 rng(7);
  for (int u = 0; u < 3; ++u) {
    std::vector<int> changed;
    for (int i = u; i < o.pages; i += 10) {
      int content = static_cast<int>(w.entries.size());
      w.stream(content, "/Filter /FlateDecode", deflate(page_content(rng, i)));
      w.object(page_num(i), page_dict(i, content, " /Rotate " + to_string(90 * (u + 1))));
      changed.push_back(page_num(i));
      changed.push_back(content);
    }
    std::string info;
    if (u == 2) {
      int num = static_cast<int>(w.entries.size());
      w.object(num, "<< /Title (Benchmark) /Producer (pdfgen) >>");
      changed.push_back(num);
      info = " /Info " + to_string(num) + " 0 R";
    }
    std::uint64_t xref_at = w.pos;
    w.put("xref\n");
    for (int num : changed) w.put(to_string(num) + " 1\n" + xref_line(w.entries[num].offset));
    std::string size = to_string(w.entries.size());
    trailer(w, xref_at, "/Size " + size + " /Root 1 0 R /Prev " + to_string(prev) + info);
    prev = xref_at;
  }
  return w.close();
}

// ---- Adversarial inputs ------------------------------------------------------------------

// Catalog, page tree and one page: the part of each adversarial file that is sound.
void sound_start(writer& w, std::string_view version = "1.4",
                 const std::string& catalog_extra = "") {
  w.put(header(version));
  w.object(1, "<< /Type /Catalog /Pages 2 0 R" + catalog_extra + " >>");
  w.object(2, "<< /Type /Pages /Count 1 /Kids [3 0 R] /MediaBox [0 0 612 792] >>");
  w.object(3, "<< /Type /Page /Parent 2 0 R >>");
}

// Damaged files without a table: the trailer names the catalog, nothing locates objects.
bool finish_without_table(writer& w) {
  w.put("trailer\n<< /Size " + to_string(w.entries.size()) + " /Root 1 0 R >>\n%%EOF\n");
  return w.close();
}

bool objects_without_endobj(int n, const std::string& path) {
  writer w(path);
  sound_start(w);
  for (int num = 4; num < 4 + n; ++num) {
    w.begin(num);
    w.put("<< /Type /Annot /Subtype /Text /Contents (note " + to_string(num) + ") >>\n");
  }
  return finish_without_table(w);
}

// One object nesting n dictionaries, then n objects each leaving one dictionary open.
bool unclosed_dictionaries(int n, const std::string& path) {
  writer w(path);
  sound_start(w);
  w.begin(4);
  for (int i = 0; i < n; ++i) w.put("<< /A ");
  w.put("\nendobj\n");
  for (int num = 5; num < 5 + n; ++num)
    w.object(num, "<< /Type /Annot /A << /B " + to_string(num));
  return finish_without_table(w);
}

// A run of n "<" in an object and another inside a stream.
bool runs_of_less_than(int n, const std::string& path) {
  writer w(path);
  sound_start(w);
  std::string run(n, '<');
  w.object(4, run);
  w.stream(5, "", run);
  return finish_without_table(w);
}

// n updates, each rewriting the information dictionary and pointing back at the one before.
bool prev_chain(int n, const std::string& path) {
  writer w(path);
  sound_start(w);
  w.object(4, "<< /Producer (update 0) >>");
  std::uint64_t prev = w.pos;
  finish_classic(w, " /Info 4 0 R");
  for (int u = 1; u <= n; ++u) {
    w.object(4, "<< /Producer (update " + to_string(u) + ") >>");
    std::uint64_t xref_at = w.pos;
    w.put("xref\n4 1\n" + xref_line(w.entries[4].offset));
    trailer(w, xref_at, "/Size 5 /Root 1 0 R /Info 4 0 R /Prev " + to_string(prev));
    prev = xref_at;
  }
  return w.close();
}

// A page tree root with n kids and a wrong /Count.
bool many_kids(int n, const std::string& path) {
  writer w(path);
  w.put(header("1.4"));
  w.object(1, "<< /Type /Catalog /Pages 2 0 R >>");
  std::string kids = references(n, [](int i) { return 3 + i; });
  w.object(2, "<< /Type /Pages /Count 1 /MediaBox [0 0 612 792] /Kids [" + kids + "] >>");
  for (int i = 0; i < n; ++i) w.object(3 + i, "<< /Type /Page /Parent 2 0 R >>");
  finish_classic(w);
  return w.close();
}

// An array, reachable from the catalog, of n references to objects that do not exist.
bool dangling_references(int n, const std::string& path) {
  writer w(path);
  sound_start(w, "1.4", " /Extra 4 0 R");
  w.object(4, "[" + references(n, [](int i) { return 10 + i; }) + "]");
  finish_classic(w);
  return w.close();
}

// An object stream whose deflate data expands about 1000-fold: a font followed by n KB of
// spaces.
bool inflate_bomb(int n, const std::string& path) {
  writer w(path);
  sound_start(w, "1.5");
  std::string font = font_dict("Helvetica") + std::string(static_cast<std::size_t>(n) * 1000, ' ');
  object_stream(w, 4, {{5, font}}, Z_BEST_COMPRESSION);
  finish_xref_stream(w);
  return w.close();
}

// An object stream with /N n.
bool large_object_stream(int n, const std::string& path) {
  writer w(path);
  sound_start(w, "1.5");
  std::vector<std::pair<int, std::string>> objects;
  for (int i = 0; i < n; ++i) objects.emplace_back(5 + i, "<< /I " + to_string(i) + " >>");
  object_stream(w, 4, objects);
  finish_xref_stream(w);
  return w.close();
}

}  // namespace

const char* layout_name(layout kind) {
  switch (kind) {
    case layout::classic: return "classic";
    case layout::objstm: return "objstm";
    case layout::broken: return "broken";
    case layout::incremental: return "incremental";
  }
  return "";
}

const std::vector<layout>& layouts() {
  static const std::vector<layout> all = {layout::classic, layout::objstm, layout::broken,
                                          layout::incremental};
  return all;
}

bool write_large(layout kind, const large_options& options, const std::string& path) {
  switch (kind) {
    case layout::classic: return write_classic(options, path);
    case layout::objstm: return write_objstm(options, path);
    case layout::broken: return write_broken(options, path);
    case layout::incremental: return write_incremental(options, path);
  }
  return false;
}

const std::vector<adversary>& adversaries() {
  static const std::vector<adversary> all = {
      {"obj-without-endobj", "objects", 10000, objects_without_endobj},
      {"unclosed-dict", "unclosed <<", 10000, unclosed_dictionaries},
      {"less-than-runs", "run length", 1000000, runs_of_less_than},
      {"prev-chain", "updates", 10000, prev_chain},
      {"kids", "kids", 100000, many_kids},
      {"dangling-refs", "references", 100000, dangling_references},
      {"inflate-bomb", "KB decoded", 20000, inflate_bomb},
      {"objstm-n", "/N", 100000, large_object_stream},
  };
  return all;
}

}  // namespace pdfgen
