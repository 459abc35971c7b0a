#include "enum_string.h"

#include "enumerator.h"
#include "task_mem.h"

namespace quillon {
namespace {

struct StringPolicy {
  using Out = LPOLESTR;
  static void CopyOut(const std::wstring& s, LPOLESTR& out) { out = TaskMemString(s).Detach(); }
  static void Discard(LPOLESTR& out) {
    CoTaskMemFree(out);
    out = nullptr;
  }
};

}  // namespace

using TEnumString = TEnum<IEnumString, std::wstring, StringPolicy>;

ComPtr<IEnumString> MakeEnumString(const LogSink& log, std::vector<std::wstring> strings, ULONG position) {
  auto snapshot = std::make_shared<const std::vector<std::wstring>>(std::move(strings));
  return ComPtr<IEnumString>(MakeCom<TEnumString>(log, std::move(snapshot), position).Get());
}

}  // namespace quillon
