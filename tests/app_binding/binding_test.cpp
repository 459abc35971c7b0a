// The toolkit binding in one process with the real Quillon.dll: publishing the
// tree, the echo of client writes, device reads, logging and the connection count.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tag.h"
#include "tag_manager.h"
#include "toolkit_binding.h"
#include "value_conversion.h"

using namespace opclumbra;

namespace {

struct RecordingHost : BindingHost {
  std::vector<std::u16string> lines;
  int exits = 0, refreshed = 0, clocks = 0;
  void AddLogLine(const std::u16string& line) override { lines.push_back(line); }
  void RunExit() override { ++exits; }
  void RefreshRow(TTag&) override { ++refreshed; }
  void StartClock() override { ++clocks; }
  bool Has(const std::u16string& line) const {
    for (const auto& l : lines)
      if (l == line) return true;
    return false;
  }
};

std::u16string NewClassId() {
  GUID g;
  CoCreateGuid(&g);
  wchar_t w[40];
  StringFromGUID2(g, w, 40);
  return std::u16string(w, w + 38);
}

TTag& Leaf(TNamedItem& owner, const char16_t* name, uint16_t type, const char16_t* init) {
  TTag& t = TTag::Create(owner);
  t.SetName(name);
  t.SetTagType(TTag::Leaf);
  t.SetDataType(type);
  t.SetInitValue(init);
  return t;
}

class Binding : public ::testing::Test {
 protected:
  void SetUp() override {
    manager.SetClassID(NewClassId());
    TTag& area = TTag::Create(manager);
    area.SetName(u"Area1");
    count = &Leaf(area, u"Count", 0, u"12");
    bad = &Leaf(area, u"Bad", 0, u"abc");
    level = &Leaf(area, u"Level", 1, u"0.5");
    flag = &Leaf(manager, u"Flag", 2, u"True");
    none = &Leaf(manager, u"Nothing", 4, u"");
    binding.Start();
  }
  void TearDown() override { binding.End(); }

  TTagManager manager;
  RecordingHost host;
  TToolkitBinding binding{manager, host};
  TTag *count = nullptr, *bad = nullptr, *level = nullptr, *flag = nullptr, *none = nullptr;
};

}  // namespace

TEST_F(Binding, StartLogsTheParametersAndPublishesInitialValues) {
  EXPECT_EQ(host.clocks, 1);
  ASSERT_GE(host.lines.size(), 4u);
  EXPECT_EQ(host.lines[0], u"ClassID=" + manager.ClassID());
  EXPECT_EQ(host.lines[1], u"ProgID=OPC.Lumbra.1");
  EXPECT_EQ(host.lines[2], u"Description=OPC Lumbra");
  EXPECT_EQ(host.lines[3], u"UpdateRate=1000");
  EXPECT_NE(count->Handle(), nullptr);
  EXPECT_EQ(std::get<std::int32_t>(count->Value()), 12);
  EXPECT_EQ(count->Quality(), 0x40);
  EXPECT_GT(count->TimeStamp(), 40000.0);
  EXPECT_EQ(std::get<double>(level->Value()), 0.5);
  EXPECT_TRUE(std::get<bool>(flag->Value()));
  // A leaf without a type is registered but gets no value and no message.
  EXPECT_NE(none->Handle(), nullptr);
  EXPECT_EQ(none->Quality(), 0);
  EXPECT_TRUE(host.Has(u"标签[ Area1.Bad ]初始值[ abc ]与数据类型[ 整数 ]不匹配!"));
  EXPECT_NE(bad->Handle(), nullptr);
  EXPECT_EQ(bad->Quality(), 0);
}

TEST_F(Binding, AClientWriteIsEchoedWithGoodQuality) {
  VARIANT v;
  V_VT(&v) = VT_R8;
  V_R8(&v) = 3.5;
  HRESULT result = E_FAIL;
  TToolkitBinding::OnWrite(level->Handle(), v, &result);
  EXPECT_EQ(result, S_OK);
  EXPECT_EQ(std::get<double>(level->Value()), 3.5);
  EXPECT_EQ(level->Quality(), 0xC0);
  EXPECT_EQ(host.refreshed, 1);
  result = E_FAIL;
  TToolkitBinding::OnWrite(reinterpret_cast<TagHandle>(0x1234), v, &result);
  EXPECT_EQ(result, S_FALSE);
}

TEST_F(Binding, ARefusedEchoIsLoggedAndTheCopyKept) {
  VARIANT text;
  V_VT(&text) = VT_BSTR;
  V_BSTR(&text) = SysAllocString(L"xyz");
  binding.ApplyClientWrite(*count, text);
  VariantClear(&text);
  EXPECT_TRUE(host.Has(u"更新标签[ Area1.Count ]数据[ xyz ]错误!"));
  EXPECT_EQ(std::get<std::int32_t>(count->Value()), 12);
  EXPECT_EQ(host.refreshed, 0);
}

TEST_F(Binding, ADeviceReadAnswersTheProgramsCopyInUtc) {
  count->SetTimeStamp(45658.5);  // 2025-01-01 12:00 local
  VARIANT v;
  VariantInit(&v);
  WORD quality = 0;
  FILETIME ts{};
  HRESULT result = E_FAIL;
  TToolkitBinding::OnRead(count->Handle(), &v, &quality, &ts, &result);
  EXPECT_EQ(result, S_OK);
  EXPECT_EQ(V_VT(&v), VT_I4);
  EXPECT_EQ(V_I4(&v), 12);
  EXPECT_EQ(quality, 0x40);
  FILETIME expected = LocalDaysToUtc(45658.5);
  EXPECT_EQ(ts.dwLowDateTime, expected.dwLowDateTime);
  SYSTEMTIME local{2025, 1, 3, 1, 12, 0, 0, 0}, utc{};
  TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc);
  SYSTEMTIME got{};
  FileTimeToSystemTime(&ts, &got);
  EXPECT_EQ(got.wHour, utc.wHour);
  VariantClear(&v);
  TToolkitBinding::OnRead(nullptr, &v, &quality, &ts, &result);
  EXPECT_EQ(result, S_FALSE);
}

TEST_F(Binding, ExitOnlyWhenTheLastConnectionGoesAndNotWhileEnding) {
  TToolkitBinding::OnServer(nullptr, 0);
  TToolkitBinding::OnServer(nullptr, 0);
  TToolkitBinding::OnServer(nullptr, 1);
  EXPECT_EQ(host.exits, 0);
  TToolkitBinding::OnServer(nullptr, 1);
  EXPECT_EQ(host.exits, 1);
  TToolkitBinding::OnServer(nullptr, 0);
  binding.End();
  TToolkitBinding::OnServer(nullptr, 1);
  EXPECT_EQ(host.exits, 1);
  binding.Start();  // for TearDown's End
}

TEST_F(Binding, ToolkitLogLinesArriveWhole) {
  TToolkitBinding::OnLog(SysAllocString(L"[CreateServer]x"));
  EXPECT_EQ(host.lines.back(), u"[CreateServer]x");
}
