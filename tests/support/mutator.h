// Seeded damage for robustness tests: random buffers assembled from pieces of PDF syntax, and
// mutations of real-looking files (flipped, high and inverted bytes, deletions, insertions,
// copied slices, replaced numbers, truncation).
#pragma once

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace pdftest {

// Pieces of PDF syntax that random buffers are assembled from and mutations insert.
inline const std::vector<std::string>& tokens() {
  static const std::vector<std::string> all = {
      " ", "\n", "\r", "\r\n", "\t", std::string(1, '\0'), "\f", "\v", "%", "%c\n", "obj", " obj",
      "endobj", "\xff" "ndobj", "stream\n", "stream\r\n", "endstream", "end\x80stream", "<<", ">>",
      "<", ">", "(", ")", "\\", "[", "]", "/Length", "/Length ", "/Root ", "/Info ", "/Prev ",
      "/Type", "/XRef", "R", " 0 R", "xref\n", "0 3\n", "1 2\n", "0000000009 00000 n \n",
      "0000000000 65535 f \n", "trailer", "startxref\n", "%PDF-1.", "0", "1", "7", "12", "-",
      "-1", "4294967297", "2147483647", "2147483648", "99999999", "\x80", "\xff", "a", "Z", "#",
  };
  return all;
}

class Mutator {
 public:
  explicit Mutator(unsigned seed) : rng_(seed) {}

  int below(int n) { return n <= 0 ? 0 : std::uniform_int_distribution<int>(0, n - 1)(rng_); }

  std::string random_buffer() {
    std::string text;
    const int pieces = below(120);
    for (int i = 0; i < pieces; ++i) {
      if (below(8) == 0)
        text += std::to_string(below(static_cast<int>(text.size()) + 40));  // an offset that may hit
      else
        text += tokens()[below(static_cast<int>(tokens().size()))];
    }
    return text;
  }

  std::string mutate(std::string text) {
    const int edits = 1 + below(4);
    for (int i = 0; i < edits && !text.empty(); ++i) {
      const int size = static_cast<int>(text.size());
      const int pos = below(size);
      const int run = 1 + below(std::min(16, size - pos));
      switch (below(8)) {
        case 0:  // a flipped bit
          text[pos] = static_cast<char>(text[pos] ^ (1 << below(8)));
          break;
        case 1:  // a byte of 0x80 or more
          text[pos] = static_cast<char>(0x80 + below(128));
          break;
        case 2:  // a run of inverted bytes
          for (int k = pos; k < pos + run; ++k) text[k] = static_cast<char>(~text[k]);
          break;
        case 3:
          text.erase(static_cast<std::size_t>(pos), static_cast<std::size_t>(run));
          break;
        case 4:
          text.insert(static_cast<std::size_t>(pos), tokens()[below(static_cast<int>(tokens().size()))]);
          break;
        case 5:  // a slice copied elsewhere, as an update would
          text.insert(static_cast<std::size_t>(below(size)),
                      text.substr(static_cast<std::size_t>(pos), static_cast<std::size_t>(run * 4)));
          break;
        case 6:  // a number replaced by another, possibly one that overflows 32 bits
          text.replace(static_cast<std::size_t>(pos), static_cast<std::size_t>(std::min(run, 3)),
                       std::to_string(std::uniform_int_distribution<long long>(0, 1LL << 34)(rng_) >> below(34)));
          break;
        default:
          text.resize(static_cast<std::size_t>(pos));
          break;
      }
    }
    return text;
  }

 private:
  std::mt19937 rng_;
};

}  // namespace pdftest
