// Test fixtures: the PDF builder's layout, its table and trailer, and the damage helpers.
#include "support/pdf_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace pdftest {

namespace {

int lookup(const std::map<int, int>& where, int num, const char* what) {
  const auto it = where.find(num);
  if (it != where.end()) return it->second;
  ADD_FAILURE() << "object " << num << " has no " << what;
  return -1;
}

}  // namespace

int Pdf::offset(int num) const { return lookup(offsets, num, "header"); }

int Pdf::keyword(int num) const { return lookup(keywords, num, "obj keyword"); }

int Pdf::find(std::string_view text, int from) const {
  const std::size_t at = bytes.find(text, static_cast<std::size_t>(from));
  if (at != std::string::npos) return static_cast<int>(at);
  ADD_FAILURE() << "\"" << text << "\" not found from " << from;
  return -1;
}

Pdf& Pdf::overwrite(int pos, std::string_view with) {
  bytes.replace(static_cast<std::size_t>(pos), with.size(), with);
  return *this;
}

Pdf& Pdf::invert(int pos, int count) {
  for (int i = pos; i < pos + count; ++i) bytes[i] = static_cast<char>(~bytes[i]);
  return *this;
}

Pdf& Pdf::erase(int pos, int count) {
  bytes.erase(static_cast<std::size_t>(pos), static_cast<std::size_t>(count));
  return *this;
}

Pdf& Pdf::insert(int pos, std::string_view text) {
  bytes.insert(static_cast<std::size_t>(pos), text);
  return *this;
}

Pdf& Pdf::truncate(int size) {
  bytes.resize(static_cast<std::size_t>(size));
  return *this;
}

PdfBuilder::PdfBuilder(std::string_view header) { pdf_.bytes = header; }

PdfBuilder& PdfBuilder::object(int num, std::string_view value, int gen) {
  const int start = size();
  pdf_.bytes += std::to_string(num) + " " + std::to_string(gen) + " ";
  pdf_.offsets[num] = start;
  pdf_.keywords[num] = size();
  pdf_.bytes += "obj\n";
  pdf_.bytes += value;
  pdf_.bytes += "\nendobj\n";
  listed_[num] = {start, gen};
  return *this;
}

PdfBuilder& PdfBuilder::stream(int num, std::string_view entries, std::string_view data,
                               const StreamOptions& options) {
  std::string value = "<</Length " + options.length.value_or(std::to_string(data.size()));
  value += entries;
  value += ">>\nstream" + options.after_keyword;
  value += data;
  value += options.before_end + "endstream";
  return object(num, value);
}

PdfBuilder& PdfBuilder::raw(std::string_view bytes) {
  pdf_.bytes += bytes;
  return *this;
}

PdfBuilder& PdfBuilder::list(int num, int offset, int gen) {
  listed_[num] = {offset, gen};
  return *this;
}

PdfBuilder& PdfBuilder::unlist(int num) {
  listed_.erase(num);
  return *this;
}

PdfBuilder& PdfBuilder::entry_eol(std::string_view eol) {
  entry_eol_ = eol;
  return *this;
}

PdfBuilder& PdfBuilder::root(int num) {
  root_ = num;
  return *this;
}

PdfBuilder& PdfBuilder::info(int num) {
  info_ = num;
  return *this;
}

PdfBuilder& PdfBuilder::trailer_entries(std::string_view entries) {
  trailer_entries_ = entries;
  return *this;
}

int PdfBuilder::offset(int num) const { return pdf_.offset(num); }

Pdf PdfBuilder::build_body() const {
  return pdf_;
}

Pdf PdfBuilder::build() const {
  Pdf pdf = build_body();
  const int size = listed_.empty() ? 1 : std::max(1, listed_.rbegin()->first + 1);
  pdf.xref_off = pdf.size();
  std::string& out = pdf.bytes;
  out += "xref\n0 " + std::to_string(size) + "\n";
  char line[32];
  for (int num = 0; num < size; ++num) {
    const auto it = listed_.find(num);
    if (it != listed_.end())
      std::snprintf(line, sizeof line, "%010d %05d n", it->second.offset, it->second.gen);
    else
      std::snprintf(line, sizeof line, "0000000000 %05d f", num == 0 ? 65535 : 0);
    out += line + entry_eol_;
  }
  pdf.trailer_off = pdf.size();
  out += "trailer\n<</Size " + std::to_string(size);
  if (root_ >= 0) out += "/Root " + std::to_string(root_) + " 0 R";
  if (info_ >= 0) out += "/Info " + std::to_string(info_) + " 0 R";
  out += trailer_entries_ + ">>\nstartxref\n" + std::to_string(pdf.xref_off) + "\n%%EOF\n";
  return pdf;
}

Bytes::Bytes(std::string_view text)
    : data_(new unsigned char[text.size()]), size_(static_cast<int>(text.size())) {
  std::memcpy(data_.get(), text.data(), text.size());
}

}  // namespace pdftest
