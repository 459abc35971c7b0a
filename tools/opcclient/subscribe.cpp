// Subscribing: an active group whose changes arrive at this client's
// IOPCDataCallback, advised through the group's connection point. This thread
// is a single-threaded apartment, so the callbacks come in through its
// message queue, which is pumped until the time is up, enough changes were
// seen, or Ctrl+C.
#include <utility>
#include <vector>

#include "com_object.h"
#include "commands.h"
#include "group.h"
#include "output.h"
#include "unique_handle.h"
#include "values.h"

namespace opcclient {
namespace {

class DataSink final : public quillon::ComObject<IOPCDataCallback> {
 public:
  explicit DataSink(std::vector<std::wstring> itemIds) : itemIds_(std::move(itemIds)) {}

  STDMETHODIMP OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT masterError, DWORD count, OPCHANDLE* clients,
                            VARIANT* values, WORD* qualities, FILETIME* times, HRESULT* errors) override {
    try {
      if (FAILED(masterError) && (!errors || count == 0)) errors_.emplace_back(L"", masterError);
      if (!clients || !values || !qualities || !times) return S_OK;
      for (DWORD i = 0; i < count; ++i) {
        const std::wstring& id = ItemId(clients[i]);
        if (errors && FAILED(errors[i])) {
          errors_.emplace_back(id, errors[i]);
          continue;
        }
        PrintLine(ValueLine(id, values[i], qualities[i], times[i]));
        ++changes_;
      }
      return S_OK;
    } catch (...) {
      // Nothing may unwind into the server's call.
      return E_FAIL;
    }
  }
  STDMETHODIMP OnReadComplete(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD, OPCHANDLE*, VARIANT*, WORD*, FILETIME*,
                              HRESULT*) override {
    return S_OK;
  }
  STDMETHODIMP OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*, HRESULT*) override { return S_OK; }
  STDMETHODIMP OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }

  DWORD Changes() const { return changes_; }
  // Item errors seen in callbacks; reported outside them, because their text
  // comes from the server, which is busy calling us while a callback runs.
  std::vector<std::pair<std::wstring, HRESULT>> TakeErrors() { return std::exchange(errors_, {}); }

 private:
  ~DataSink() override = default;

  const std::wstring& ItemId(OPCHANDLE client) {
    if (client < itemIds_.size()) return itemIds_[client];
    unknown_ = L"<client handle " + std::to_wstring(client) + L">";
    return unknown_;
  }

  std::vector<std::wstring> itemIds_;
  std::wstring unknown_;
  DWORD changes_ = 0;
  std::vector<std::pair<std::wstring, HRESULT>> errors_;
};

// The advice of a sink, withdrawn on scope exit.
class Advice {
 public:
  Advice(const ComPtr<IConnectionPoint>& point, IUnknown* sink, Reporter& report) : point_(point) {
    report.Check(point_->Advise(sink, &cookie_), "IConnectionPoint::Advise");
  }
  Advice(const Advice&) = delete;
  Advice& operator=(const Advice&) = delete;
  ~Advice() {
    if (cookie_) point_->Unadvise(cookie_);
  }

 private:
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

HANDLE interrupted = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
  SetEvent(interrupted);
  return TRUE;
}

// Ctrl+C and Ctrl+Break end the subscription instead of the process, so that
// the group is removed from the server.
class ConsoleInterrupt {
 public:
  ConsoleInterrupt() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    interrupted = event_.Get();
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  }
  ConsoleInterrupt(const ConsoleInterrupt&) = delete;
  ConsoleInterrupt& operator=(const ConsoleInterrupt&) = delete;
  ~ConsoleInterrupt() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    interrupted = nullptr;
  }
  HANDLE get() const { return event_.Get(); }

 private:
  quillon::UniqueHandle event_;
};

void ReportErrors(DataSink& sink, Reporter& report) {
  for (const auto& [itemId, hr] : sink.TakeErrors())
    report.ItemError(itemId.empty() ? std::string("data change") : Field(itemId), hr);
}

}  // namespace

int Subscribe(const ComPtr<IOPCServer>& server, const Options& o, Reporter& report) {
  Group group(server, report, o.rate, true, o.deadband);
  const auto items = group.AddItems(o.items);
  if (items.empty()) return report.Result();
  auto container = group.As<IConnectionPointContainer>("IConnectionPointContainer");
  ComPtr<IConnectionPoint> point;
  report.Check(container->FindConnectionPoint(__uuidof(IOPCDataCallback), point.Put()),
               "FindConnectionPoint(IOPCDataCallback)");
  if (!point) {
    report.Error("FindConnectionPoint returned no connection point");
    throw Failure{kCallFailed};
  }
  ComPtr<DataSink> sink = quillon::MakeCom<DataSink>(o.items);
  ConsoleInterrupt interrupt;
  Advice advice(point, static_cast<IOPCDataCallback*>(sink.Get()), report);

  const ULONGLONG end = GetTickCount64() + ULONGLONG(o.seconds) * 1000;
  HANDLE stop = interrupt.get();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    ReportErrors(*sink.Get(), report);
    if (o.count && sink->Changes() >= *o.count) break;
    const ULONGLONG now = GetTickCount64();
    if (now >= end) break;
    if (MsgWaitForMultipleObjects(1, &stop, FALSE, DWORD(end - now), QS_ALLINPUT) == WAIT_OBJECT_0) break;
  }
  return report.Result();
}

}  // namespace opcclient
