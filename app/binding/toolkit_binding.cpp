#include "toolkit_binding.h"

#include <stdexcept>

#include "ansi_codepage_win.h"
#include "data_type_table.h"
#include "tag.h"
#include "tag_manager.h"
#include "text_format.h"
#include "value_conversion.h"

namespace opclumbra {
namespace {

TToolkitBinding* instance = nullptr;
constexpr WORD kQualityUncertain = 0x40;
constexpr WORD kQualityGood = 0xC0;
constexpr WORD kReadWrite = 3;

std::u16string Utf16(const char* s) {
  std::u16string out;
  for (; *s; ++s) out.push_back(char16_t(static_cast<unsigned char>(*s)));
  return out;
}

// "prefix[ a ]middle[ b ]..." messages of the log, formatted in UTF-16.
std::u16string Format(std::u16string_view pattern, std::initializer_list<std::u16string> args) {
  std::u16string out;
  auto arg = args.begin();
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == u'%' && i + 1 < pattern.size() && pattern[i + 1] == u's' && arg != args.end()) {
      out += *arg++;
      ++i;
    } else {
      out.push_back(pattern[i]);
    }
  }
  return out;
}

}  // namespace

TToolkitBinding::TToolkitBinding(TTagManager& manager, BindingHost& host) : manager_(manager), host_(host) {
  instance = this;
}

TToolkitBinding::~TToolkitBinding() {
  if (instance == this) instance = nullptr;
}

std::string TToolkitBinding::Ansi(const std::u16string& text) {
  if (auto bytes = WindowsAnsiCodePage().Encode(text)) return *bytes;
  host_.AddLogLine(u"文本[ " + text + u" ]无法用当前代码页表示!");
  return {};
}

void TToolkitBinding::Start() {
  ending_ = false;
  if (CreateServer(Ansi(manager_.ClassID()).c_str(), 1000)) {
    SetServerNotify(OnServer);
    SetWriteCallback(OnWrite);
    SetReadCallback(OnRead);
    SetLogNotify(OnLog);
    SetServerState(1);
    host_.StartClock();
  }
  host_.AddLogLine(u"ClassID=" + manager_.ClassID());
  host_.AddLogLine(u"ProgID=" + manager_.ProgID());
  host_.AddLogLine(u"Description=" + manager_.Description());
  host_.AddLogLine(u"UpdateRate=" + DecimalText(manager_.UpdateRate()));
  for (size_t i = 0; i < manager_.ChildCount(); ++i)
    if (auto* tag = dynamic_cast<TTag*>(&manager_.Child(i))) RegisterTagTree(*tag, nullptr);
}

void TToolkitBinding::RegisterTagTree(TTag& tag, TagHandle parent) {
  const DataTypeEntry& type = DataTypeTable::Lookup(tag.DataType());
  TagHandle handle = RegTagEx(parent, Ansi(tag.Name()).c_str(), type.varType, kReadWrite);
  tag.SetHandle(handle);
  if (!handle) {
    host_.AddLogLine(Format(u"注册标签[ %s ]错误!", {tag.NamePath()}));
    return;
  }
  if (tag.TagType() == TTag::Leaf) {
    try {
      VARIANT value = TextToVariant(tag.InitValue(), type.varType);
      if (UpdateTag(handle, value, kQualityUncertain)) {
        tag.SetValue(FromVariant(value));
        tag.SetQuality(kQualityUncertain);
        tag.SetTimeStamp(NowLocalDays());
      }
      VariantClear(&value);
    } catch (const std::exception&) {
      host_.AddLogLine(Format(u"标签[ %s ]初始值[ %s ]与数据类型[ %s ]不匹配!",
                              {tag.NamePath(), tag.InitValue(), std::u16string(type.messageName)}));
    }
  }
  for (size_t i = 0; i < tag.ChildCount(); ++i)
    if (auto* child = dynamic_cast<TTag*>(&tag.Child(i))) RegisterTagTree(*child, handle);
}

void TToolkitBinding::ApplyClientWrite(TTag& tag, const VARIANT& value) {
  if (!tag.Handle()) return;
  if (UpdateTag(tag.Handle(), value, kQualityGood)) {
    tag.SetQuality(kQualityGood);
    tag.SetValue(FromVariant(value));
    tag.SetTimeStamp(NowLocalDays());
    host_.RefreshRow(tag);
    return;
  }
  try {
    host_.AddLogLine(Format(u"更新标签[ %s ]数据[ %s ]错误!", {tag.NamePath(), VariantText(value)}));
  } catch (const std::exception& e) {
    host_.AddLogLine(Format(u"更新标签[ %s ]异常[ %s ]错误!", {tag.NamePath(), Utf16(e.what())}));
  }
}

void TToolkitBinding::End() {
  // Server objects destroyed from here reach OnServer; the count returning
  // to 0 must not start the Exit command a second time.
  ending_ = true;
  ShutDown();
  SetServerNotify(nullptr);
  SetReadCallback(nullptr);
  SetWriteCallback(nullptr);
  FreeServer();
}

bool TToolkitBinding::ReadyToRegister() {
  if (manager_.ClassID().empty() || manager_.ProgID().empty()) {
    host_.AddLogLine(u"服务器的ClassID和ProgID不能为空!");
    return false;
  }
  // The toolkit says why a registration failed only in its log, which a
  // program that never started the server has not installed yet.
  SetLogNotify(OnLog);
  return true;
}

bool TToolkitBinding::Register(const std::wstring& programPath) {
  if (!ReadyToRegister()) return false;
  std::u16string path(programPath.begin(), programPath.end());
  return RegServer(Ansi(manager_.ClassID()).c_str(), Ansi(manager_.ProgID()).c_str(),
                   Ansi(manager_.Description()).c_str(), Ansi(path).c_str()) != 0;
}

bool TToolkitBinding::Unregister() {
  if (!ReadyToRegister()) return false;
  return UnregServer(Ansi(manager_.ClassID()).c_str(), Ansi(manager_.ProgID()).c_str()) != 0;
}

void __stdcall TToolkitBinding::OnRead(TagHandle handle, VARIANT* value, WORD* quality, FILETIME* timeStamp,
                                       HRESULT* result) {
  TTag* tag = instance ? instance->manager_.FindByHandle(handle) : nullptr;
  if (!tag) {
    *result = S_FALSE;
    return;
  }
  try {
    VARIANT copy = ToVariant(tag->Value());
    *value = copy;
    *quality = tag->Quality();
    *timeStamp = LocalDaysToUtc(tag->TimeStamp());
    *result = S_OK;
  } catch (...) {
    *result = S_FALSE;
  }
}

void __stdcall TToolkitBinding::OnWrite(TagHandle handle, VARIANT value, HRESULT* result) {
  TTag* tag = instance ? instance->manager_.FindByHandle(handle) : nullptr;
  if (!tag) {
    *result = S_FALSE;
    return;
  }
  try {
    instance->ApplyClientWrite(*tag, value);
  } catch (...) {
  }
  *result = S_OK;
}

void __stdcall TToolkitBinding::OnServer(ServerHandle, LONG action) {
  if (!instance) return;
  if (action == 0) ++instance->connectionCount_;
  if (action == 1) --instance->connectionCount_;
  if (instance->connectionCount_ == 0 && !instance->ending_) instance->host_.RunExit();
}

void __stdcall TToolkitBinding::OnLog(BSTR text) {
  // The line is the callback's to free. It stays UTF-16 all the way to the
  // log pane, so nothing is lost to the code page.
  if (instance && text)
    instance->host_.AddLogLine(std::u16string(reinterpret_cast<const char16_t*>(text), SysStringLen(text)));
  SysFreeString(text);
}

}  // namespace opclumbra
