// MediaBox repair: which entries are usable, where the default box is inserted, and what
// takes the place of an unusable entry's value.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <random>
#include <string>

#include "pdfrepair/pagetree.h"
#include "support/byte_notation.h"

using namespace pdfrepair;
using namespace pdfrepair_test;

namespace {

// The repaired text, read from an exactly-sized NUL-terminated copy; nullopt for no change.
std::optional<std::string> boxed(std::string_view in) {
  const auto copy = exact_copy(in, true);
  char* out =
      ensure_media_box(reinterpret_cast<const char*>(copy.get()), static_cast<int>(in.size()));
  if (!out) return std::nullopt;
  std::string text(out);
  std::free(out);
  return text;
}

struct box_case {
  const char* name;
  const char* input;
  const char* output;  // null: no change
};

std::string case_name(const testing::TestParamInfo<box_case>& info) { return info.param.name; }
void PrintTo(const box_case& c, std::ostream* os) { *os << c.name; }

class EnsureMediaBox : public testing::TestWithParam<box_case> {};

TEST_P(EnsureMediaBox, Gives) {
  const auto out = boxed(bytes(GetParam().input));
  if (!GetParam().output) {
    EXPECT_FALSE(out.has_value()) << notation(*out);
  } else {
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(notation(*out), notation(bytes(GetParam().output)));
  }
}

const box_case worked_results[] = {
    {"usable_box", "<< /Type /Page /MediaBox [0 0 595 842] >>", nullptr},
    {"white_space_inside_brackets", "<< /Type /Page /MediaBox [ 0 0 1 2 ] >>", nullptr},
    {"decimals_and_signs", "<< /Type /Page /MediaBox [0 0 612.5 -792] >>", nullptr},
    {"reference_trusted", "<< /Type /Page /MediaBox 7 0 R >>", nullptr},
    {"inserted_after_own_space", "<< /Type /Page >>", "<< /Type /Page  /MediaBox [0 0 612 792]>>"},
    {"inserted_without_spaces", "<</Type/Page>>", "<</Type/Page /MediaBox [0 0 612 792]>>"},
    {"pages_node_is_not_a_page", "<< /Type /Pages >>", nullptr},
    {"missing_value_replaced", "<< /Type /Page /MediaBox >>",
     "<< /Type /Page /MediaBox [0 0 612 792] >>"},
};
INSTANTIATE_TEST_SUITE_P(MediaBoxWorkedResult, EnsureMediaBox, testing::ValuesIn(worked_results),
                         case_name);

const box_case judged_entries[] = {
    {"three_numbers", "<</Type/Page/MediaBox [0 0 612] >>",
     "<</Type/Page/MediaBox [0 0 612 792] >>"},
    {"five_numbers", "<</Type/Page/MediaBox [0 0 1 2 3] >>",
     "<</Type/Page/MediaBox [0 0 612 792] >>"},
    {"number_above_a_million", "<</Type/Page/MediaBox [0 0 1000001 2] >>",
     "<</Type/Page/MediaBox [0 0 612 792] >>"},
    {"a_million_is_usable", "<</Type/Page/MediaBox [0 0 1000000 2] >>", nullptr},
    {"fraction_digits_do_not_count", "<</MediaBox [0 0 841.8898 595.27559055]>>", nullptr},
    {"whole_part_above_a_million", "<</MediaBox [0 0 1000001.5 1]>>", "<</MediaBox [0 0 612 792]>>"},
    {"number_without_whole_part", "<</MediaBox [0 0 612 -.25]>>", nullptr},
    {"letter_among_numbers", "<</MediaBox [0 0 a 2]>>", "<</MediaBox [0 0 612 792]>>"},
    {"lone_minus", "<</MediaBox [0 - 1 2]>>", "<</MediaBox [0 0 612 792]>>"},
    {"comma_after_number", "<</MediaBox [0 0 1, 2]>>", "<</MediaBox [0 0 612 792]>>"},
    {"tab_after_number", "<</MediaBox [0 0 1{09}2]>>", nullptr},
    {"line_feed_after_fourth_number", "<</MediaBox [0 0 1 2{0A}]>>", nullptr},
    {"any_white_space_after_numbers", "<</MediaBox [0{0A}0{0B}612{0C}792{0D}]>>", nullptr},
    {"comma_after_white_space", "<</MediaBox [0 0 1 ,2]>>", "<</MediaBox [0 0 612 792]>>"},
    {"numbers_start_with_a_sign_or_a_point", "<</MediaBox [+0 .0 -1 2]>>", nullptr},
    {"empty_array", "<</MediaBox []>>", "<</MediaBox [0 0 612 792]>>"},
    {"name_value_stays_as_next_key", "<</MediaBox /Letter >>", "<</MediaBox [0 0 612 792] /Letter >>"},
    {"key_after_missing_value_kept", "<</MediaBox /Contents 4 0 R>>",
     "<</MediaBox [0 0 612 792] /Contents 4 0 R>>"},
    {"string_value", "<</MediaBox (A4)/Rotate 0>>", "<</MediaBox [0 0 612 792]/Rotate 0>>"},
    {"value_missing_at_end_of_text", "<</Type/Page/MediaBox",
     "<</Type/Page/MediaBox [0 0 612 792]"},
    {"negative_number_trusted", "<</MediaBox -1>>", nullptr},
    {"pages_node_judged_too", "<< /Type /Pages /MediaBox [0 0 x 1] /Kids [] >>",
     "<< /Type /Pages /MediaBox [0 0 612 792] /Kids [] >>"},
    {"untyped_dictionary_judged_too", "<< /MediaBox [1 2 3] >>", "<< /MediaBox [0 0 612 792] >>"},
    {"first_counted_entry_decides", "<</MediaBox [0 0 1 2] /MediaBox [x]>>", nullptr},
    {"entry_before_closer_counts", "<</Type/Page/MediaBox>>",
     "<</Type/Page/MediaBox [0 0 612 792]>>"},
};
INSTANTIATE_TEST_SUITE_P(MediaBoxJudged, EnsureMediaBox, testing::ValuesIn(judged_entries),
                         case_name);

const box_case insertions[] = {
    {"name_before_bracket_counts", "<</Type /Page /MediaBox[0 0 1 2]>>", nullptr},
    {"name_before_bad_array_replaced", "<</Type/Page/MediaBox[0 0 1]/Rotate 0>>",
     "<</Type/Page/MediaBox [0 0 612 792]/Rotate 0>>"},
    {"name_before_slash_is_an_entry_without_value", "<</Type /Page /MediaBox/X>>",
     "<</Type /Page /MediaBox [0 0 612 792]/X>>"},
    {"nested_entries_and_strings_do_not_count", "<</Type /Page /A <</MediaBox [0 0 1 1]>> /T (/MediaBox x)>>",
     "<</Type /Page /A <</MediaBox [0 0 1 1]>> /T (/MediaBox x) /MediaBox [0 0 612 792]>>"},
    {"before_last_closer_of_whole_text", "<< /Type /Page >> x",
     "<< /Type /Page  /MediaBox [0 0 612 792]>> x"},
    {"before_last_of_nested_closers", "<</Type /Page /Resources<</A 1>>>>",
     "<</Type /Page /Resources<</A 1>> /MediaBox [0 0 612 792]>>"},
    {"longer_name_is_no_entry", "<</Type /Page /MediaBoxes [0 0 1 2]>>",
     "<</Type /Page /MediaBoxes [0 0 1 2] /MediaBox [0 0 612 792]>>"},
    {"compact_page_gets_one", "<</Type/Page/Rotate 0>>", "<</Type/Page/Rotate 0 /MediaBox [0 0 612 792]>>"},
    {"other_type_gets_none", "<< /Type /Font >>", nullptr},
    {"page_without_closer_gets_none", "<< /Type /Page", nullptr},
    {"subtype_page_is_no_page", "<< /Subtype /Page >>", nullptr},
    {"empty_text", "", nullptr},
};
INSTANTIATE_TEST_SUITE_P(MediaBoxInserted, EnsureMediaBox, testing::ValuesIn(insertions),
                         case_name);

// The rejected value is removed with the old entry, so that the default box is the entry's
// value and nothing of the old value stands after it without a key.
const box_case rejected_values[] = {
    {"bad_array_removed_whole", "<</MediaBox [0 0 abc 792] /Rotate 90>>",
     "<</MediaBox [0 0 612 792] /Rotate 90>>"},
    {"nested_array_removed_whole", "<</MediaBox [0 [1] 2 3]/Rotate 90>>",
     "<</MediaBox [0 0 612 792]/Rotate 90>>"},
    {"string_with_escaped_close_removed_whole", "<</MediaBox (a\\)b) /Rotate 0>>",
     "<</MediaBox [0 0 612 792] /Rotate 0>>"},
    {"string_with_bracket_removed_whole", "<</MediaBox [(]) 1 2 3] /Rotate 0>>",
     "<</MediaBox [0 0 612 792] /Rotate 0>>"},
    {"hex_string_removed", "<</MediaBox <41 42>/Rotate 0>>",
     "<</MediaBox [0 0 612 792]/Rotate 0>>"},
    {"dictionary_removed", "<</MediaBox << /A [1] >> /Rotate 0>>",
     "<</MediaBox [0 0 612 792] /Rotate 0>>"},
    {"keyword_removed", "<</MediaBox null/Rotate 0>>", "<</MediaBox [0 0 612 792]/Rotate 0>>"},
    {"unclosed_array_before_next_key", "<</Type/Page/MediaBox [0 0 612 /Rotate 90 >>",
     "<</Type/Page/MediaBox [0 0 612 792]/Rotate 90 >>"},
    {"unclosed_array_before_closer", "<</Type/Page/MediaBox [0 0 612 >>",
     "<</Type/Page/MediaBox [0 0 612 792]>>"},
    {"unclosed_array_keeps_dictionary_after_it", "<</MediaBox [0 0 /R << /F 1 >> >>",
     "<</MediaBox [0 0 612 792]/R << /F 1 >> >>"},
    {"unclosed_string", "<</MediaBox (abc >>", "<</MediaBox [0 0 612 792]>>"},
    {"array_running_to_end_of_text", "<</MediaBox [0 0", "<</MediaBox [0 0 612 792]"},
    {"comment_sign_and_what_follows_it_removed", "<</MediaBox %x 1 /Rotate 0>>",
     "<</MediaBox [0 0 612 792]/Rotate 0>>"},
};
INSTANTIATE_TEST_SUITE_P(MediaBoxRejectedValue, EnsureMediaBox, testing::ValuesIn(rejected_values),
                         case_name);

TEST(FixMedia, SplicesTheDefaultEntryBetweenTheCuts) {
  const std::string text = "ab/MediaBox xyz";
  char* out = fix_media(text.c_str(), static_cast<int>(text.size()), 2, 11);
  ASSERT_NE(out, nullptr);
  EXPECT_STREQ(out, "ab/MediaBox [0 0 612 792] xyz");
  std::free(out);
  EXPECT_EQ(fix_media(text.c_str(), static_cast<int>(text.size()), 5, 4), nullptr);
  EXPECT_EQ(fix_media(text.c_str(), static_cast<int>(text.size()), 2, 16), nullptr);
}

// Bad input: whatever the text, a repaired text needs no further repair (its first counted
// entry is the default box, or its only one the inserted box).
std::string random_dict(std::mt19937& rng) {
  static const char* const pieces[] = {
      "<<", ">>", "/Type",   "/Page", "/Pages", "/MediaBox", "/MediaBox[", "[", "]",   "(",
      ")",  "\\", "<",       ">",     " ",      "\t",        "\n",         "0", "612", "-",
      "+",  ".",  "1000001", "x",     "R",      "/",         "{",          "}", "%",   "null"};
  std::string s;
  for (int n = static_cast<int>(rng() % 40); n > 0; --n) s += pieces[rng() % std::size(pieces)];
  return s;
}

TEST(EnsureMediaBoxRandom, RepairedTextNeedsNoMoreRepair) {
  std::mt19937 rng(6101);
  for (int round = 0; round < 20000; ++round) {
    const std::string in = random_dict(rng);
    const auto once = boxed(in);
    if (!once) continue;
    EXPECT_FALSE(boxed(*once).has_value()) << notation(in) << " -> " << notation(*once);
  }
}

}  // namespace
