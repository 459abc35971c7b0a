#pragma once
// When a group sends: its active and enabled state, update rate, keep-alive
// and the time of its last update decide the window's two timers and whether
// a change goes out at once; the group does the sending through UpdatePort.
#include <windows.h>

#include <vector>

#include "item_set.h"

namespace quillon {

class UpdatePort {
 public:
  // 0 stops the timer.
  virtual void SetUpdateTimer(DWORD ms) = 0;
  virtual void SetKeepAliveTimer(DWORD ms) = 0;
  // A data callback or a DA 1.0 advise sink is connected.
  virtual bool HasSink() const = 0;
  // The group came alive: every item's state goes out at the next update.
  virtual void MarkAllInitial() = 0;
  // The changed items to the sinks, and an empty update to keep a client's link alive.
  virtual void DeliverUpdate() = 0;
  virtual void DeliverKeepAlive() = 0;

 protected:
  ~UpdatePort() = default;
};

class TUpdateEngine {
 public:
  explicit TUpdateEngine(UpdatePort& port);
  TUpdateEngine(const TUpdateEngine&) = delete;
  TUpdateEngine& operator=(const TUpdateEngine&) = delete;

  BOOL Active() const { return active_; }
  BOOL Enabled() const { return enabled_; }
  DWORD UpdateRate() const { return updateRate_; }
  DWORD KeepAlive() const { return keepAlive_; }

  // Coming alive sends the items' state at once when the last update is
  // less than one update period ago, else at the next tick.
  void SetActive(BOOL active);
  void SetEnabled(BOOL enabled);
  // A DA 1.0 advise connects: the group sends again, whatever was disabled.
  void Reenable();
  // The revised rate: never below Minimum.
  void SetUpdateRate(DWORD requested, DWORD minimum);
  // The revised time: never below the update rate.
  DWORD SetKeepAlive(DWORD requested);
  // The group is torn down: no timer runs again.
  void Stop();

  // Sinks or state changed: each timer runs exactly when it should.
  void ResetTimer();
  void ResetAliveTimer();

  void OnUpdateTimer();
  void OnKeepAliveTimer();
  void SendNow();
  // Data went out at Now (an OLE date): the keep-alive period starts again.
  void Updated(double now);

 private:
  // While a tick's call waits for its client, the runtime's modal loop may
  // dispatch this thread's timers (Windows does). A client slow to answer
  // would then get the next tick's call inside the first, and so on without
  // end, each a frame deeper on this thread's stack: one tick's call at a
  // time. What changes meanwhile stays pending for the tick after.
  template <class Call>
  void OneTickCall(Call call);

  UpdatePort& port_;
  BOOL active_ = FALSE;
  BOOL enabled_ = -1;
  DWORD updateRate_ = 0;
  DWORD keepAlive_ = 0;
  double lastUpdate_;  // OLE date, UTC
  bool delivering_ = false;
};

// The change test of one tick: the pending items that are active, readable
// (or gone from the tree, which clients hear of once) and changed by the
// item's or else the group's deadband, in order of addition.
std::vector<TOPCItem*> TakeChangedItems(TItemSet& items, float groupDeadband);

}  // namespace quillon
