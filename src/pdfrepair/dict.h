// Dictionary repair: the text transformations that turn the damaged bytes of a dictionary
// into valid syntax, correct its misspelt names, and recognise a dictionary that cannot be
// salvaged. Every function reads only the text it is given and never changes it; returned
// texts are newly allocated with malloc and released by the caller with free().
#pragma once

#include <cstddef>
#include <string_view>

#include "pdfrepair/scan.h"

namespace pdfrepair {

// The longest span the sanitiser accepts: 16 MiB.
inline constexpr int max_dict_span = 0x1000000;

// ASCII letters, the byte class dictionary repair adds to the four of scanning.
inline bool is_letter(int c) { return is_alnum(c) && !is_digit(c); }

// Control bytes other than PDF white space (VT among them): never part of a dictionary.
inline bool is_control(int c) {
  return (c >= 0x01 && c <= 0x08) || c == 0x0B || (c >= 0x0E && c <= 0x1F);
}

// Rewrites exactly `length` bytes (NUL bytes allowed, no terminator needed) into dictionary
// syntax: NUL becomes a space, every "<<" is closed (a ">>" closing nothing is blanked,
// missing closers are appended), a stray ">" is blanked, and bytes outside strings that
// cannot belong to PDF syntax are restored from their bitwise complement, blanked, turned
// into "/" or "<<", or dropped. Literal strings nest and are copied, a NUL in one written as
// the escape \000. The result holds no NUL and has at most 4 times `length` characters. An
// empty text for length 0; null for a negative length, a length above max_dict_span, or
// exhausted memory.
char* sanitize_dict_text(const byte* bytes, int length);

// sanitize_dict_text with every byte taken through the full step of the rewrite, none copied
// in a run or looked up in a table: the reference those shortcuts are tested against.
char* sanitize_dict_text_by_steps(const byte* bytes, int length);

// The first complete dictionary of a sanitised, NUL-terminated text (everything after the
// ">>" that closes its first "<<" is dropped), with every name one edit away from a
// well-known PDF name replaced by that name, unless it is a standard key itself; literal
// strings are copied as they are. Never refuses a text; null only when memory runs out.
char* clean_dict_text(const char* text);

// Whether the name (without its "/") is a key of some object of the PDF standard.
bool is_standard_key(std::string_view name);

// clean_dict_text for a text of known length holding no NUL.
char* clean_dict_view(std::string_view text);

// The length clean_dict_text keeps of a text: up to the ">>" that closes its first "<<", or
// everything.
std::size_t first_dict_length(std::string_view text);

// sanitize_dict_text(bytes, length) cut where clean_dict_text cuts it (after the first
// dictionary), with only as many of the bytes sanitised as that dictionary needs; null when
// sanitize_dict_text would be null.
char* sanitize_first_dict_text(const byte* bytes, int length);

// Whether name repair corrects a name of the sanitised text's first dictionary (what
// clean_dict_text replaces, not what it cuts off).
bool names_misspelt(const char* sanitized);

// names_misspelt, given what clean_dict_text made of the text (null when it failed).
bool names_misspelt(const char* sanitized, const char* cleaned);

// 1 when exactly `length` bytes of a cleaned text are still not well formed (unbalanced
// "<<" and ">>", a single ">", a hex string holding anything but hex digits, an unclosed
// literal string, a byte of 0x80 or more outside a string), else 0; 0 for length <= 0.
int dict_is_dead(const char* text, int length);

}  // namespace pdfrepair
