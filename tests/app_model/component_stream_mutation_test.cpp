// Deterministic mutation fuzzing of the reader, run on every target: damaged
// copies of valid streams must be refused with EComponentStreamError, leaving the
// manager untouched, or read into a tree that writes and reads back stably
// (empty manager texts returning as their defaults).
#include <gtest/gtest.h>

#include <random>

#include "component_stream.h"
#include "component_stream_error.h"
#include "tag.h"
#include "tag_manager.h"
#include "test_code_page.h"
#include "tree_dump.h"

namespace opclumbra {
namespace {

using test::TestCodePage;

std::vector<std::vector<std::uint8_t>> Seeds() {
  std::vector<std::vector<std::uint8_t>> seeds;
  TTagManager plain;
  seeds.push_back(WriteComponentStream(plain, TestCodePage()));

  TTagManager tree;
  tree.SetPassWord(u"");
  tree.SetDescription(u"温度");
  tree.SetUpdateRate(70000);
  TTag& area = TTag::Create(tree);
  area.SetName(u"Area");
  TTag& leaf = TTag::Create(area);
  leaf.SetName(u"Leaf");
  leaf.SetTagType(TTag::Leaf);
  leaf.SetDataType(65535);
  leaf.SetInitValue(std::u16string(300, u'v'));
  TTag& other = TTag::Create(area);
  other.SetName(u"Other");
  other.SetTagType(-300);
  other.SetInitValue(u"0.5");
  TTag::Create(TTag::Create(TTag::Create(tree))).SetName(u"Deep");
  static_cast<TTag&>(tree.Child(1)).SetName(u"X");
  static_cast<TTag&>(tree.Child(1).Child(0)).SetName(u"Y");
  seeds.push_back(WriteComponentStream(tree, TestCodePage()));
  return seeds;
}

void Mutate(std::vector<std::uint8_t>& s, std::mt19937& rng) {
  auto pick = [&rng](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n)(rng); };
  switch (pick(5)) {
    case 0:  // truncation
      s.resize(pick(s.size()));
      break;
    case 1:  // byte flip
      if (!s.empty()) s[pick(s.size() - 1)] = static_cast<std::uint8_t>(pick(255));
      break;
    case 2:  // length inflation: a length field, or anything else, made large
      if (s.size() >= 4) {
        std::size_t at = pick(s.size() - 4);
        std::uint8_t high = pick(1) != 0 ? 0xFF : 0x7F;
        for (std::size_t i = 0; i < 4; ++i) s[at + i] = i == 3 ? high : static_cast<std::uint8_t>(0xFF);
      }
      break;
    case 3:  // insertion
      s.insert(s.begin() + static_cast<std::ptrdiff_t>(pick(s.size())), static_cast<std::uint8_t>(pick(255)));
      break;
    case 4:  // deletion of a range
      if (!s.empty()) {
        std::size_t at = pick(s.size() - 1);
        std::size_t count = std::min(pick(8), s.size() - at);
        s.erase(s.begin() + static_cast<std::ptrdiff_t>(at), s.begin() + static_cast<std::ptrdiff_t>(at + count));
      }
      break;
    default: {  // a range repeated: splices records and properties
      std::size_t at = pick(s.size());
      std::size_t count = std::min(pick(24), s.size() - at);
      std::vector<std::uint8_t> range(s.begin() + static_cast<std::ptrdiff_t>(at),
                                      s.begin() + static_cast<std::ptrdiff_t>(at + count));
      s.insert(s.begin() + static_cast<std::ptrdiff_t>(pick(s.size())), range.begin(), range.end());
    }
  }
}

TEST(ComponentStreamMutation, DamagedStreamsAreRefusedOrReadConsistently) {
  const auto seeds = Seeds();
  std::mt19937 rng(20261208);
  int accepted = 0;
  int refused = 0;
  for (int round = 0; round < 5000 && !HasFailure(); ++round) {
    std::vector<std::uint8_t> stream = seeds[static_cast<std::size_t>(round) % seeds.size()];
    int mutations = 1 + round % 3;
    for (int i = 0; i < mutations; ++i) Mutate(stream, rng);

    TTagManager manager;
    int handle = 0;
    TTag& tag = TTag::Create(manager);
    tag.SetName(u"Kept");
    tag.SetHandle(&handle);
    const std::string before = test::FullDump(manager);
    try {
      ReadComponentStream(stream, manager, TestCodePage());
    } catch (const EComponentStreamError&) {
      ++refused;
      EXPECT_EQ(test::FullDump(manager), before) << "round " << round;
      continue;
    }
    ++accepted;
    TTagManager again;
    ReadComponentStream(WriteComponentStream(manager, TestCodePage()), again, TestCodePage());
    EXPECT_EQ(test::StoredDump(again), test::ReloadedDump(manager)) << "round " << round;
    // From here on no manager text is empty, and the bytes are stable.
    auto written = WriteComponentStream(again, TestCodePage());
    TTagManager third;
    ReadComponentStream(written, third, TestCodePage());
    EXPECT_EQ(WriteComponentStream(third, TestCodePage()), written) << "round " << round;
  }
  // Both outcomes occur, or the mutations would not be exploring anything.
  EXPECT_GT(accepted, 50);
  EXPECT_GT(refused, 4000);
}

}  // namespace
}  // namespace opclumbra
