// The dictionary sanitiser: NUL removal, closing of "<<", stray closers, strings, and the
// decision on each damaged byte outside strings. Ends with a seeded random run of the whole
// dictionary repair chain (sanitise, clean, dead test) on bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <ostream>
#include <random>
#include <string>

#include "pdfrepair/dict.h"
#include "support/byte_notation.h"

using namespace pdfrepair;
using namespace pdfrepair_test;

namespace {

// The sanitised text of the bytes, read from an exactly-sized copy; nullopt when refused.
std::optional<std::string> sanitize(std::string_view in) {
  const auto copy = exact_copy(in);
  char* out = sanitize_dict_text(copy.get(), static_cast<int>(in.size()));
  if (!out) return std::nullopt;
  std::string text(out);
  std::free(out);
  return text;
}

struct rewrite {
  const char* name;
  const char* input;   // {NN} notation
  const char* output;  // {NN} notation
};

std::string case_name(const testing::TestParamInfo<rewrite>& info) { return info.param.name; }

void PrintTo(const rewrite& c, std::ostream* os) { *os << notation(bytes(c.input)); }

class Sanitize : public testing::TestWithParam<rewrite> {};

TEST_P(Sanitize, Gives) {
  const auto out = sanitize(bytes(GetParam().input));
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(notation(*out), notation(bytes(GetParam().output)));
}

const rewrite worked_outcomes[] = {
    {"damaged_letter_in_name", "<</Type /Pa{98}e>>", "<</Type /Page>>"},
    {"damaged_slash_then_closer_appended", "<</Kids [1 0 R]{D0}Type/Page",
     "<</Kids [1 0 R]/Type/Page >>"},
    {"damaged_second_gt_at_depth_0", "/A 1 >{80} x", "/A 1 >> x"},
    {"unmatched_closer_blanked", "<</A 1>>>>", "<</A 1>>  "},
    {"last_gt_blanked_closer_without_extra_space", "<</A <41 42> 3>", "<</A <41 42> 3 >>"},
    {"strings_nest", "<</A (a(b)<c) /B 2>>", "<</A (a(b)<c) /B 2>>"},
    {"brackets_not_balanced", "<</A [1 2", "<</A [1 2 >>"},
    {"nul_becomes_space", "<</A 1>>{00}{00}{00}", "<</A 1>>   "},
};
INSTANTIATE_TEST_SUITE_P(DictWorkedOutcome, Sanitize, testing::ValuesIn(worked_outcomes),
                         case_name);

const rewrite strings_and_levels[] = {
    {"closer_at_depth_0_blanked", ">>", "  "},
    {"damaged_closer_at_depth_0_kept", ">{80}", ">>"},
    {"damaged_closer_never_goes_below_0", ">{80}<<", ">><< >>"},
    {"gt_before_nul_is_closer", "<</A 1>{00}", "<</A 1>>"},
    {"gt_before_vertical_tab_is_closer", "<</A 1>{0B}", "<</A 1>>"},
    {"single_gt_blanked", "<</A 1> /B 2>>", "<</A 1  /B 2>>"},
    {"lt_as_last_byte_kept", "1 <", "1 <"},
    {"each_level_closed_after_its_own_space", "<<<<", "<<<< >> >>"},
    {"closer_follows_white_space_directly", "<</A 1{0A}", "<</A 1{0A}>>"},
    {"vertical_tab_counts_as_white_space_for_closer", "<<({0B}", "<<({0B}>>"},
    {"hex_string_copied_and_its_closer_plain", "<4{80}{01}>{80}", "<4{80}{01}> "},
    {"hex_string_nul_becomes_space", "<4{00}1>", "<4 1>"},
    {"literal_string_copies_damage", "<</A ({80}{01}<>{0B})>>", "<</A ({80}{01}<>{0B})>>"},
    {"literal_string_nul_becomes_escape", "(a{00}b)", "(a\\000b)"},
    {"literal_string_nests", "(a(b){CE}1)", "(a(b){CE}1)"},
    {"nested_string_closes_with_its_pair", "(a(b)){CE}1", "(a(b))11"},
    {"utf16_text_keeps_every_byte", "({FE}{FF}{00}M{00}({00})", "({FE}{FF}\\000M\\000(\\000)"},
    {"escaped_close_does_not_end_string", "(\\){CE}1)", "(\\){CE}1)"},
    {"escaped_nul_becomes_escape", "(a\\{00}b)", "(a\\000b)"},
    {"escaped_backslash_before_nul", "(a\\\\{00}b)", "(a\\\\\\000b)"},
    {"backslash_ends_input_in_string", "(ab\\", "(ab\\"},
    {"hash_and_del_kept", "/A#20{7F}", "/A#20{7F}"},
};
INSTANTIATE_TEST_SUITE_P(DictStringsAndLevels, Sanitize, testing::ValuesIn(strings_and_levels),
                         case_name);

// Damaged bytes outside strings, by the nearest non-blank byte before them (prev: none,
// slash, opener or other), the bytes after them (next, next2) and the gap before them.
const rewrite damaged_bytes[] = {
    {"string_syntax_never_restored", "1 {D7} 2 {D6} 3 {A3}", "1   2   3  "},
    {"damaged_r_before_a_string", "[(a) 12 0 {AD}(b)]", "[(a) 12 0 R(b)]"},
    {"none_then_lt_opens_level", "{C3}<", "<< >>"},
    {"slash_then_lt_opens_level", "/{C3}<", "/<< >>"},
    {"other_then_lt_opens_nothing", "a{80}<", "a <"},
    {"other_then_inverted_lt_opens_level", "a{C3}<", "a<< >>"},
    {"inverted_second_lt_opens_level", "<{C3}/A 1>>", "<</A 1>>"},
    {"inverted_second_lt_in_hex_string_kept", "<4{C3}>", "<4{C3}>"},
    {"none_restores_letter", "{AB}ype", "Type"},
    {"none_restores_digit_before_digit", "{CE}0", "10"},
    {"none_blanks_digit_alone", "{CE} 0", "  0"},
    {"none_before_letter_is_slash", "{CA}x", "/x"},
    {"none_restores_punctuation", "{DB}", "$"},
    {"none_blanks_unprintable_complement", "{F0}", " "},
    {"none_restores_tilde_from_81", "{81}", "~"},
    {"none_blanks_del_from_80", "{80}", " "},
    {"slash_restores_letter", "/{B9}ont", "/Font"},
    {"slash_drops_non_letter", "/{CE}", "/"},
    {"white_space_does_not_hide_slash", "/ {09}{0D}{0A}{B9}ont", "/ {09}{0D}{0A}Font"},
    {"vertical_tab_after_slash_dropped", "/{0B}{B9}ont", "/Font"},
    {"complement_slash_before_letter", "x{D0}Type", "x/Type"},
    {"complement_slash_after_other_blanked", "a {D0}1", "a  1"},
    {"complement_slash_after_digit_restored", "1 {D0}1", "1 /1"},
    {"complement_slash_after_opener", "[{D0}1", "[/1"},
    {"opener_restores_letter", "[{AB}ype", "[Type"},
    {"close_parenthesis_is_opener", "(a){AB}ype", "(a)Type"},
    {"opener_restores_digit_beside_digit", "[{CE}5", "[15"},
    {"opener_then_gap_before_letter_gives_slash", "[ {CA}x", "[ /x"},
    {"opener_without_gap_before_letter_blanked", "[{CA}x", "[ x"},
    {"high_byte_is_opener_and_gap", "A{80}{FF}Type", "A /Type"},
    {"gap_after_space_gives_slash", "1 {FF}Type", "1 /Type"},
    {"no_gap_inside_word_drops_byte", "1{FF}Type", "1Type"},
    {"nul_makes_gap", "1{00}{FF}Type", "1 /Type"},
    {"carriage_return_makes_gap", "1{0D}{FF}Type", "1{0D}/Type"},
    {"form_feed_makes_no_gap", "1{0C}{FF}Type", "1{0C}Type"},
    {"vertical_tab_makes_no_gap_and_is_blanked", "1{0B}{FF}Type", "1 Type"},
    {"digit_beside_digit_restored", "12{CA}", "125"},
    {"first_digit_of_next_reference", "1 0 R {CA} 0 R", "1 0 R 5 0 R"},
    {"digit_after_other_letter_blanked", "1 0 S {CA} 0 R", "1 0 S   0 R"},
    {"reference_R_before_white_space", "1 0 {AD} 2 0 R", "1 0 R 2 0 R"},
    {"reference_R_before_closers", "[1 0 {AD}]<</P 1{AD}>>(1 0{AD})", "[1 0 R]<</P 1R>>(1 0{AD})"},
    {"reference_R_before_slash_and_at_end", "/A 1 0 {AD}/B 2 0 {AD}", "/A 1 0 R/B 2 0 R"},
    {"R_after_letter_blanked", "a {AD}]", "a  ]"},
    {"R_before_letter_is_slash", "1 0 {AD}x", "1 0 /x"},
    {"non_letter_inside_word_dropped", "Ty{CE}pe", "Type"},
    {"punctuation_after_letter_blanked", "a{DB}", "a "},
    {"punctuation_after_digit_restored", "1{DB}", "1$"},
    {"backslash_inside_word_dropped", "a\\b", "ab"},
    {"backslash_alone_blanked", "\\", " "},
    {"vertical_tab_is_damage", "<</A 1{0B}/B 2>>", "<</A 1 /B 2>>"},
};
INSTANTIATE_TEST_SUITE_P(DictDamagedByte, Sanitize, testing::ValuesIn(damaged_bytes), case_name);

TEST(DictSanitize, RefusesOnlyLengthsOutOfRange) {
  const auto one = exact_copy("x");
  EXPECT_EQ(sanitize_dict_text(one.get(), -1), nullptr);
  // Refused before a byte is read: the span is far shorter than the claimed length.
  EXPECT_EQ(sanitize_dict_text(one.get(), max_dict_span + 1), nullptr);
  EXPECT_EQ(sanitize(""), std::string());

  const std::string longest(max_dict_span, ' ');
  const auto out = sanitize(longest);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(out->size(), longest.size());
}

TEST(DictSanitize, ClosesEveryLevelOfARunOfOpeners) {
  std::string expected(300, '<');
  for (int level = 0; level < 150; ++level) expected += " >>";
  EXPECT_EQ(sanitize(std::string(300, '<')), expected);
  EXPECT_EQ(expected.size(), 750u);
}

TEST(DictSanitize, RunOfVerticalTabsStaysLinear) {
  // Every VT is damaged and white space at once; a backward search per byte would take
  // hours here.
  const std::size_t n = 1u << 22;
  EXPECT_EQ(sanitize(std::string(n, '\v')), std::string(n, ' '));
}

// Bad input through the whole chain.

// A known name with one random edit, or a digit appended.
std::string mutated_name(std::mt19937& rng) {
  static const char* const names[] = {"Type",     "Pages",     "Kids",       "Count",
                                      "MediaBox", "ColorSpace", "FontDescriptor",
                                      "Image",    "Length",    "DeviceRGB",  "URI"};
  std::string n = names[rng() % std::size(names)];
  const std::size_t at = rng() % (n.size() + 1);
  const char c = "0123456789abcdeXYZ_-+#"[rng() % 22];
  switch (rng() % 4) {
    case 0: n.insert(at, 1, c); break;
    case 1: if (at < n.size()) n.erase(at, 1); break;
    case 2: if (at < n.size()) n[at] = c; break;
    default: n += c; break;
  }
  return n;
}

std::string random_span(std::mt19937& rng) {
  std::string s;
  const bool bytes_only = rng() % 3 == 0;
  const int pieces = static_cast<int>(rng() % (bytes_only ? 300 : 60));
  for (int p = 0; p < pieces; ++p) {
    switch (bytes_only ? 0 : rng() % 8) {
      case 0: s += static_cast<char>(rng() % 256); break;  // any byte value
      case 1: s.append(rng() % 80, rng() % 2 ? '<' : '>'); break;
      case 2: s += '/'; s += mutated_name(rng); break;
      case 3: s += "<<"; break;
      case 4: s += ">>"; break;
      case 5: s += "( ) \\ [ ] 0 R"[rng() % 13]; break;
      case 6: s += static_cast<char>(0x80 + rng() % 128); break;
      default: s += ' '; break;
    }
  }
  if (rng() % 4 == 0) s += '\\';
  return s;
}

bool is_damage_class(unsigned char c) {
  return c == '\\' || (c >= 0x01 && c <= 0x08) || c == 0x0B || (c >= 0x0E && c <= 0x1F) ||
         c >= 0x80;
}

// The cleaned text grows by one byte per name at most, and the dead test reads within it.
void check_clean_and_dead(const std::string& text) {
  const auto copy = exact_copy(text, true);
  char* cleaned = clean_dict_text(reinterpret_cast<const char*>(copy.get()));
  ASSERT_NE(cleaned, nullptr);
  const std::string out(cleaned);
  std::free(cleaned);
  const std::size_t in_len = std::strlen(text.c_str());
  const auto names = static_cast<std::size_t>(std::count(text.begin(), text.begin() + in_len, '/'));
  ASSERT_LE(out.size(), in_len + names);

  const auto exact = exact_copy(out);
  const int dead =
      dict_is_dead(reinterpret_cast<const char*>(exact.get()), static_cast<int>(out.size()));
  ASSERT_TRUE(dead == 0 || dead == 1);
}

TEST(DictRandom, BadInputStaysInBoundsAndWithinSize) {
  std::mt19937 rng(20240605);
  for (int round = 0; round < 5000; ++round) {
    const std::string in = random_span(rng);
    SCOPED_TRACE(notation(in));
    const auto out = sanitize(in);
    ASSERT_TRUE(out.has_value());
    // Every byte that is not damage yields an output byte, so a NUL in the output would show
    // as a text shorter than that.
    const auto kept = static_cast<std::size_t>(std::count_if(in.begin(), in.end(), [](char c) {
      return !is_damage_class(static_cast<unsigned char>(c));
    }));
    ASSERT_GE(out->size(), kept);
    ASSERT_LE(2 * out->size(), 5 * in.size());

    ASSERT_NO_FATAL_FAILURE(check_clean_and_dead(*out));
    ASSERT_NO_FATAL_FAILURE(check_clean_and_dead(in));  // raw bytes, up to their first NUL
    const auto raw = exact_copy(in);
    dict_is_dead(reinterpret_cast<const char*>(raw.get()), static_cast<int>(in.size()));
  }
}

}  // namespace
