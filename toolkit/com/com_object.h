#pragma once
// IUnknown for the toolkit's COM objects: one reference count, and a
// QueryInterface that answers IUnknown and each listed interface. Objects are
// made with MakeCom and die with their last Release, never by delete elsewhere.
#include <objbase.h>

#include <utility>

#include "com_ptr.h"

namespace quillon {

template <class First, class... Rest>
class ComObject : public First, public Rest... {
 public:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown)
      *ppv = static_cast<First*>(this);
    else if (!((riid == __uuidof(First) && (*ppv = static_cast<First*>(this))) || ... ||
               (riid == __uuidof(Rest) && (*ppv = static_cast<Rest*>(this)))))
      *ppv = QueryOther(riid);
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  LONG References() const { return refs_; }

  STDMETHODIMP_(ULONG) AddRef() override { return ULONG(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return ULONG(n);
  }

 protected:
  virtual ~ComObject() = default;
  // Base interfaces and interfaces answered conditionally: nullptr for none.
  virtual void* QueryOther(REFIID) { return nullptr; }

 private:
  LONG refs_ = 0;
};

template <class T, class... Args>
ComPtr<T> MakeCom(Args&&... args) {
  return ComPtr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace quillon
