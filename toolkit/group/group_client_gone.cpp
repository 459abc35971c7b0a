// A client that is gone: once a call on one of the group's sinks fails in a
// way that means no later call can reach the client, the group stops calling
// it, and the server object the client left behind is reclaimed as a forced
// removal would, so that its groups stop ticking and the host hears of it.
#include "client_gone.h"
#include "error_texts.h"
#include "group.h"
#include "group_window.h"
#include "logging.h"

namespace quillon {
namespace {

// No client serves this interface: asking for it goes to the client each
// time, and a proxy whose client is gone answers with the RPC failure. (Wine's
// proxies answer E_NOINTERFACE either way, so under Wine a DA 1.0 sink is
// found gone only through a failing callback of another group of its client.)
constexpr IID kProbeIid = {0x2ad57124, 0x1bab, 0x492a, {0x99, 0x45, 0xf1, 0x3b, 0xbd, 0x68, 0x58, 0x3e}};
constexpr DWORD kProbeIntervalMs = 1000;

}  // namespace

void TGroup::SinkFailed(HRESULT hr, const wchar_t* call) {
  if (!ClientGone(hr)) return;
  if (dataPoint_) dataPoint_->Drop();
  dataCallback_.Reset();
  adviseSink_.Reset();
  engine_.ResetTimer();
  const std::wstring code = WidenMessage(ErrorName(hr));
  Log().LogOperationError(L"Group " + name_ + L": the client is gone (" + code + L" from " + call +
                        L"), its callbacks stop and its server object is reclaimed",
                    L"ClientGone");
  if (window_) PostMessageW(window_, kClientGoneMessage, 0, 0);
}

void TGroup::ReclaimGoneClient() {
  // A public group is shared by every client: only the gone client's
  // connection goes, the group and the server that made it stay.
  if (isPublic_ || !server_) return;
  ComPtr<IOPCServer> keep(server_->ComServer());
  server_->ReclaimClient();
}

HRESULT TGroup::ProbeSink(IUnknown* sink) {
  const DWORD now = GetTickCount();
  if (lastProbe_ != 0 && now - lastProbe_ < kProbeIntervalMs) return S_OK;
  lastProbe_ = now ? now : 1;
  ComPtr<IUnknown> answer;
  return sink->QueryInterface(kProbeIid, reinterpret_cast<void**>(answer.Put()));
}

}  // namespace quillon
