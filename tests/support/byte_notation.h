// Test inputs written as damaged bytes are usually described: plain characters, with {NN}
// standing for the one byte of hexadecimal value NN ("Pa{98}e" is P, a, 0x98, e), and the
// reverse for readable failure messages. Also an exactly-sized heap copy of such bytes, so
// that AddressSanitizer reports any read past them.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace pdfrepair_test {

namespace detail {

inline int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace detail

// The bytes a notation stands for. A "{" that does not open {NN} is an ordinary character.
inline std::string bytes(std::string_view notation) {
  std::string out;
  for (std::size_t i = 0; i < notation.size(); ++i) {
    if (notation[i] == '{' && i + 3 < notation.size() && notation[i + 3] == '}') {
      const int hi = detail::hex_value(notation[i + 1]);
      const int lo = detail::hex_value(notation[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 3;
        continue;
      }
    }
    out.push_back(notation[i]);
  }
  return out;
}

// The notation of some bytes: printable ASCII as itself, everything else as {NN}, and so
// are "{" (which could open a notation) and the backslash (which test listings would take
// for an escape).
inline std::string notation(std::string_view bytes) {
  static constexpr char digits[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c < 0x7F && c != '{' && c != '\\') {
      out.push_back(ch);
    } else {
      out += {'{', digits[c >> 4], digits[c & 15], '}'};
    }
  }
  return out;
}

// A heap block holding exactly the given bytes (plus a NUL when asked), and nothing after
// them that a read could reach unnoticed.
inline std::unique_ptr<unsigned char[]> exact_copy(std::string_view bytes, bool nul = false) {
  auto copy = std::make_unique<unsigned char[]>(bytes.size() + (nul ? 1 : 0));
  if (!bytes.empty()) std::memcpy(copy.get(), bytes.data(), bytes.size());
  return copy;
}

}  // namespace pdfrepair_test
