#pragma once
// The enumerators the toolkit hands out walk a snapshot shared with their
// clones. TEnumCursor gives them Skip, Reset and Clone; TEnum adds the usual
// Next into a caller's array, with Policy copying one entry out:
//   using Out = ...;                                  // element type of rgelt
//   static void CopyOut(const Stored&, Out&);         // may throw std::bad_alloc
//   static void Discard(Out&);                        // undoes CopyOut
//   static constexpr HRESULT kNothingLeft = ...;      // optional, see below
#include <objbase.h>

#include <memory>
#include <vector>

#include "com_object.h"
#include "guard.h"

namespace quillon {

// Win32 error RPC_X_ENUM_VALUE_OUT_OF_RANGE as a bare value: Next's answer
// when nothing is left (a success code, not S_FALSE).
constexpr HRESULT kEnumValueOutOfRange = 1781;

// What Next answers when nothing is left: kEnumValueOutOfRange, as the OPC
// servers' enumerators do, unless the policy names the code its interface's
// clients expect.
template <class Policy>
constexpr HRESULT NothingLeft() {
  if constexpr (requires { Policy::kNothingLeft; })
    return Policy::kNothingLeft;
  else
    return kEnumValueOutOfRange;
}

template <class Derived, class Interface, class Stored>
class TEnumCursor : public ComObject<Interface> {
 public:
  using Snapshot = std::shared_ptr<const std::vector<Stored>>;

  TEnumCursor(const LogSink& log, Snapshot items, ULONG position)
      : log_(log), items_(std::move(items)), position_(position) {}

  STDMETHODIMP Skip(ULONG celt) override {
    if (celt == 0) return E_INVALIDARG;
    if (uint64_t(position_) + celt > items_->size()) return S_FALSE;
    position_ += celt;
    return S_OK;
  }

  STDMETHODIMP Reset() override {
    position_ = 0;
    return S_OK;
  }

  STDMETHODIMP Clone(Interface** ppenum) override {
    if (!ppenum) return E_POINTER;
    *ppenum = nullptr;
    return ComGuard(log_, L"Enumerator.Clone", E_OUTOFMEMORY, [&]() -> HRESULT {
      *ppenum = MakeCom<Derived>(log_, items_, position_).Detach();
      return S_OK;
    });
  }

 protected:
  // Entries left from the position, at most Celt.
  ULONG Available(ULONG celt) const {
    ULONG left = position_ < items_->size() ? ULONG(items_->size() - position_) : 0;
    return celt < left ? celt : left;
  }

  const LogSink& log_;  // the host's, which outlives every enumerator
  Snapshot items_;
  ULONG position_;
};

template <class Interface, class Stored, class Policy>
class TEnum : public TEnumCursor<TEnum<Interface, Stored, Policy>, Interface, Stored> {
  using Base = TEnumCursor<TEnum, Interface, Stored>;

 public:
  using Out = typename Policy::Out;
  using Base::Base;

  STDMETHODIMP Next(ULONG celt, Out* rgelt, ULONG* pceltFetched) override {
    return ComGuard(this->log_, L"Enumerator.Next", E_FAIL, [&]() -> HRESULT {
      if (celt == 0) return E_INVALIDARG;
      if (!rgelt || (!pceltFetched && celt != 1)) return E_POINTER;
      ULONG n = this->Available(celt);
      if (pceltFetched) *pceltFetched = n;
      if (n == 0) return NothingLeft<Policy>();
      ULONG done = 0;
      try {
        for (; done < n; ++done) Policy::CopyOut((*this->items_)[this->position_ + done], rgelt[done]);
      } catch (const std::bad_alloc&) {
        while (done > 0) Policy::Discard(rgelt[--done]);
        if (pceltFetched) *pceltFetched = 0;
        return E_OUTOFMEMORY;
      }
      this->position_ += n;
      return n == celt ? S_OK : S_FALSE;
    });
  }
};

}  // namespace quillon
