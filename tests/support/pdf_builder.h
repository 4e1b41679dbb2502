// Test fixtures: a small PDF builder. Objects are laid out one after another as they are
// added (so their offsets are known at once), then a classic xref table with their real
// offsets, a trailer and startxref close the file. The finished Pdf remembers where every
// part lies, so a test can damage any byte afterwards.
//
//   pdftest::Pdf pdf = pdftest::PdfBuilder()
//                          .object(1, "<</Type/Catalog/Pages 2 0 R>>")
//                          .object(2, "<</Type/Pages/Kids[]/Count 0>>")
//                          .stream(3, "", "BT ET")
//                          .root(1)
//                          .build();
//   pdf.invert(pdf.offset(2));  // the header of object 2 loses its first digit
//   pdftest::Bytes bytes(pdf);  // an exactly sized copy to hand to the library
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace pdftest {

// A finished file and where its parts were laid out. Edits that move bytes (erase, insert)
// do not update the recorded offsets: they describe the file as built.
struct Pdf {
  std::string bytes;
  std::map<int, int> offsets;  // object number -> its header's first digit (latest definition)
  std::map<int, int> keywords;  // object number -> its "obj" keyword (latest definition)
  int xref_off = -1;            // the "xref" keyword, -1 without a table
  int trailer_off = -1;         // the "trailer" keyword, -1 without one

  int size() const { return static_cast<int>(bytes.size()); }
  int offset(int num) const;  // fails the test when the object was not laid out
  int keyword(int num) const;
  // Position of the first text at or after from; fails the test when there is none.
  int find(std::string_view text, int from = 0) const;

  // Damage, chainable.
  Pdf& overwrite(int pos, std::string_view with);  // the bytes at pos are replaced
  Pdf& invert(int pos, int count = 1);             // every bit of count bytes flipped
  Pdf& erase(int pos, int count);
  Pdf& insert(int pos, std::string_view text);
  Pdf& truncate(int size);  // keeps the first size bytes
};

struct StreamOptions {
  std::optional<std::string> length;  // the /Length value as written; default the data's size
  std::string after_keyword = "\n";   // end of line after "stream"
  std::string before_end = "\n";      // end of line before "endstream"
};

class PdfBuilder {
 public:
  explicit PdfBuilder(std::string_view header = "%PDF-1.4\n");

  // "num gen obj", LF, the value, LF, "endobj", LF. The object is listed in the table.
  PdfBuilder& object(int num, std::string_view value, int gen = 0);
  // A stream object: "<</Length n" and the extra entries ">>", "stream", its data and
  // "endstream".
  PdfBuilder& stream(int num, std::string_view entries, std::string_view data,
                     const StreamOptions& options = {});
  // Bytes as they are: damaged objects, garbage, comments. Nothing is listed.
  PdfBuilder& raw(std::string_view bytes);

  // The table lists object num at this offset (which need not hold its header) ...
  PdfBuilder& list(int num, int offset, int gen = 0);
  // ... or not at all (it is then written as a free entry).
  PdfBuilder& unlist(int num);
  // End of each entry line after the type byte (default " \n", 20-byte lines).
  PdfBuilder& entry_eol(std::string_view eol);

  PdfBuilder& root(int num);
  PdfBuilder& info(int num);
  PdfBuilder& trailer_entries(std::string_view entries);  // more entries, written last

  // While building: what has been laid out so far.
  const std::string& text() const { return pdf_.bytes; }
  int size() const { return pdf_.size(); }
  int offset(int num) const;

  // The objects, then "xref", one subsection from object 0 up to the highest number listed,
  // "trailer" with /Size, /Root and /Info as set, "startxref" and "%%EOF".
  Pdf build() const;
  // The objects alone: no table, no trailer, no startxref.
  Pdf build_body() const;

 private:
  struct Entry {
    int offset;
    int gen;
  };
  Pdf pdf_;  // the objects laid out so far, with their offsets
  std::map<int, Entry> listed_;
  std::string entry_eol_ = " \n";
  std::string trailer_entries_;
  int root_ = -1;
  int info_ = -1;
};

// An exactly sized heap copy of a buffer, so that AddressSanitizer catches any read past its
// end (also for an empty buffer).
class Bytes {
 public:
  explicit Bytes(std::string_view text);
  explicit Bytes(const Pdf& pdf) : Bytes(pdf.bytes) {}
  const unsigned char* data() const { return data_.get(); }
  int size() const { return size_; }

 private:
  std::unique_ptr<unsigned char[]> data_;
  int size_;
};

}  // namespace pdftest
