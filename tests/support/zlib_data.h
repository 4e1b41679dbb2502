// zlib data for fixtures: zlib itself is the encoder, so the library's decoder meets streams it
// did not write.
#pragma once

#include <zlib.h>

#include <string>

namespace pdftest {

// The zlib stream of text, ended with `flush`: Z_FINISH, or Z_SYNC_FLUSH for a stream whose
// last block is not marked last.
inline std::string deflated(const std::string& text, int flush = Z_FINISH) {
  z_stream z{};
  deflateInit(&z, 6);
  std::string out(deflateBound(&z, text.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, flush);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Content for a page: many lines of text, so that its zlib data spans several hundred bytes.
inline std::string page_content(int lines = 80) {
  std::string s;
  for (int i = 0; i < lines; ++i)
    s += "BT /F1 10 Tf 72 " + std::to_string(760 - 9 * i) + " Td (Line " + std::to_string(i) + ") Tj ET\n";
  return s;
}

}  // namespace pdftest
