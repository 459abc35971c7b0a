#include <gtest/gtest.h>

#include "com_object.h"
#include "enum_string.h"
#include "enum_unknown.h"
#include "enumerator.h"

using namespace quillon;

namespace {

// Enumerators log only failures none of these tests provoke.
struct SilentLog final : LogSink {
  void LogOperationError(std::wstring_view, std::wstring_view) const noexcept override {}
};
const SilentLog sink;

class Counted : public ComObject<IUnknown> {
 public:
  explicit Counted(int* alive) : alive_(alive) { ++*alive_; }
  ~Counted() override { --*alive_; }

 private:
  int* alive_;
};

std::vector<std::wstring> Fetch(IEnumString* e, ULONG celt, HRESULT* hr) {
  std::vector<LPOLESTR> out(celt, nullptr);
  ULONG fetched = 12345;
  *hr = e->Next(celt, out.data(), &fetched);
  std::vector<std::wstring> texts;
  for (ULONG i = 0; i < fetched && i < celt; ++i) {
    texts.emplace_back(out[i]);
    CoTaskMemFree(out[i]);
  }
  EXPECT_EQ(texts.size(), fetched);
  return texts;
}

}  // namespace

TEST(EnumString, NextWalksThenReportsOutOfRange) {
  auto e = MakeEnumString(sink, {L"A", L"B", L"\u6db2\u4f4d"});
  HRESULT hr;
  EXPECT_EQ(Fetch(e.Get(), 2, &hr), (std::vector<std::wstring>{L"A", L"B"}));
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(Fetch(e.Get(), 2, &hr), std::vector<std::wstring>{L"\u6db2\u4f4d"});
  EXPECT_EQ(hr, S_FALSE);
  EXPECT_TRUE(Fetch(e.Get(), 1, &hr).empty());
  EXPECT_EQ(hr, 1781);
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(Fetch(e.Get(), 5, &hr).size(), 3u);
  EXPECT_EQ(hr, S_FALSE);
}

TEST(EnumString, ZeroCountIsInvalid) {
  auto e = MakeEnumString(sink, {L"A"});
  LPOLESTR s = nullptr;
  ULONG n = 0;
  EXPECT_EQ(e->Next(0, &s, &n), E_INVALIDARG);
  EXPECT_EQ(e->Skip(0), E_INVALIDARG);
}

TEST(EnumString, SkipBeyondTheEndLeavesThePosition) {
  auto e = MakeEnumString(sink, {L"A", L"B", L"C"});
  EXPECT_EQ(e->Skip(4), S_FALSE);
  HRESULT hr;
  EXPECT_EQ(Fetch(e.Get(), 1, &hr), std::vector<std::wstring>{L"A"});
  EXPECT_EQ(e->Reset(), S_OK);
  EXPECT_EQ(e->Skip(3), S_OK);
  EXPECT_TRUE(Fetch(e.Get(), 1, &hr).empty());
  EXPECT_EQ(hr, 1781);
}

TEST(EnumString, CloneKeepsThePositionAndIsIndependent) {
  auto e = MakeEnumString(sink, {L"A", L"B", L"C"});
  ASSERT_EQ(e->Skip(1), S_OK);
  ComPtr<IEnumString> c;
  ASSERT_EQ(e->Clone(c.Put()), S_OK);
  HRESULT hr;
  EXPECT_EQ(Fetch(c.Get(), 1, &hr), std::vector<std::wstring>{L"B"});
  EXPECT_EQ(Fetch(e.Get(), 2, &hr), (std::vector<std::wstring>{L"B", L"C"}));
  EXPECT_EQ(Fetch(c.Get(), 5, &hr), std::vector<std::wstring>{L"C"});
}

TEST(EnumString, CopyDoesNotFollowTheSource) {
  std::vector<std::wstring> src{L"A"};
  auto e = MakeEnumString(sink, src);
  src[0] = L"Z";
  HRESULT hr;
  EXPECT_EQ(Fetch(e.Get(), 1, &hr), std::vector<std::wstring>{L"A"});
}

TEST(EnumUnknown, HandsOutReferencedEntriesAndReleasesThemAtTheEnd) {
  int alive = 0;
  {
    std::vector<ComPtr<IUnknown>> groups{MakeCom<Counted>(&alive), MakeCom<Counted>(&alive)};
    auto e = MakeEnumUnknown(sink, std::move(groups));
    ASSERT_EQ(alive, 2);
    IUnknown* out[5] = {};
    ULONG fetched = 0;
    EXPECT_EQ(e->Next(5, out, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    ASSERT_NE(out[0], nullptr);
    ASSERT_NE(out[1], nullptr);
    EXPECT_EQ(out[2], nullptr);
    out[0]->Release();
    out[1]->Release();
    EXPECT_EQ(alive, 2);  // still held by the enumerator's snapshot
    EXPECT_EQ(e->Next(1, out, &fetched), 1781);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(e->Reset(), S_OK);
    EXPECT_EQ(e->Skip(2), S_OK);
    ComPtr<IEnumUnknown> clone;
    ASSERT_EQ(e->Clone(clone.Put()), S_OK);
    e.Reset();
    EXPECT_EQ(alive, 2);  // the clone shares the snapshot
    EXPECT_EQ(clone->Next(1, out, &fetched), 1781);
  }
  EXPECT_EQ(alive, 0);
}
