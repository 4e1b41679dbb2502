// Kids and Count repair: which references in a /Kids array count, which are kept, how the
// array is rewritten and which /Count follows the number kept.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "pdfrepair/pagetree.h"
#include "support/byte_notation.h"

using namespace pdfrepair;
using namespace pdfrepair_test;

namespace {

// The rewritten text against a table holding the given object numbers, read from an
// exactly-sized copy without a NUL; nullopt for no change.
std::optional<std::string> fixed(std::string_view in, const std::vector<int>& present) {
  std::vector<obj_entry> table;
  for (const int num : present) table.push_back(obj_entry{.num = num});
  const auto copy = exact_copy(in);
  record_index index;
  build_record_index(table.data(), static_cast<int>(table.size()), index);
  char* out = fix_kids_counts(reinterpret_cast<const char*>(copy.get()),
                              static_cast<int>(in.size()), table.data(),
                              static_cast<int>(table.size()), index);
  if (!out) return std::nullopt;
  std::string text(out);
  std::free(out);
  return text;
}

struct kids_case {
  const char* name;
  const char* input;
  std::vector<int> present;
  const char* output;  // null: no change
};

std::string case_name(const testing::TestParamInfo<kids_case>& info) { return info.param.name; }
void PrintTo(const kids_case& c, std::ostream* os) { *os << c.name; }

class FixKidsCounts : public testing::TestWithParam<kids_case> {};

TEST_P(FixKidsCounts, Gives) {
  const auto out = fixed(bytes(GetParam().input), GetParam().present);
  if (!GetParam().output) {
    EXPECT_FALSE(out.has_value()) << notation(*out);
  } else {
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(notation(*out), notation(bytes(GetParam().output)));
  }
}

const kids_case worked_results[] = {
    {"missing_middle_kid_dropped", "<</Kids [1 0 R 2 0 R 3 0 R] /Count 3>>", {1, 3},
     "<</Kids [1 0 R 3 0 R] /Count 2>>"},
    {"count_before_kids", "<</Count 3 /Kids[1 0 R 2 0 R]>>", {2}, "<</Count 1 /Kids[2 0 R]>>"},
    {"references_without_generation", "<</Kids [5R 6R]/Count 2>>", {6},
     "<</Kids [6R]/Count 1>>"},
    {"only_first_count_set", "<</Kids [1 0 R 2 0 R] /Count 2 /Count 7>>", {1},
     "<</Kids [1 0 R] /Count 1 /Count 7>>"},
    {"count_without_white_space_passed_over", "<</Kids [2 0 R] /Count/X 2 /Count 9>>", {},
     "<</Kids [] /Count/X 2 /Count 0>>"},
    {"unclosed_array_swallows_the_rest", "<</Kids [1 0 R 2 0 R /Count 2 >>", {1},
     "<</Kids [1 0 R]"},
    {"nested_array_read_through", "<</Kids [ [3 0 R] 4 0 R]>>", {3}, "<</Kids [3 0 R]>>"},
    {"number_where_r_expected", "<</Kids [1 2 3 0 R 4 0 R]/Count 3>>", {1},
     "<</Kids []/Count 0>>"},
    {"object_zero_never_counted", "<</Kids [0 0 R 7 0 R] /Count 5>>", {}, "<</Kids [] /Count 0>>"},
    {"all_present", "<</Kids [1 0 R 2 0 R]>>", {1, 2}, nullptr},
    {"empty_array", "<</Kids []>>", {1}, nullptr},
};
INSTANTIATE_TEST_SUITE_P(KidsWorkedResult, FixKidsCounts, testing::ValuesIn(worked_results),
                         case_name);

const kids_case edge_cases[] = {
    {"reference_keeps_its_own_spacing", "<</Kids [1{0A}0{0A}R 2 0 R]>>", {1},
     "<</Kids [1{0A}0{0A}R]>>"},
    {"second_array_right_after_first_not_examined", "<</Kids [1 0 R]/Kids [2 0 R]>>", {1},
     nullptr},
    {"second_array_after_a_byte_examined", "<</Kids [1 0 R] /Kids [2 0 R] /Count 1>>", {1},
     "<</Kids [1 0 R] /Kids [] /Count 0>>"},
    {"longer_name_is_no_kids", "<</Kidsx [2 0 R]>>", {}, nullptr},
    {"kids_followed_by_name_is_no_array", "<</Kids/X [2 0 R]>>", {}, nullptr},
    {"kids_value_not_an_array", "<</Kids 2 0 R>>", {}, nullptr},
    {"kids_ending_the_text", "<</A 1 /Kids", {}, nullptr},
    {"negative_count_unchanged", "<</Kids [2 0 R] /Count -1>>", {}, "<</Kids [] /Count -1>>"},
    {"reference_count_unchanged", "<</Kids [2 0 R] /Count 3 0 R>>", {3},
     "<</Kids [] /Count 3 0 R>>"},
    {"count_before_reference_like_bytes_set", "<</Kids [2 0 R] /Count 3 /Type /Pages>>", {},
     "<</Kids [] /Count 0 /Type /Pages>>"},
    {"missing_count_value_unchanged", "<</Kids [2 0 R] /Count >>", {}, "<</Kids [] /Count >>"},
    {"count_ending_the_text_unchanged", "<</Kids [2 0 R] /Count", {}, "<</Kids [] /Count"},
    {"count_grows_a_digit",
     "<</Kids [1R 2R 3R 4R 5R 6R 7R 8R 9R 10R 11R] /Count 9 /A 1>>",
     {1, 2, 3, 4, 5, 6, 7, 8, 9, 10},
     "<</Kids [1R 2R 3R 4R 5R 6R 7R 8R 9R 10R] /Count 10 /A 1>>"},
    {"count_shrinks_its_digits", "<</Count 0042 /Kids [1 0 R 2 0 R]>>", {2},
     "<</Count 1 /Kids [2 0 R]>>"},
    {"array_grows_when_references_touch", "<</Kids [1R2R3R]>>", {1, 3}, "<</Kids [1R 3R]>>"},
    {"generation_not_compared", "<</Kids [4 9 R 5 0 R]>>", {4}, "<</Kids [4 9 R]>>"},
    {"names_and_strings_in_array_passed_over", "<</Kids [/X 1 0 R (2 0 R) 3 0 R]>>", {1, 2},
     "<</Kids [1 0 R 2 0 R]>>"},
    {"object_number_past_32_bits_names_nothing", "<</Kids [4294967297 0 R 2 0 R] /Count 2>>", {1, 2},
     "<</Kids [2 0 R] /Count 1>>"},
    {"object_number_past_signed_32_bits_names_nothing", "<</Kids [2147483648 0 R 2 0 R]>>", {2},
     "<</Kids [2 0 R]>>"},
    {"largest_signed_32_bit_number_is_looked_up", "<</Kids [2147483647 0 R]>>", {2147483647},
     nullptr},
    {"text_shorter_than_five_bytes", "/Kid", {}, nullptr},
};
INSTANTIATE_TEST_SUITE_P(KidsEdgeCase, FixKidsCounts, testing::ValuesIn(edge_cases), case_name);

// Bad input: texts of references, names and brackets against random tables. A rewrite keeps
// only present references, so the same array needs no second rewrite, and a caller that
// applies the repair until nothing changes (as the prune does) stops.
std::string random_kids(std::mt19937& rng) {
  static const char* const pieces[] = {"/Kids", "/Count", "[", "]", " ", "\n", "R", "0",
                                       "1",     "2",      "3", "12", "/", "(", "<<", ">>",
                                       "-",     "4294967296", "x"};
  std::string s;
  for (int n = static_cast<int>(rng() % 60); n > 0; --n) s += pieces[rng() % std::size(pieces)];
  return s;
}

TEST(FixKidsCountsRandom, RepeatedRepairSettles) {
  std::mt19937 rng(6202);
  for (int round = 0; round < 5000; ++round) {
    std::vector<int> present;
    for (int n = static_cast<int>(rng() % 4); n > 0; --n)
      present.push_back(static_cast<int>(rng() % 13));
    std::string text = random_kids(rng);
    int rewrites = 0;
    while (const auto next = fixed(text, present)) {
      text = *next;
      ASSERT_LT(++rewrites, 100) << notation(text);
    }
  }
}

}  // namespace
