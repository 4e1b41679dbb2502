// Dictionary sanitiser: one forward pass that rewrites the raw bytes of an object's value into
// dictionary syntax every later step can trust. Damage is taken to be bit inversion: a byte
// that cannot stand outside a string is usually the complement (255 - c) of the right one,
// and is restored where its neighbours make the restored byte plausible.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "pdfrepair/dict.h"
#include "pdfrepair/heap.h"

namespace pdfrepair {

namespace {

// Outside strings: a byte that no PDF syntax puts there.
bool is_damaged(int c) { return c == '\\' || is_control(c) || c >= 0x80; }

// A byte that does not count as a neighbour when looking back from a damaged byte.
bool is_filler(int c) { return c == 0x00 || is_ascii_ws(c); }

// The nearest preceding byte that is neither NUL nor white space, by what it tells about
// the damaged byte after it.
enum class prev_class { none, slash, opener, other };

prev_class classify_prev(int prev) {
  if (prev < 0) return prev_class::none;
  if (prev == '/') return prev_class::slash;
  if (prev == '(' || prev == ')' || prev == '<' || prev == '[' || prev >= 0x80)
    return prev_class::opener;
  return prev_class::other;
}

inline constexpr int nothing = -1;  // a damaged byte that is dropped

struct sanitize_state {
  const byte* in;
  int len;
  char* out;
  int out_len = 0;
  int depth = 0;  // "<<" emitted and not yet closed
  bool in_hex = false;
  int prev = -1;  // the latest input byte that is neither NUL nor white space; -1 for none
  bool runs = true;  // false: every byte takes the full step (what the runs are tested against)
};

void emit(sanitize_state& s, int c) { s.out[s.out_len++] = static_cast<char>(c); }

void emit2(sanitize_state& s, char a, char b) {
  emit(s, a);
  emit(s, b);
}

// Whether the byte at i of the string opened at open is escaped: an odd run of backslashes
// stands right before it.
bool escaping_backslash(const byte* in, int open, int i) {
  int run = 0;
  while (i - run - 1 > open && in[i - run - 1] == '\\') ++run;
  return run % 2 == 1;
}

// A literal string, read whole (escapes and nested pairs honoured; one left open runs to the
// end of the input): copied unchanged, except that a NUL, alone or escaped, is written as the
// escape \000, the same string in a text that holds no NUL. Returns the bytes used up.
int literal_string(sanitize_state& s, int open) {
  const int close = literal_string_end(s.in, s.len, open);
  const int end = close < 0 ? s.len : close;
  for (int i = open; i < end;) {
    const void* nul = std::memchr(s.in + i, 0x00, static_cast<std::size_t>(end - i));
    const int stop = nul ? static_cast<int>(static_cast<const byte*>(nul) - s.in) : end;
    std::memcpy(s.out + s.out_len, s.in + i, static_cast<std::size_t>(stop - i));
    s.out_len += stop - i;
    if (stop == end) break;
    // A backslash right before the NUL is the escape's own.
    const bool escaped = escaping_backslash(s.in, open, stop);
    if (escaped) --s.out_len;
    std::memcpy(s.out + s.out_len, "\\000", 4);
    s.out_len += 4;
    i = stop + 1;
  }
  return end - open;
}

// "<<" also when its second "<" is damaged (0xC3, the complement of "<").
int open_angle(sanitize_state& s, int next) {
  if (next == '<' || next == 255 - '<') {
    emit2(s, '<', '<');
    ++s.depth;
    return 2;
  }
  emit(s, '<');
  s.in_hex = true;
  return 1;
}

int close_angle(sanitize_state& s, int next) {
  if (next == '>') {
    if (s.depth > 0) {
      emit2(s, '>', '>');
      --s.depth;
    } else {
      emit2(s, ' ', ' ');  // closes nothing
    }
    return 2;
  }
  if (next == 0x00 || is_control(next) || next >= 0x80) {
    // The second ">" of a closer, damaged; at depth 0 it is kept all the same.
    emit2(s, '>', '>');
    if (s.depth > 0) --s.depth;
    return 2;
  }
  emit(s, ' ');  // a single ">" belongs to no syntax outside a hex string
  return 1;
}

// What may follow the "R" of a reference: white space, a delimiter or the end (-1).
bool ends_reference(int next) { return next < 0 || is_ascii_ws(next) || is_delimiter(next); }

// The last resort for a damaged byte: its complement when that is printable punctuation and
// the preceding byte makes it plausible, else a space. A parenthesis or a backslash is never
// restored: it would open, close or escape a string that the damage never held.
int restored_or_blank(int c, int inv, prev_class pc, int prev) {
  const bool restore = pc == prev_class::none || pc == prev_class::opener;
  const bool string_syntax = inv == '(' || inv == ')' || inv == '\\';
  if (c >= 0x81 && c <= 0xDF && !is_alnum(inv) && !string_syntax && (restore || is_digit(prev)))
    return inv;
  return ' ';
}

// What replaces the damaged byte at i (other than "<<"): a byte, or nothing. Bytes past the
// end of the input read as -1, which is neither a letter, a digit, "<" nor white space.
int replacement_for(const sanitize_state& s, int i, prev_class pc) {
  const int c = s.in[i];
  const int inv = 255 - c;
  const int prev = s.prev;
  const int next = byte_at(s.in, s.len, i + 1);
  const int next2 = byte_at(s.in, s.len, i + 2);
  const int before = byte_at(s.in, s.len, i - 1);
  // A word boundary just before the byte; FF and VT do not make one.
  const bool gap = i == 0 || before == 0x00 || before == '\t' || before == '\n' ||
                   before == '\r' || before == ' ' || before >= 0x80;

  if (pc == prev_class::slash) return is_letter(inv) ? inv : nothing;
  if (inv == '/') {
    if (pc != prev_class::other || is_letter(next)) return '/';
    return restored_or_blank(c, inv, pc, prev);
  }
  if (pc != prev_class::other) {
    if (is_letter(inv)) return inv;
    if (is_letter(next) && gap) return '/';  // the byte was the "/" of the name that follows
    if (pc == prev_class::none) {
      if (is_digit(inv)) return is_digit(next) ? inv : ' ';
      return restored_or_blank(c, inv, pc, prev);
    }
  } else if (is_letter(next) && gap) {
    return '/';
  }
  if (is_digit(inv) && (is_digit(prev) || is_digit(next))) return inv;
  // The first digit of the next indirect reference.
  if (is_digit(inv) && is_ascii_ws(next) && is_digit(next2) && prev == 'R') return inv;
  // The "R" of an indirect reference.
  if (inv == 'R' && is_digit(prev) && ends_reference(next)) return inv;
  // Inside a name or keyword only a letter fits.
  if (is_alnum(prev) && is_letter(next)) return is_letter(inv) ? inv : nothing;
  return restored_or_blank(c, inv, pc, prev);
}

int damaged_byte(sanitize_state& s, int i) {
  const prev_class pc = classify_prev(s.prev);
  const bool inverted_open = 255 - s.in[i] == '<';
  if ((pc != prev_class::other || inverted_open) && byte_at(s.in, s.len, i + 1) == '<') {
    // The damaged first "<" of a "<<".
    emit2(s, '<', '<');
    ++s.depth;
    return 2;
  }
  const int r = replacement_for(s, i, pc);
  if (r != nothing) emit(s, r);
  return 1;
}

// Handles the byte at i and returns how many input bytes it used up (1 or 2).
int sanitize_step(sanitize_state& s, int i) {
  const int c = s.in[i];
  if (is_pdf_ws(c)) {
    // Blank bytes pass in every state and change none.
    emit(s, c == 0x00 ? ' ' : c);
    return 1;
  }
  if (s.in_hex) {
    emit(s, c);
    if (c == '>') s.in_hex = false;
    return 1;
  }
  const int next = byte_at(s.in, s.len, i + 1);
  if (c == '<') return open_angle(s, next);
  if (c == '>') return close_angle(s, next);
  if (c == '(') return literal_string(s, i);
  if (!is_damaged(c)) {
    emit(s, c);
    return 1;
  }
  return damaged_byte(s, i);
}

void close_open_levels(sanitize_state& s) {
  for (; s.depth > 0; --s.depth) {
    if (!is_ascii_ws(static_cast<byte>(s.out[s.out_len - 1]))) emit(s, ' ');
    emit2(s, '>', '>');
  }
}


// The last byte of [from, to) that is neither NUL nor white space becomes the neighbour a
// later damaged byte looks back to.
void note_prev(sanitize_state& s, int from, int to) {
  for (int k = to - 1; k >= from; --k) {
    if (!is_filler(s.in[k])) {
      s.prev = s.in[k];
      return;
    }
  }
}

// Inside a hex string, the run of bytes from i (before stop) that the steps would copy one by
// one, unchanged: anything but NUL and the closing ">". Returns where the run ends.
int copy_hex_run(sanitize_state& s, int i, int stop) {
  int j = i;
  // Eight bytes at a time while none of them is one of the two.
  for (std::uint64_t w; j + 8 <= stop; j += 8) {
    std::memcpy(&w, s.in + j, 8);
    if (holds_byte(w, 0x00) || holds_byte(w, '>')) break;
  }
  while (j < stop && s.in[j] != 0x00 && s.in[j] != '>') ++j;
  std::memcpy(s.out + s.out_len, s.in + i, static_cast<std::size_t>(j - i));
  s.out_len += j - i;
  note_prev(s, i, j);
  return j;
}

// Outside strings, what a step makes of one byte that changes no state, by the classes of
// its neighbours: the byte it emits, `dropped`, or `stepped` when the byte opens or closes
// something and takes the full step. Built once by running the steps themselves on every
// combination of classes, so that the table can only ever agree with them.
class plain_byte_table {
 public:
  static constexpr byte dropped = 0x00;  // no step emits NUL outside strings
  static constexpr byte stepped = 0x80;  // nor a byte of 0x80 or more

  plain_byte_table() {
    for (int c = 0; c < 256; ++c) {
      prev_kind_[c + 1] = static_cast<byte>(prev_kind_of(c));
      next_kind_[c] = static_cast<byte>(next_kind_of(c));
      gap_[c] = is_gap(c);
      digit_[c] = is_digit(c);
    }
    prev_kind_[0] = 0;  // no preceding byte
    for (int c = 0; c < 256; ++c)
      for (int p = 0; p < prev_kinds; ++p)
        for (int n = 0; n < next_kinds; ++n)
          for (int n2 = 0; n2 < 2; ++n2)
            for (int gap = 0; gap < 2; ++gap)
              outcome_[index(c, p, n, n2, gap)] = step_on(c, p, n, n2, gap);
  }

  // The outcome for the byte at i, which has two bytes after it; prev as in sanitize_state.
  byte at(const byte* in, int i, int prev) const {
    const int gap = i == 0 ? 1 : gap_[in[i - 1]];
    return outcome_[index(in[i], prev_kind_[prev + 1], next_kind_[in[i + 1]], digit_[in[i + 2]],
                          gap)];
  }

 private:
  // What the steps ask of the preceding non-blank byte, and a byte that stands for each kind.
  static constexpr int prev_kinds = 7;
  static constexpr int prev_sample[prev_kinds] = {-1, '/', '(', '0', 'R', 'a', '#'};
  static int prev_kind_of(int prev) {
    if (prev == '/') return 1;
    if (prev == '(' || prev == ')' || prev == '<' || prev == '[' || prev >= 0x80) return 2;
    if (is_digit(prev)) return 3;
    if (prev == 'R') return 4;
    return is_letter(prev) ? 5 : 6;
  }
  // What they ask of the next byte ("<", letter, digit, white space, an end of a reference,
  // anything else).
  static constexpr int next_kinds = 6;
  static constexpr int next_sample[next_kinds] = {'<', 'a', '0', ' ', '/', '#'};
  static int next_kind_of(int next) {
    if (next == '<') return 0;
    if (is_letter(next)) return 1;
    if (is_digit(next)) return 2;
    if (is_ascii_ws(next)) return 3;
    return is_delimiter(next) ? 4 : 5;
  }
  // A word boundary before the byte; FF and VT do not make one.
  static bool is_gap(int before) {
    return before == 0x00 || before == '\t' || before == '\n' || before == '\r' || before == ' ' ||
           before >= 0x80;
  }

  static int index(int c, int p, int n, int n2, int gap) {
    return (((c * prev_kinds + p) * next_kinds + n) * 2 + n2) * 2 + gap;
  }

  static byte step_on(int c, int p, int n, int n2, int gap) {
    const byte in[4] = {static_cast<byte>(gap ? ' ' : '#'), static_cast<byte>(c),
                        static_cast<byte>(next_sample[n]), static_cast<byte>(n2 ? '0' : '#')};
    char out[4];
    sanitize_state s{in, 4, out};
    s.prev = prev_sample[p];
    if (c == '<' || c == '>' || c == '(' || sanitize_step(s, 1) != 1) return stepped;
    return s.out_len == 0 ? dropped : static_cast<byte>(out[0]);
  }

  byte prev_kind_[257];  // by the preceding non-blank byte + 1
  byte next_kind_[256];
  byte gap_[256];
  byte digit_[256];
  byte outcome_[256 * prev_kinds * next_kinds * 2 * 2];
};

// Outside strings, the run of bytes from i (before stop, and two before the end of the
// input) that change no state, each emitted as its step would. Returns where the run ends.
int copy_plain_run(sanitize_state& s, int i, int stop) {
  static const plain_byte_table table;
  const int end = std::min(stop, s.len - 2);
  char* out = s.out + s.out_len;  // locals: the compiler cannot tell that *out is not s
  int prev = s.prev;
  for (; i < end; ++i) {
    const byte r = table.at(s.in, i, prev);
    if (r == plain_byte_table::stepped) break;
    *out = static_cast<char>(r);
    out += r != plain_byte_table::dropped;
    prev = is_filler(s.in[i]) ? prev : s.in[i];
  }
  s.out_len = static_cast<int>(out - s.out);
  s.prev = prev;
  return i;
}

// Runs the steps from the byte at i on while they start before stop; returns where the next
// one starts.
int sanitize_until(sanitize_state& s, int i, int stop) {
  while (i < stop) {
    // Strings make up much of binary data: their plain bytes go over in one copy; the bytes
    // between them mostly change no state and go through a table.
    if (s.runs) {
      i = s.in_hex ? copy_hex_run(s, i, stop) : copy_plain_run(s, i, stop);
      if (i >= stop) break;
    }
    const int used = sanitize_step(s, i);
    // The neighbour a later damaged byte looks back to, kept up to date rather than searched
    // for, so that a long run of damaged white space (VT) stays linear.
    note_prev(s, i, i + used);
    i += used;
  }
  return i;
}

// Room for the sanitised text: a NUL inside a literal string yields four bytes, every other
// input byte at most one, and every level (opened by two input bytes) costs at most three more
// for its appended " >>".
char* sanitize_buffer(int length) {
  const std::size_t n = static_cast<std::size_t>(length);
  return static_cast<char*>(mem_malloc(4 * n + 1));
}

// The first len bytes of the text in a buffer of their own size, the worst-case buffer
// released: first dictionaries are kept while a check runs, and the room each buffer had
// would stay reserved, its first page in memory. A copy, not a shrink in place, so that the
// released room joins the free memory whole instead of leaving a gap behind every text.
char* fitted(char* text, std::size_t len) {
  char* copy = copy_prefix(text, len);
  if (!copy) {
    text[len] = '\0';
    return text;
  }
  std::free(text);
  return copy;
}

char* sanitize_whole(const byte* bytes, int length, bool runs) {
  if (length < 0 || length > max_dict_span) return nullptr;
  char* out = sanitize_buffer(length);
  if (!out) return nullptr;
  sanitize_state s{bytes, length, out};
  s.runs = runs;
  sanitize_until(s, 0, length);
  close_open_levels(s);
  out[s.out_len] = '\0';
  return out;
}

constexpr int first_dict_step = 128;  // bytes sanitised before the first look for the end

}  // namespace

char* sanitize_dict_text(const byte* bytes, int length) {
  return sanitize_whole(bytes, length, true);
}

char* sanitize_dict_text_by_steps(const byte* bytes, int length) {
  return sanitize_whole(bytes, length, false);
}

char* sanitize_first_dict_text(const byte* bytes, int length) {
  if (length < 0 || length > max_dict_span) return nullptr;
  char* out = sanitize_buffer(length);
  if (!out) return nullptr;
  sanitize_state s{bytes, length, out};
  // A step's output depends on the input alone (a string step reads on to the string's end),
  // never on where the sanitising stops: once the first dictionary closes inside what was
  // written, the rest of the text cannot change it.
  int i = 0;
  for (int stop = std::min(length, first_dict_step); i < length;
       stop = length - stop <= stop ? length : 2 * stop) {
    i = sanitize_until(s, i, stop);
    const std::size_t kept = first_dict_length(std::string_view(out, static_cast<std::size_t>(s.out_len)));
    if (kept < static_cast<std::size_t>(s.out_len)) return fitted(out, kept);
  }
  close_open_levels(s);
  return fitted(out, first_dict_length(std::string_view(out, static_cast<std::size_t>(s.out_len))));
}

bool names_misspelt(const char* sanitized) {
  const heap_ptr<char[]> cleaned(clean_dict_text(sanitized));
  return names_misspelt(sanitized, cleaned.get());
}

bool names_misspelt(const char* sanitized, const char* cleaned) {
  const std::string_view text(sanitized);
  return cleaned && text.substr(0, first_dict_length(text)) != cleaned;
}

}  // namespace pdfrepair
