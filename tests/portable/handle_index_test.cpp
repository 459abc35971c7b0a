#include "handle_index.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <unordered_map>
#include <vector>

using namespace quillon;

namespace {

struct Object {
  uint32_t handle;
};
struct HandleOf {
  uint32_t operator()(const Object& o) const { return o.handle; }
};
using Index = HandleIndex<Object, HandleOf>;

}  // namespace

TEST(HandleIndex, FindsWhatWasInsertedAndRefusesZeroAndTakenHandles) {
  Index index;
  Object a{8}, b{16}, same{8}, zero{0};
  EXPECT_EQ(index.Find(8), nullptr);
  EXPECT_TRUE(index.Insert(&a));
  EXPECT_TRUE(index.Insert(&b));
  EXPECT_FALSE(index.Insert(&same));
  EXPECT_FALSE(index.Insert(&zero));
  EXPECT_EQ(index.Find(8), &a);
  EXPECT_EQ(index.Find(16), &b);
  EXPECT_EQ(index.Find(0), nullptr);
  EXPECT_EQ(index.Size(), 2u);
  EXPECT_TRUE(index.Erase(8));
  EXPECT_FALSE(index.Erase(8));
  EXPECT_EQ(index.Find(8), nullptr);
  EXPECT_EQ(index.Find(16), &b);
  // Room made ahead keeps what is in, and what comes after is found too.
  index.Reserve(1000);
  std::vector<Object> more(999);
  for (uint32_t i = 0; i < more.size(); ++i) {
    more[i].handle = 24 + 8 * i;
    ASSERT_TRUE(index.Insert(&more[i]));
  }
  EXPECT_EQ(index.Find(16), &b);
  EXPECT_EQ(index.Find(24 + 8 * 998), &more[998]);
  EXPECT_EQ(index.Size(), 1000u);
}

// Against a reference map, through growth, shrinking and long probe runs:
// handles that are aligned addresses, dense counters, and ones whose low bits
// are all zero.
TEST(HandleIndex, AgreesWithAReferenceMapThroughRandomInsertsAndErases) {
  for (unsigned shift : {3u, 0u, 20u}) {
    SCOPED_TRACE(shift);
    auto keyOf = [&](uint32_t n) { return n << shift; };  // n in 1..4095: never 0
    std::mt19937 random(shift);
    Index index;
    std::unordered_map<uint32_t, std::unique_ptr<Object>> reference;
    for (int step = 0; step < 60'000; ++step) {
      // Grows for the first half of the run, shrinks over the second.
      const bool grow = step < 30'000 ? random() % 4 != 0 : random() % 4 == 0;
      const uint32_t key = keyOf(random() % 4095 + 1);
      if (grow) {
        auto object = std::make_unique<Object>(Object{key});
        const bool fresh = reference.find(key) == reference.end();
        ASSERT_EQ(index.Insert(object.get()), fresh);
        if (fresh) reference.emplace(key, std::move(object));
      } else {
        // The index first: the reference owns the object it reads the key from.
        const bool erased = index.Erase(key);
        ASSERT_EQ(erased, reference.erase(key) == 1);
      }
      ASSERT_EQ(index.Size(), reference.size());
      if (step % 997 == 0)
        for (uint32_t n = 1; n < 4096; ++n) {
          auto it = reference.find(keyOf(n));
          ASSERT_EQ(index.Find(keyOf(n)), it == reference.end() ? nullptr : it->second.get());
        }
    }
    index.Clear();
    EXPECT_EQ(index.Size(), 0u);
    EXPECT_EQ(index.Find(keyOf(1)), nullptr);
  }
}
