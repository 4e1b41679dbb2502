// Dictionary name repair: keeps the first complete dictionary of a sanitised text and
// replaces each name that is one edit away from a well-known PDF name by that name
// (/Kid5 becomes /Kids, /ColorSpac becomes /ColorSpace).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string_view>

#include "pdfrepair/heap.h"
#include "pdfrepair/dict.h"

namespace pdfrepair {

namespace {

// The known names. On equal scores the earlier name wins, so the order is part of the
// behaviour.
constexpr std::string_view keys[] = {
    "Catalog", "Pages", "Page", "Parent", "Kids",
    "Count", "MediaBox", "CropBox", "TrimBox", "BleedBox",
    "ArtBox", "Contents", "Resources", "ProcSet", "XObject",
    "Image", "Font", "FontDescriptor", "Type", "Subtype",
    "Length", "Filter", "FlateDecode", "ASCII85Decode", "ASCIIHexDecode",
    "LZWDecode", "DCTDecode", "JBIG2Decode", "JPXDecode", "Width",
    "Height", "ColorSpace", "ICCBased", "DeviceRGB", "DeviceGray",
    "DeviceCMYK", "CalRGB", "CalGray", "Pattern", "Separation",
    "DeviceN", "Indexed", "BitsPerComponent", "First", "Size",
    "Root", "Info", "Name", "BBox", "Matrix",
    "Form", "Shading", "ExtGState", "Group", "SMask",
    "Rotate", "ViewerPreferences", "PageLabels", "OpenAction", "MarkInfo",
    "StructTreeRoot", "Lang", "URI", "Border", "StructParents",
};
static_assert(std::size(keys) == 65);

// Short, common names that a near miss should reach only when nothing else is as close.
constexpr std::string_view penalised[] = {"Page", "Pages", "Image", "Form"};

// Names are compared only up to this length; no key is longer.
inline constexpr std::size_t max_compared = 128;
static_assert(std::all_of(std::begin(keys), std::end(keys),
                          [](std::string_view key) { return key.size() <= max_compared; }));

// A name is "/" followed by the longest run of these bytes.
bool is_name_byte(int c) { return is_alnum(c) || c == '+' || c == '-' || c == '_'; }

bool has_byte_in(std::string_view s, bool (*in_class)(int)) {
  return std::any_of(s.begin(), s.end(),
                     [in_class](char c) { return in_class(static_cast<byte>(c)); });
}

bool is_all_digits(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return is_digit(static_cast<byte>(c)); });
}

// Just past the hex string that opens at i (its next ">"), or npos when it never closes.
std::size_t hex_string_end(std::string_view t, std::size_t i) {
  const std::size_t close = t.find('>', i + 1);
  return close == std::string_view::npos ? close : close + 1;
}

}  // namespace

// Strings are passed over whole: a hex string so that its ">" is never taken for half of a
// ">>", a literal string so that nothing inside it counts as structure.
std::size_t first_dict_length(std::string_view t) {
  const auto* b = reinterpret_cast<const byte*>(t.data());
  const int len = static_cast<int>(t.size());
  std::size_t depth = 0;
  for (std::size_t i = 0; i + 1 < t.size();) {
    if (t[i] == '(') {
      const int close = literal_string_end(b, len, static_cast<int>(i));
      if (close < 0) break;
      i = static_cast<std::size_t>(close);
    } else if (t[i] == '<' && t[i + 1] == '<') {
      ++depth;
      i += 2;
    } else if (t[i] == '>' && t[i + 1] == '>' && depth > 0) {
      if (--depth == 0) return i + 2;
      i += 2;
    } else if (t[i] == '<') {
      i = hex_string_end(t, i);
      if (i == std::string_view::npos) break;
    } else {
      ++i;
    }
  }
  return t.size();
}

namespace {

// Whether the classic edit distance (insertions, deletions, substitutions) of a and b is
// exactly 1, row by row: row r holds the distances of the first r bytes of a to every prefix
// of b (at most max_compared bytes). Distances never shrink from one row to the next, so a
// row without a distance of 0 or 1 settles the answer.
bool one_edit_apart(std::string_view a, std::string_view b) {
  const std::size_t k = b.size();
  int rows[2][max_compared + 1];
  for (std::size_t c = 0; c <= k; ++c) rows[0][c] = static_cast<int>(c);
  for (std::size_t r = 1; r <= a.size(); ++r) {
    const int* above = rows[(r - 1) % 2];
    int* row = rows[r % 2];
    row[0] = static_cast<int>(r);
    int least = row[0];
    for (std::size_t c = 1; c <= k; ++c) {
      row[c] = std::min({above[c - 1] + (a[r - 1] != b[c - 1] ? 1 : 0), above[c] + 1, row[c - 1] + 1});
      least = std::min(least, row[c]);
    }
    if (least > 1) return false;
  }
  return rows[a.size() % 2][k] == 1;
}

// A known name followed by a number, such as the resource name Image1: left alone.
bool is_key_and_number(std::string_view name, std::string_view key) {
  if (key.size() >= name.size() || !name.starts_with(key)) return false;
  return is_all_digits(name.substr(key.size()));
}

int score(std::string_view key) {
  return std::find(std::begin(penalised), std::end(penalised), key) != std::end(penalised) ? 2 : 1;
}

// The key that replaces a name run, or an empty view when none does. Runs without a letter
// (numbers such as /1.5) are never replaced.
std::string_view searched_replacement(std::string_view name) {
  if (!has_byte_in(name, is_letter) || name.size() > max_compared) return {};
  const bool digit = has_byte_in(name, is_digit);
  const std::size_t n = name.size();
  std::string_view chosen;
  int best = 99;
  for (const std::string_view key : keys) {
    const std::size_t k = key.size();
    if (std::max(n, k) - std::min(n, k) > 1) continue;
    // A key of 9 bytes or fewer is too easily one edit away from an unrelated name: it is
    // taken only for a name that holds a digit, the usual trace of a damaged letter.
    if (k <= 9 && !digit) continue;
    if (is_key_and_number(name, key)) continue;
    if (!one_edit_apart(name, key)) continue;
    if (score(key) < best) {
      chosen = key;
      best = score(key);
    }
  }
  return chosen;
}

// searched_replacement, with the answers for the known names themselves, by far the most
// frequent names, worked out once. A key of the PDF standard is a name of its own, never a
// misspelling: /StructParent stays, though it is one edit away from /StructParents.
std::string_view replacement(std::string_view name) {
  if (is_standard_key(name)) return {};
  static const auto known = [] {
    std::array<std::string_view, std::size(keys)> answers;
    for (std::size_t k = 0; k < std::size(keys); ++k) answers[k] = searched_replacement(keys[k]);
    return answers;
  }();
  for (std::size_t k = 0; k < std::size(keys); ++k)
    if (keys[k] == name) return known[k];
  return searched_replacement(name);
}

}  // namespace

char* clean_dict_text(const char* text) { return clean_dict_view(text); }

char* clean_dict_view(std::string_view whole) {
  const std::string_view kept = whole.substr(0, first_dict_length(whole));

  // A replacement is at most one byte longer than the name it replaces.
  const auto names = static_cast<std::size_t>(std::count(kept.begin(), kept.end(), '/'));
  char* out = static_cast<char*>(mem_malloc(kept.size() + names + 1));
  if (!out) return nullptr;

  std::size_t o = 0;
  for (std::size_t i = 0; i < kept.size();) {
    if (kept[i] == '(') {
      // A literal string is text, not names: /Title (/Kid5) stays as it is.
      const int close = literal_string_end(reinterpret_cast<const byte*>(kept.data()),
                                           static_cast<int>(kept.size()), static_cast<int>(i));
      const std::size_t end = close < 0 ? kept.size() : static_cast<std::size_t>(close);
      std::memcpy(out + o, kept.data() + i, end - i);
      o += end - i;
      i = end;
      continue;
    }
    if (kept[i] != '/') {
      out[o++] = kept[i++];
      continue;
    }
    std::size_t end = i + 1;
    while (end < kept.size() && is_name_byte(static_cast<byte>(kept[end]))) ++end;
    const std::string_view run = kept.substr(i + 1, end - i - 1);
    const std::string_view key = replacement(run);
    const std::string_view name = key.empty() ? run : key;
    out[o++] = '/';
    std::memcpy(out + o, name.data(), name.size());
    o += name.size();
    i = end;
  }
  out[o] = '\0';
  return out;
}

}  // namespace pdfrepair
