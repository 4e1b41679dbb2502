// Dictionary name repair: the trim after the first complete dictionary, and the replacement
// of names one edit away from a known name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <string>

#include "pdfrepair/dict.h"
#include "support/byte_notation.h"

using namespace pdfrepair;
using namespace pdfrepair_test;

namespace {

// The cleaned text, read from an exactly-sized NUL-terminated copy.
std::string clean(std::string_view text) {
  const auto copy = exact_copy(text, true);
  char* out = clean_dict_text(reinterpret_cast<const char*>(copy.get()));
  if (!out) return "<null>";
  std::string result(out);
  std::free(out);
  return result;
}

struct cleaning {
  const char* name;
  const char* input;
  const char* output;
};

std::string case_name(const testing::TestParamInfo<cleaning>& info) { return info.param.name; }

void PrintTo(const cleaning& c, std::ostream* os) { *os << notation(bytes(c.input)); }

class Clean : public testing::TestWithParam<cleaning> {};

TEST_P(Clean, Gives) { EXPECT_EQ(clean(GetParam().input), GetParam().output); }

const cleaning names[] = {
    {"substitution_in_name_with_digit", "/Kid5", "/Kids"},
    {"only_candidate_penalty_irrelevant", "/P4ge", "/Page"},
    {"digit_for_letter_o", "/C0unt", "/Count"},
    {"digit_for_last_letter", "/Widt1", "/Width"},
    {"shortest_key", "/UR1", "/URI"},
    {"nine_byte_key_with_digit", "/DeviceRG8", "/DeviceRGB"},
    {"known_name_and_digit_passed_over_for_next_key", "/Page1", "/Pages"},
    {"long_key_needs_no_digit", "/ColorSpac", "/ColorSpace"},
    {"insertion_into_long_key", "/FontDescriptr", "/FontDescriptor"},
    {"insertion_into_key_with_digits", "/ASCII85Decod", "/ASCII85Decode"},
    {"known_names_followed_by_number", "/Image1 /Font1 /Form1 /Kids1",
     "/Image1 /Font1 /Form1 /Kids1"},
    {"short_keys_need_digit", "/Resourcez /Xobject", "/Resourcez /Xobject"},
    {"two_edits_away", "/Imag12 /Image12", "/Imag12 /Image12"},
    {"exact_or_nothing_close", "/Type /Count /F1 /Im0", "/Type /Count /F1 /Im0"},
    {"deletion_from_short_key_without_digit", "/Ty-pe", "/Ty-pe"},
    {"nothing_within_one_edit", "/a+b /_x", "/a+b /_x"},
    {"empty_run_and_run_without_letter", "/#20 /1.5", "/#20 /1.5"},
    {"compared_with_case", "/kid5", "/kid5"},
    {"name_ends_at_other_bytes", "/Kid5#20/C0unt.1", "/Kids#20/Count.1"},
    {"names_inside_dictionary", "<</Typ3/Pag1/Kid5[1 0 R]/C0unt 1>>",
     "<</Type/Page/Kids[1 0 R]/Count 1>>"},
    {"names_inside_strings_are_text", "<</Title (/Kid5 (/C0unt) \\) /P4ge)/Kid5 1>>",
     "<</Title (/Kid5 (/C0unt) \\) /P4ge)/Kids 1>>"},
};
INSTANTIATE_TEST_SUITE_P(DictNameRepair, Clean, testing::ValuesIn(names), case_name);

const cleaning trims[] = {
    {"keeps_up_to_outer_closer", "<< /A << /B 1 >> >> trailing", "<< /A << /B 1 >> >>"},
    {"without_opener_stays_whole", "/A 1 >> /B 2", "/A 1 >> /B 2"},
    {"opener_in_string_is_text", "<< /A (<<) >> >> tail", "<< /A (<<) >>"},
    {"nested_string_is_one_string", "<</A (a(>>)b) /B 1>> x", "<</A (a(>>)b) /B 1>>"},
    {"unclosed_stays_whole", "<< /A << /B 1 >>", "<< /A << /B 1 >>"},
    {"closer_at_depth_0_closes_nothing", ">> << /A 1 >> x", ">> << /A 1 >>"},
    {"pairs_read_from_the_left", "<<>>>", "<<>>"},
    {"hex_string_closer_is_no_half_closer", "<</A <41>>> x", "<</A <41>>>"},
    {"lt_in_literal_string_opens_no_hex", "<</A (<) /B 1>> x", "<</A (<) /B 1>>"},
    {"escaped_close_does_not_end_literal", "<</A (\\)<) /B 1>> x", "<</A (\\)<) /B 1>>"},
    {"escaped_backslash_ends_literal", "<</A (\\\\)<2>>> x", "<</A (\\\\)<2>>>"},
    {"closer_in_literal_string_is_text", "<</A (>>) x", "<</A (>>) x"},
    {"empty_text", "", ""},
    {"lone_slash", "/", "/"},
};
INSTANTIATE_TEST_SUITE_P(DictTrimming, Clean, testing::ValuesIn(trims), case_name);

}  // namespace

namespace {

TEST(StandardKeys, AreTheNamesOfTheStandardExactly) {
  for (const char* key : {"A", "AAPL:Keywords", "Kids", "MediaBox", "StructParent", "StructParents",
                          "Type", "XUID", "nCodeWordRow", "op"})
    EXPECT_TRUE(is_standard_key(key)) << key;
  // Near misses and names that only start or end like a key.
  for (const char* name : {"", "a", "Kid5", "Kidss", "MediaBo", "MediaBoxx", "Op", "TYPE", "op ", "AAPL"})
    EXPECT_FALSE(is_standard_key(name)) << '"' << name << '"';
}

}  // namespace
