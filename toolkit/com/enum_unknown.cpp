#include "enum_unknown.h"

#include "enumerator.h"

namespace quillon {
namespace {

struct UnknownPolicy {
  using Out = IUnknown*;
  static void CopyOut(const ComPtr<IUnknown>& p, IUnknown*& out) { out = ComPtr<IUnknown>(p).Detach(); }
  static void Discard(IUnknown*& out) {
    if (out) out->Release();
    out = nullptr;
  }
};

}  // namespace

using TEnumUnknown = TEnum<IEnumUnknown, ComPtr<IUnknown>, UnknownPolicy>;

ComPtr<IEnumUnknown> MakeEnumUnknown(const LogSink& log, std::vector<ComPtr<IUnknown>> entries, ULONG position) {
  auto snapshot = std::make_shared<const std::vector<ComPtr<IUnknown>>>(std::move(entries));
  return ComPtr<IEnumUnknown>(MakeCom<TEnumUnknown>(log, std::move(snapshot), position).Get());
}

}  // namespace quillon
