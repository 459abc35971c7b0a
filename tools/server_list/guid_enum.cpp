#include "guid_enum.h"

#include <memory>

#include "enumerator.h"
#include "process_reference.h"

namespace serverlist {
namespace {

using quillon::ComPtr;

struct GuidPolicy {
  using Out = GUID;
  // Clients of these interfaces loop while Next answers S_OK, the standard
  // IEnumXXXX contract.
  static constexpr HRESULT kNothingLeft = S_FALSE;
  static void CopyOut(const GUID& g, GUID& out) { out = g; }
  static void Discard(GUID&) {}
};

// The list and the reference that keeps the process alive for it, shared by
// an enumerator and its clones.
struct Listed {
  std::vector<GUID> guids;
  ProcessReference process;
};

template <class Interface>
ComPtr<Interface> Make(const quillon::LogSink& log, std::vector<GUID> guids) {
  using Enum = quillon::TEnum<Interface, GUID, GuidPolicy>;
  auto listed = std::make_shared<Listed>();
  listed->guids = std::move(guids);
  // The snapshot is the list, its lifetime that of the whole record.
  typename Enum::Snapshot snapshot(listed, &listed->guids);
  return ComPtr<Interface>(quillon::MakeCom<Enum>(log, std::move(snapshot), ULONG(0)).Get());
}

}  // namespace

ComPtr<IEnumGUID> MakeEnumGuid(const quillon::LogSink& log, std::vector<GUID> guids) {
  return Make<IEnumGUID>(log, std::move(guids));
}

ComPtr<IOPCEnumGUID> MakeOpcEnumGuid(const quillon::LogSink& log, std::vector<GUID> guids) {
  return Make<IOPCEnumGUID>(log, std::move(guids));
}

}  // namespace serverlist
