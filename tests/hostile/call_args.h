#pragma once
// Argument arrays the call tables share: counts with arrays sized to them
// (never shorter: the proxy would read beyond them), or a huge count with no
// array, which the marshaller refuses before sending.
#include <algorithm>
#include <string>
#include <vector>

#include "session.h"

namespace hostile {

struct Sized {
  DWORD count;
  bool huge;  // no array goes with it
  size_t Slots() const { return huge ? 1 : std::max<size_t>(count, 1); }
  template <class T>
  T* Of(std::vector<T>& v) const {
    return huge ? nullptr : v.data();
  }
};

inline Sized CountFor(Session& s) {
  if (s.rnd.Chance(4)) return {s.rnd.HugeCount(), true};
  return {s.rnd.Count(), false};
}

inline std::vector<DWORD> HandlesFor(Session& s, const Sized& n, const std::vector<DWORD>& live,
                                     const std::vector<DWORD>& stale) {
  std::vector<DWORD> h(n.Slots());
  for (auto& x : h) x = s.rnd.Handle(live, stale);
  return h;
}

// Item IDs that stay alive for one call, and their pointer array; a NULL
// element where the array's pointers are unique.
struct Ids {
  std::vector<std::wstring> texts;
  std::vector<LPWSTR> ptrs;
  std::string shown;
  Ids(Session& s, const Sized& n, bool nullElements) : texts(n.Slots()), ptrs(n.Slots()) {
    for (size_t i = 0; i < texts.size(); ++i) {
      Text t = s.rnd.ItemId(KnownIds());
      texts[i] = std::move(t.value);
      ptrs[i] = nullElements && s.rnd.Chance(3) ? nullptr : texts[i].data();
      if (i < 3) shown += (i ? "," : "[") + (ptrs[i] ? t.shown : std::string("NULL"));
    }
    shown += texts.size() > 3 ? ",...]" : "]";
  }
};

}  // namespace hostile
