// The fast paths against straightforward transcriptions of the searches they replace, on
// seeded random buffers made of the tokens those searches look for: every position and window
// must give the same answer. Each buffer is an exactly sized heap copy, so that
// AddressSanitizer catches a read past its end.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "pdfrepair/dict.h"
#include "pdfrepair/pagetree.h"
#include "pdfrepair/prune.h"
#include "pdfrepair/scan.h"

namespace {

using namespace pdfrepair;

constexpr std::string_view tokens[] = {
    "obj",   "endobj", "stream",  "endstream", "\n",    "\r\n", " ",   ">",   "<<",   ">>",
    "<",     "(",      ")",       "\\",        "/",     "R",    "0",   "12",  "7 0 ", "x",
    "/Kids", "[",      "]",       "/Count 3",  "%",     {"\0", 1}, "\xC3", "\xFF", "\xAD", "e\xFF"
    "dobj",  "\x9A",   "/Length", "\v",        "/Type", "/Page"};

// A buffer of random tokens with random single bytes in between.
std::vector<byte> random_buffer(std::mt19937& rng, int pieces) {
  std::vector<byte> b;
  for (int i = 0; i < pieces; ++i) {
    if (rng() % 4 == 0) {
      b.push_back(static_cast<byte>(rng()));
      continue;
    }
    const std::string_view t = tokens[rng() % std::size(tokens)];
    b.insert(b.end(), t.begin(), t.end());
  }
  return b;
}

struct exact_buffer {
  std::unique_ptr<byte[]> bytes;
  int len;
};

exact_buffer exact(const std::vector<byte>& b) {
  exact_buffer e{std::make_unique<byte[]>(b.size() + (b.empty() ? 1 : 0)), static_cast<int>(b.size())};
  if (!b.empty()) std::memcpy(e.bytes.get(), b.data(), b.size());
  return e;
}

// Runs body on 300 seeded buffers of up to 400 tokens.
template <class Body>
void for_random_buffers(Body body) {
  std::mt19937 rng(12);
  for (int round = 0; round < 300; ++round) {
    const exact_buffer e = exact(random_buffer(rng, static_cast<int>(rng() % 400)));
    body(e.bytes.get(), e.len, rng);
  }
}

// ---- Straightforward transcriptions ----------------------------------------------------------

int plain_find_kw(const byte* b, int end, int start, std::string_view kw) {
  for (int s = std::max(start, 0); s <= end - static_cast<int>(kw.size()); ++s)
    if (kw_at(b, s, end, kw)) return s;
  return -1;
}

int plain_find_name(const byte* b, int len, int start, int limit, std::string_view name) {
  const int n = static_cast<int>(name.size());
  const int e = std::min(len, limit);
  for (int i = std::max(start, 0); i <= e - 1 - n; ++i) {
    if (b[i] != '/' || std::memcmp(b + i + 1, name.data(), name.size()) != 0) continue;
    if (i + 1 + n < e && is_alnum(b[i + 1 + n])) continue;
    return i;
  }
  return -1;
}

int plain_find_obj_head(const byte* b, int len, int s) {
  for (int k = plain_find_kw(b, len, s, "obj"); k != -1; k = plain_find_kw(b, len, k + 1, "obj")) {
    int num = 0, gen = 0;
    if (parse_obj_head(b, len, k, num, gen) >= 0) return k;
  }
  return -1;
}

// Every digit run tried as the number of a reference.
std::vector<int> plain_collect_refs(const byte* t, int length) {
  std::vector<int> refs;
  for (int i = 0; i < length;) {
    if (!is_digit(t[i])) {
      ++i;
      continue;
    }
    const int num = read_reference(t, length, i);
    if (num > 0) refs.push_back(num);
  }
  return refs;
}

TEST(FastPaths, KeywordAndNameSearchesMatchTheByteWalk) {
  for_random_buffers([](const byte* b, int len, std::mt19937& rng) {
    for (const std::string_view kw : {"obj", "stream", "endstream"}) {
      for (int start = -1; start <= len; ++start) {
        const int end = static_cast<int>(rng() % (len + 1));
        ASSERT_EQ(find_kw(b, end, start, kw), plain_find_kw(b, end, start, kw)) << start;
      }
    }
    for (int start = -1; start <= len; ++start) {
      const int limit = static_cast<int>(rng() % (len + 2));
      ASSERT_EQ(find_name(b, len, start, limit, "Kids"), plain_find_name(b, len, start, limit, "Kids"));
    }
  });
}

TEST(FastPaths, CachedSearchesMatchThePlainOnes) {
  for_random_buffers([](const byte* b, int len, std::mt19937& rng) {
    match_cache kw, endobj, endstream, opening, heads, obj;
    for (int s = -2; s <= len + 1; ++s) {
      ASSERT_EQ(find_kw(b, len, s, "endstream", kw), find_kw(b, len, s, "endstream")) << s;
      ASSERT_EQ(find_flex_kw(b, len, s, "endobj", endobj), find_endobj_flex(b, len, s)) << s;
      ASSERT_EQ(find_flex_kw(b, len, s, "endstream", endstream), find_flex_kw(b, len, s, "endstream"));
      ASSERT_EQ(find_obj_head(b, len, s, heads, obj), plain_find_obj_head(b, len, s)) << s;
      const int m = static_cast<int>(rng() % (len + 2));
      ASSERT_EQ(find_stream_kw(b, len, s, m, opening), find_stream_kw(b, len, s, m)) << s << " " << m;
    }
  });
}

// The first dictionary of a partly sanitised span is that of the whole one, and a text cut
// after its first dictionary keeps all of it: steps that hold only that much of a span read
// what they would read in the whole.
TEST(FastPaths, FirstDictionaryOfAPartlySanitisedSpanMatchesTheWholeOne) {
  for_random_buffers([](const byte* b, int len, std::mt19937&) {
    std::unique_ptr<char, decltype(&std::free)> whole(sanitize_dict_text(b, len), &std::free);
    std::unique_ptr<char, decltype(&std::free)> first(sanitize_first_dict_text(b, len), &std::free);
    ASSERT_TRUE(whole && first);
    const std::string_view text(whole.get());
    const std::size_t kept = first_dict_length(text);
    ASSERT_EQ(first.get(), text.substr(0, kept));
    ASSERT_EQ(first_dict_length(first.get()), kept);
    std::unique_ptr<char, decltype(&std::free)> cleaned(clean_dict_text(whole.get()), &std::free);
    std::unique_ptr<char, decltype(&std::free)> cleaned_first(clean_dict_text(first.get()), &std::free);
    ASSERT_TRUE(cleaned && cleaned_first);
    ASSERT_STREQ(cleaned_first.get(), cleaned.get());
  });
}

TEST(FastPaths, SanitisedTextMatchesTheStepByStepRewrite) {
  const auto expect_same = [](const byte* b, int len) {
    std::unique_ptr<char, decltype(&std::free)> fast(sanitize_dict_text(b, len), &std::free);
    std::unique_ptr<char, decltype(&std::free)> steps(sanitize_dict_text_by_steps(b, len), &std::free);
    ASSERT_TRUE(fast && steps);
    ASSERT_STREQ(fast.get(), steps.get());
  };
  // Short buffers of the bytes the rewrite tells apart, each also bit-inverted (every third
  // buffer of any bytes at all), so that every neighbourhood comes up; every hundredth is long.
  constexpr std::string_view classes{"<>()\\/R09 \n\r\t\f\v\0aZ#[]%", 22};
  std::mt19937 rng(3);
  for (int round = 0; round < 100000; ++round) {
    std::vector<byte> data(rng() % (round % 100 == 0 ? 3000 : 12));
    for (byte& c : data) {
      c = static_cast<byte>(round % 3 == 0 ? rng() : classes[rng() % classes.size()]);
      if (rng() % 3 == 0) c = static_cast<byte>(255 - c);
    }
    const exact_buffer e = exact(data);
    expect_same(e.bytes.get(), e.len);
  }
}

TEST(FastPaths, ReferencesCollectedMatchTheDigitWalk) {
  for_random_buffers([](const byte* b, int len, std::mt19937&) {
    int* refs = nullptr;
    int count = 0, cap = 0;
    ASSERT_EQ(collect_refs(reinterpret_cast<const char*>(b), len, refs, count, cap), 1);
    const std::vector<int> collected(refs, refs + count);
    std::free(refs);
    ASSERT_EQ(collected, plain_collect_refs(b, len));
  });
}

// The index against the walk it replaces (an index that could not be built walks the table).
TEST(FastPaths, IndexedRecordLookupsMatchTheTableWalk) {
  std::mt19937 rng(5);
  for (int round = 0; round < 200; ++round) {
    std::vector<obj_entry> table(rng() % 60);
    for (obj_entry& e : table) e.num = static_cast<int>(rng() % 40) - 2;
    const int count = static_cast<int>(table.size());
    record_index index, walk;
    build_record_index(table.data(), count, index);
    for (int num = -3; num < 42; ++num)
      ASSERT_EQ(first_record(table.data(), count, index, num), first_record(table.data(), count, walk, num));

    const exact_buffer text = exact(random_buffer(rng, static_cast<int>(rng() % 60)));
    const char* t = reinterpret_cast<const char*>(text.bytes.get());
    std::unique_ptr<char, decltype(&std::free)> fast(fix_kids_counts(t, text.len, table.data(), count, index), &std::free);
    std::unique_ptr<char, decltype(&std::free)> slow(fix_kids_counts(t, text.len, table.data(), count, walk), &std::free);
    ASSERT_EQ(fast == nullptr, slow == nullptr);
    if (fast) {
      ASSERT_STREQ(fast.get(), slow.get());
    }
  }
}

}  // namespace
