// The object table: growth, failed growth, ownership of what records carry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "pdfrepair/objtable.h"

namespace {

using namespace pdfrepair;

TEST(ObjvecPush, GrowsTo128ThenDoubles) {
  objvec v;
  struct Step {
    int appends_so_far, cap;
  } steps[] = {{1, 128}, {128, 128}, {129, 256}, {256, 256}, {257, 512}};
  int appended = 0;
  for (const Step& s : steps) {
    while (appended < s.appends_so_far) objvec_push(v, obj_entry{.num = ++appended});
    EXPECT_EQ(v.count, s.appends_so_far);
    EXPECT_EQ(v.cap, s.cap);
  }
  for (int i = 0; i < v.count; ++i) ASSERT_EQ(v.items[i].num, i + 1);
}

TEST(ObjvecPush, KeepsDuplicatesInDiscoveryOrder) {
  objvec v;
  objvec_push(v, obj_entry{.num = 5, .hdr_off = 10});
  objvec_push(v, obj_entry{.num = 5, .hdr_off = 90});
  ASSERT_EQ(v.count, 2);
  EXPECT_EQ(v.items[0].hdr_off, 10);
  EXPECT_EQ(v.items[1].hdr_off, 90);
}

TEST(ObjvecPush, FailedGrowthLeavesTheTableIntact) {
  // A table whose doubled capacity no longer fits a signed 32-bit count cannot grow.
  objvec v;
  objvec_push(v, obj_entry{.num = 1});
  obj_entry* const items = v.items;
  v.count = v.cap = 1 << 30;
  objvec_push(v, obj_entry{.num = 2});
  EXPECT_EQ(v.items, items);
  EXPECT_EQ(v.count, 1 << 30);
  EXPECT_EQ(v.cap, 1 << 30);
  EXPECT_EQ(v.items[0].num, 1);
  v.count = v.cap = 1;  // back to the truth before the table releases itself
}

// A record that owns a reference array and a dictionary text, as the repair builds them.
obj_entry owning_record(int num) {
  obj_entry rec{.num = num};
  rec.refs = static_cast<int*>(std::malloc(4 * sizeof(int)));
  rec.ref_count = 1;
  rec.ref_cap = 4;
  rec.dict_text = static_cast<char*>(std::malloc(5));
  std::memcpy(rec.dict_text, "<<>>", 5);
  rec.dict_len = 4;
  return rec;
}

TEST(ObjEntryRelease, FreesWhatTheRecordOwns) {
  objvec v;
  objvec_push(v, owning_record(3));  // the table takes both over
  obj_entry_release(v.items[0]);
  EXPECT_EQ(v.items[0].refs, nullptr);
  EXPECT_EQ(v.items[0].dict_text, nullptr);
  EXPECT_EQ(v.items[0].ref_count, 0);
  EXPECT_EQ(v.items[0].ref_cap, 0);
  EXPECT_EQ(v.items[0].dict_len, 0);
  // This one is released with the table; the leak checker watches.
  objvec_push(v, owning_record(4));
}

}  // namespace
