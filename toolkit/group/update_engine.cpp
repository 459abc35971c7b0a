#include "update_engine.h"

#include <cmath>

#include "clock.h"

namespace quillon {

TUpdateEngine::TUpdateEngine(UpdatePort& port) : port_(port), lastUpdate_(NowOleDate()) {}

template <class Call>
void TUpdateEngine::OneTickCall(Call call) {
  if (delivering_) return;
  delivering_ = true;
  struct Lower {
    bool& flag;
    ~Lower() { flag = false; }
  } lower{delivering_};
  call();
}

void TUpdateEngine::SetActive(BOOL active) {
  if (!active == !active_) return;
  active_ = active;
  ResetTimer();
  if (!active_) return;
  port_.MarkAllInitial();
  double elapsedMs = std::fabs(NowOleDate() - lastUpdate_) * 864e5;
  if (DWORD(elapsedMs) < updateRate_) SendNow();
}

void TUpdateEngine::SetEnabled(BOOL enabled) {
  if (!enabled == !enabled_) return;
  enabled_ = enabled;
  ResetTimer();
}

void TUpdateEngine::Reenable() {
  enabled_ = -1;
  ResetTimer();
}

void TUpdateEngine::SetUpdateRate(DWORD requested, DWORD minimum) {
  updateRate_ = requested > minimum ? requested : minimum;
}

DWORD TUpdateEngine::SetKeepAlive(DWORD requested) {
  if (requested != keepAlive_) {
    keepAlive_ = requested < updateRate_ ? updateRate_ : requested;
    ResetAliveTimer();
  }
  return keepAlive_;
}

void TUpdateEngine::Stop() {
  enabled_ = FALSE;
  port_.SetUpdateTimer(0);
  port_.SetKeepAliveTimer(0);
}

void TUpdateEngine::ResetTimer() {
  port_.SetUpdateTimer(active_ && enabled_ && port_.HasSink() ? updateRate_ : 0);
}

void TUpdateEngine::ResetAliveTimer() {
  port_.SetKeepAliveTimer(0);
  if (port_.HasSink() && keepAlive_ != 0) port_.SetKeepAliveTimer(keepAlive_);
}

void TUpdateEngine::OnUpdateTimer() {
  if (active_) SendNow();
}

void TUpdateEngine::OnKeepAliveTimer() {
  OneTickCall([&] { port_.DeliverKeepAlive(); });
}

void TUpdateEngine::SendNow() {
  OneTickCall([&] { port_.DeliverUpdate(); });
}

void TUpdateEngine::Updated(double now) {
  lastUpdate_ = now;
  ResetAliveTimer();
}

std::vector<TOPCItem*> TakeChangedItems(TItemSet& items, float groupDeadband) {
  // Only items whose tag moved (or whose test could answer differently)
  // since the last tick can have changed: the others are not looked at. The
  // taken list is filtered where it is: a first tick of 100,000 items needs
  // no second list of them.
  std::vector<TOPCItem*> changed = items.TakePending();
  std::erase_if(changed, [&](TOPCItem* item) {
    return !(item->Active() && (item->TagRemoved() || item->Tag().CheckAccess(OPC_READABLE) == S_OK) &&
             item->HasChanged(groupDeadband));
  });
  return changed;
}

}  // namespace quillon
