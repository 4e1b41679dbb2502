// Dead-dictionary test: a cleaned dictionary text that is still not well formed, judged by
// its bracket structure, hex strings, literal strings and bytes of 0x80 and above only.
#include "pdfrepair/dict.h"

namespace pdfrepair {

namespace {

// Just past the literal string opened at i, or len when it stays open.
int literal_end(const byte* t, int len, int i) {
  const int close = literal_string_end(t, len, i);
  return close < 0 ? len : close;
}

// Just past the ">" that closes the hex string opened at i, or -1 when a byte before it is
// not a hex digit or the text ends first.
int hex_string_end(const byte* t, int len, int i) {
  for (++i; i < len && t[i] != '>'; ++i)
    if (!is_hex_digit(t[i])) return -1;
  return i < len ? i + 1 : -1;
}

// First pass: "<<" and ">>" balance, every hex string holds hex digits only and is closed,
// and no single ">" stands outside one. An unclosed literal string ends the pass.
bool structure_fault(const byte* t, int len) {
  int depth = 0;
  for (int i = 0; i < len;) {
    const int next = byte_at(t, len, i + 1);
    if (t[i] == '(') {
      i = literal_end(t, len, i);
    } else if (t[i] == '<' && next == '<') {
      ++depth;
      i += 2;
    } else if (t[i] == '<') {
      i = hex_string_end(t, len, i);
      if (i < 0) return true;
    } else if (t[i] == '>') {
      if (next != '>') return true;
      --depth;  // may go below 0; only the final balance counts
      i += 2;
    } else {
      ++i;
    }
  }
  return depth != 0;
}

// Second pass: literal strings are closed, and no byte of 0x80 or more stands outside one.
bool byte_fault(const byte* t, int len) {
  for (int i = 0; i < len; ++i) {
    if (t[i] >= 0x80) return true;
    if (t[i] != '(') continue;
    const int close = literal_string_end(t, len, i);
    if (close < 0) return true;
    i = close - 1;
  }
  return false;
}

}  // namespace

int dict_is_dead(const char* text, int length) {
  if (length <= 0) return 0;
  const auto* t = reinterpret_cast<const byte*>(text);
  return structure_fault(t, length) || byte_fault(t, length) ? 1 : 0;
}

}  // namespace pdfrepair
