// The dead-dictionary test: bracket structure, hex strings, literal strings and bytes of 0x80
// and above decide whether a cleaned dictionary is still not well formed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ostream>
#include <string>

#include "pdfrepair/dict.h"
#include "support/byte_notation.h"

using namespace pdfrepair;
using namespace pdfrepair_test;

namespace {

struct verdict {
  const char* name;
  const char* text;  // {NN} notation
  int dead;
};

std::string case_name(const testing::TestParamInfo<verdict>& info) { return info.param.name; }

void PrintTo(const verdict& c, std::ostream* os) { *os << notation(bytes(c.text)); }

class Dead : public testing::TestWithParam<verdict> {};

TEST_P(Dead, Judges) {
  const std::string text = bytes(GetParam().text);
  const auto copy = exact_copy(text);
  EXPECT_EQ(dict_is_dead(reinterpret_cast<const char*>(copy.get()), static_cast<int>(text.size())),
            GetParam().dead);
}

const verdict verdicts[] = {
    {"empty_alive", "", 0},
    {"balanced_alive", "<<>>", 0},
    {"balanced_with_space_alive", "<< >>", 0},
    {"open_level_dead", "<<", 1},
    {"closer_without_opener_dead", ">>", 1},
    {"order_of_closer_and_opener_ignored", ">> <<", 0},
    {"hex_digits_in_either_case_alive", "<</A <a1B2>>>", 0},
    {"white_space_in_hex_string_dead", "<</A <a1 B2>>>", 1},
    {"non_hex_letter_dead", "<</A <4G>>>", 1},
    {"empty_hex_string_alive", "<</A <>>>", 0},
    {"nested_parentheses_alive", "<</A (a(b)c)>>", 0},
    {"escaped_parenthesis_alive", "<</A (a\\)b)>>", 0},
    {"string_swallows_closer_dead", "<</A (x>>", 1},
    {"high_byte_outside_string_dead", "<</A (x) /B {80}>>", 1},
    {"high_byte_inside_string_alive", "<</A ({80})>>", 0},
    {"single_gt_at_end_dead", "<</A 1>", 1},
    {"single_gt_before_space_dead", "<</A 1> >>", 1},
    {"stray_close_parenthesis_alive", "<</A)>>", 0},
    {"lone_open_parenthesis_dead", "(", 1},
    {"lone_lt_dead", "<", 1},
    {"unclosed_hex_string_dead", "<</A <41", 1},
    {"high_byte_in_hex_string_dead", "<</A <4{80}>>>", 1},
    {"backslash_ending_string_dead", "<</A (x\\", 1},
};
INSTANTIATE_TEST_SUITE_P(DictDead, Dead, testing::ValuesIn(verdicts), case_name);

TEST(DictDead, CleanedDictionaryEndingInAHexStringIsAlive) {
  char* cleaned = clean_dict_text("<</Type/Page/ID <41>>> 2 0 obj <</A 1>>");
  ASSERT_NE(cleaned, nullptr);
  EXPECT_STREQ(cleaned, "<</Type/Page/ID <41>>>");
  EXPECT_EQ(dict_is_dead(cleaned, static_cast<int>(std::strlen(cleaned))), 0);
  std::free(cleaned);
}

TEST(DictDead, NonPositiveLengthIsAlive) {
  EXPECT_EQ(dict_is_dead("<<", 0), 0);
  EXPECT_EQ(dict_is_dead("<<", -1), 0);
}

}  // namespace
