// MediaBox repair: a dictionary whose first /MediaBox entry is unusable gets the default US
// Letter box in its place, and a page without any entry gets the default box inserted.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "pdfrepair/heap.h"
#include "pdfrepair/dict.h"
#include "pdfrepair/pagetree.h"
#include "pdfrepair/prune.h"

namespace pdfrepair {

namespace {

constexpr std::string_view box_name = "MediaBox";
constexpr int box_name_len = 1 + static_cast<int>(box_name.size());  // with its "/"
constexpr std::string_view replacing_entry = "/MediaBox [0 0 612 792]";
constexpr std::string_view inserted_entry = " /MediaBox [0 0 612 792]";
// Box numbers are judged by their whole part: 841.8898 counts as 841.
constexpr std::uint32_t max_box_digits = 1000000;

// What may follow the name of a counted entry; compact writers put the array's "[" right
// after it, or the next key's "/" when the value is missing.
bool ends_entry_name(int c) {
  return is_ascii_ws(c) || c == '[' || c == '>' || c == ']' || c == '}' || c == '/';
}

// Position of the "/" of the first counted /MediaBox entry of the first dictionary itself (not
// of one nested in it, nor inside a string), or -1; closer receives the position of the ">>"
// that closes that dictionary, or -1 when it does not close.
int find_entry(const byte* t, int len, int& closer) {
  top_level_names names{t, len};
  for (int p = names.next(box_name); p >= 0; p = names.next(box_name)) {
    const int after = p + box_name_len;
    if (after == len || ends_entry_name(t[after])) return p;
  }
  closer = names.closer;
  return -1;
}

int find_entry(const byte* t, int len) {
  int closer = -1;
  return find_entry(t, len, closer);
}

// A box number may start with a digit, a sign or a point.
bool starts_number(int c) { return is_digit(c) || c == '-' || c == '+' || c == '.'; }

// The run of digits, signs and points at i: true when it holds a digit, the digits before its
// first point make at most 1,000,000 (none: 0), and something follows the run. Moves i past
// the run.
bool box_number_fits(const byte* t, int len, int& i) {
  std::uint32_t digits = 0;
  bool any_digit = false;
  bool fraction = false;
  for (; i < len && (is_digit(t[i]) || t[i] == '+' || t[i] == '-' || t[i] == '.'); ++i) {
    fraction = fraction || t[i] == '.';
    if (!is_digit(t[i])) continue;
    any_digit = true;
    if (!fraction && digits <= max_box_digits) digits = digits * 10 + static_cast<std::uint32_t>(t[i] - '0');
  }
  return any_digit && digits <= max_box_digits && i < len;
}

// The array whose first element would stand at i: usable when it holds exactly four numbers,
// each followed by white space or, the fourth, by the closing "]".
bool box_array_usable(const byte* t, int len, int i) {
  for (int numbers = 0;;) {
    if (i >= len) return false;
    if (t[i] == ']') return numbers == 4;
    i = skip_ascii_ws(t, len, i);
    if (i == len) return false;
    // A letter is a bad element; any other byte may only be the closing "]".
    if (!starts_number(t[i])) return t[i] == ']' && numbers == 4;
    if (!box_number_fits(t, len, i)) return false;
    ++numbers;
    // Only white space may separate the numbers; a comma after one is a fault.
    if (!is_ascii_ws(t[i])) return numbers == 4 && t[i] == ']';
  }
}

// Whether the value after the entry's name can be kept.
bool value_usable(const byte* t, int len, int v) {
  if (v == len) return false;
  if (starts_number(t[v])) return true;  // a number or a reference is trusted
  return t[v] == '[' && box_array_usable(t, len, v + 1);
}

// The end of the run of bytes at i that are neither delimiters nor, unless taken in, white
// space.
int run_end(const byte* t, int len, int i, bool take_white_space) {
  while (i < len && !is_delimiter(t[i]) && (take_white_space || !is_ascii_ws(t[i]))) ++i;
  return i;
}

// Just past the string at p ("(" or a single "<"): a literal string read as every step reads
// one, a hex string up to its first ">". -1 when it does not end inside the text.
int string_end(const byte* t, int len, int p) {
  if (t[p] == '(') return literal_string_end(t, len, p);
  const void* close = std::memchr(t + p + 1, '>', static_cast<std::size_t>(len - p - 1));
  return close ? static_cast<int>(static_cast<const byte*>(close) - t) + 1 : -1;
}

// Just past the array or dictionary that opens at p, with the strings, arrays and dictionaries
// nested in it; -1 when it is still open where the text ends, or, for an array, where the
// dictionary around it closes. A "]" that closes nothing inside a dictionary is passed over.
int container_end(const byte* t, int len, int p) {
  int brackets = 0;
  int dicts = 0;
  for (int i = p; i < len;) {
    const int c = t[i];
    const bool doubled = i + 1 < len && t[i + 1] == c;
    if (c == '(' || (c == '<' && !doubled)) {
      i = string_end(t, len, i);
      if (i < 0) return -1;
    } else if (c == '<') {
      ++dicts;
      i += 2;
    } else if (c == '>' && doubled) {
      if (dicts == 0) return -1;
      --dicts;
      i += 2;
    } else {
      if (c == '[') ++brackets;
      if (c == ']' && brackets > 0) --brackets;
      ++i;
    }
    if (brackets == 0 && dicts == 0) return i;
  }
  return -1;
}

// Where the copy resumes after the default entry replaced the name at name_pos: past the
// rejected value, so that no value is left standing without a key. A missing value (the text
// or the dictionary ends, or a closer follows) leaves everything after the name, and so does a
// name, which may be the next key ("/MediaBox /Contents 4 0 R" keeps /Contents). A string,
// array or dictionary that never closes, and a value opened by "{" or "%", loses its opener
// and the plain bytes after it, up to the next delimiter, so that the entries after it
// survive.
int resume_after_value(const byte* t, int len, int name_pos) {
  const int name_end = name_pos + box_name_len;
  const int v = skip_ascii_ws(t, len, name_end);
  if (v == len) return name_end;
  const int c = t[v];
  if (c == ')' || c == ']' || c == '}' || c == '>' || c == '/') return name_end;
  if (!is_delimiter(c)) return run_end(t, len, v, false);  // a keyword or a stray token
  const bool dict = c == '<' && v + 1 < len && t[v + 1] == '<';
  int closed = -1;
  if (c == '(' || (c == '<' && !dict)) closed = string_end(t, len, v);
  if (c == '[' || dict) closed = container_end(t, len, v);
  return closed >= 0 ? closed : run_end(t, len, v + (dict ? 2 : 1), true);
}

// The text with `entry` in place of the bytes from cut to resume.
char* splice(const char* text, int length, int cut, int resume, std::string_view entry) {
  if (cut < 0 || cut > resume || resume > length) return nullptr;
  const std::size_t tail = static_cast<std::size_t>(length - resume);
  char* out =
      static_cast<char*>(mem_malloc(static_cast<std::size_t>(cut) + entry.size() + tail + 1));
  if (!out) return nullptr;
  std::memcpy(out, text, static_cast<std::size_t>(cut));
  std::memcpy(out + cut, entry.data(), entry.size());
  std::memcpy(out + cut + entry.size(), text + resume, tail);
  out[static_cast<std::size_t>(cut) + entry.size() + tail] = '\0';
  return out;
}

constexpr int max_ancestors = 32;

// The object number the first /Parent of a cleaned dictionary itself names, or 0.
int parent_of(const byte* t, int len) {
  top_level_names names{t, len};
  const int p = names.next("Parent");
  if (p < 0) return 0;
  int v = skip_ws(t, p + 7, len);
  return v < len && is_digit(t[v]) ? read_reference(t, len, v) : 0;
}

// The first kept record numbered num that has a dictionary, or null.
const obj_entry* node_record(const box_ancestors& ancestors, int num) {
  if (num <= 0) return nullptr;
  const objvec& kept = ancestors.kept;
  const record_index& index = ancestors.index;
  if (!index.slots) {
    for (int i = 0; i < kept.count; ++i)
      if (kept.items[i].num == num && kept.items[i].dict_text) return &kept.items[i];
    return nullptr;
  }
  const record_index::slot* end = index.slots + index.count;
  for (const record_index::slot* s = first_slot(index, num); s != end && s->num == num; ++s)
    if (kept.items[s->pos].dict_text) return &kept.items[s->pos];
  return nullptr;
}

// What a page-tree node tells of boxes, worked out once per record: whether it has a counted
// entry, and its /Parent.
box_ancestors::node node_of(box_ancestors& ancestors, const obj_entry& record) {
  box_ancestors::node* known = ancestors.nodes ? &ancestors.nodes[&record - ancestors.kept.items] : nullptr;
  if (known && known->state != box_ancestors::node::unknown) return *known;
  box_ancestors::node info;
  const heap_ptr<char[]> cleaned(clean_dict_text(record.dict_text));
  if (!cleaned) return info;
  const byte* t = reinterpret_cast<const byte*>(cleaned.get());
  const int len = static_cast<int>(std::strlen(cleaned.get()));
  info.state = find_entry(t, len) >= 0 ? box_ancestors::node::has_box : box_ancestors::node::no_box;
  info.parent = parent_of(t, len);
  if (known) *known = info;
  return info;
}

}  // namespace

char* fix_media(const char* text, int length, int name_pos, int resume_pos) {
  return splice(text, length, name_pos, resume_pos, replacing_entry);
}

box_ancestors::box_ancestors(const objvec& k, const record_index& i)
    : kept(k), index(i), nodes(heap_array<node>(static_cast<std::size_t>(k.count))) {
  if (nodes) std::fill_n(nodes.get(), k.count, node{});
}

bool inherits_media_box(box_ancestors& ancestors, const char* page, int length) {
  int parent = parent_of(reinterpret_cast<const byte*>(page), length);
  int visited[max_ancestors];
  for (int n = 0; n < max_ancestors; ++n) {
    const obj_entry* record = node_record(ancestors, parent);
    if (!record || std::find(visited, visited + n, parent) != visited + n) return false;
    visited[n] = parent;
    const box_ancestors::node node = node_of(ancestors, *record);
    if (node.state == box_ancestors::node::has_box) return true;
    if (node.state != box_ancestors::node::no_box) return false;  // no memory to clean it
    parent = node.parent;
  }
  return false;
}

char* ensure_media_box(const char* text, int length, box_ancestors* ancestors) {
  if (!text || length < 0) return nullptr;
  const byte* t = reinterpret_cast<const byte*>(text);
  int closer = -1;
  const int entry = find_entry(t, length, closer);
  if (entry >= 0) {
    if (value_usable(t, length, skip_ascii_ws(t, length, entry + box_name_len))) return nullptr;
    return fix_media(text, length, entry, resume_after_value(t, length, entry));
  }
  // No counted entry: only a page dictionary that inherits no box gets one inserted.
  if (!has_type_name(text, length, "Page")) return nullptr;
  if (ancestors && inherits_media_box(*ancestors, text, length)) return nullptr;
  // The entry goes where find_entry will find it: before the first dictionary's closer.
  if (closer < 0) return nullptr;
  return splice(text, length, closer, closer, inserted_entry);
}

}  // namespace pdfrepair
