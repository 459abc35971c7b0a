#include "opc_item.h"

#include <cmath>
#include <utility>

#include "guard.h"
#include "handles.h"
#include "opc_error.h"
#include "task_mem.h"

namespace quillon {
namespace {

bool IsNumeric(VARTYPE vt) {
  return vt == VT_I2 || vt == VT_I4 || vt == VT_R4 || vt == VT_R8 || vt == VT_I8;
}

double AsDouble(const VARIANT& v) {
  Variant d;
  HRESULT hr = VariantChangeType(&d, const_cast<VARIANT*>(&v), 0, VT_R8);
  if (FAILED(hr)) throw EOPC(hr);
  return V_R8(&d.Get());
}

bool SameValue(const VARIANT& a, const VARIANT& b) {
  HRESULT r = VarCmp(const_cast<VARIANT*>(&a), const_cast<VARIANT*>(&b), LOCALE_USER_DEFAULT, 0);
  if (r == VARCMP_EQ) return true;
  if (r == VARCMP_LT || r == VARCMP_GT || r == VARCMP_NULL) return false;
  throw EOPC(r);
}

}  // namespace

TOPCItem::TOPCItem(std::shared_ptr<TOPCTag> tag, const OPCITEMDEF& def)
    : tag_(std::move(tag)),
      clientHandle_(def.hClient),
      serverHandle_(NewObjectHandle(this)),
      requestedDataType_(def.vtRequestedDataType),
      active_(def.bActive != FALSE) {
  tag_->AddObserver(this);
}

TOPCItem::~TOPCItem() {
  tag_->RemoveObserver(this);
  LeavePending();
}

void TOPCItem::LeavePending() {
  if (!pending_ || pendingAt_ == kNotPending) return;
  // The last entry takes this one's place; the tick sorts the list anyway.
  TOPCItem* last = pending_->back();
  (*pending_)[pendingAt_] = last;
  last->pendingAt_ = pendingAt_;
  pending_->pop_back();
  pendingAt_ = kNotPending;
}

bool TOPCItem::GetAttributes(OPCITEMATTRIBUTES& a) const {
  return SUCCEEDED(ComGuard(tag_->Context().host, L"TOPCItem.GetDef", E_FAIL, [&] {
    TaskMem<wchar_t> itemId = TaskMemString(tag_->ItemId());
    BSTR empty = SysAllocString(L"");
    if (!empty) throw std::bad_alloc();
    a.szAccessPath = nullptr;
    a.szItemID = itemId.Detach();
    a.bActive = active_;
    a.hClient = clientHandle_;
    a.hServer = serverHandle_;
    a.dwAccessRights = tag_->AccessRights();
    a.dwBlobSize = 0;
    a.pBlob = nullptr;
    a.vtRequestedDataType = requestedDataType_;
    a.vtCanonicalDataType = tag_->CanonicalDataType();
    a.dwEUType = OPC_NOENUM;
    VariantInit(&a.vEUInfo);
    V_VT(&a.vEUInfo) = VT_BSTR;
    V_BSTR(&a.vEUInfo) = empty;
    return S_OK;
  }));
}

bool TOPCItem::GetDefinition(OPCITEMDEF& d) const {
  return SUCCEEDED(ComGuard(tag_->Context().host, L"TOPCItem.GetDef", E_FAIL, [&] {
    TaskMem<wchar_t> accessPath = TaskMemString(L"");
    TaskMem<wchar_t> itemId = TaskMemString(tag_->ItemId());
    d.szAccessPath = accessPath.Detach();
    d.szItemID = itemId.Detach();
    d.bActive = active_;
    d.hClient = clientHandle_;
    d.dwBlobSize = 0;
    d.pBlob = nullptr;
    d.vtRequestedDataType = requestedDataType_;
    d.wReserved = 0;
    return S_OK;
  }));
}

void TOPCItem::TakeFromTag() {
  unchangedAtCount_ = ~0ULL;
  value_.Copy(tag_->Value());
  quality_ = tag_->Quality();
  timeStamp_ = tag_->TimeStamp();
}

HRESULT TOPCItem::Read(OPCDATASOURCE source) {
  if (TagRemoved()) return OPC_E_UNKNOWNITEMID;
  if (FAILED(tag_->CheckAccess(OPC_READABLE))) return OPC_E_BADRIGHTS;
  HRESULT hr = S_OK;
  if (source == OPC_DS_DEVICE) {
    hr = tag_->DeviceRead();
    if (FAILED(hr)) return hr;
    if (TagRemoved()) return OPC_E_UNKNOWNITEMID;  // the host removed it while reading
  }
  TakeFromTag();
  return hr;
}

HRESULT TOPCItem::ReadMaxAge(DWORD maxAgeMs) {
  if (TagRemoved()) return OPC_E_UNKNOWNITEMID;
  if (FAILED(tag_->CheckAccess(OPC_READABLE))) return OPC_E_BADRIGHTS;
  HRESULT hr = tag_->MaxAgeRead(maxAgeMs);
  if (FAILED(hr)) return hr;
  if (TagRemoved()) return OPC_E_UNKNOWNITEMID;
  TakeFromTag();
  return hr;
}

HRESULT TOPCItem::Write(const VARIANT& v) {
  if (TagRemoved()) return OPC_E_UNKNOWNITEMID;
  if (FAILED(tag_->CheckAccess(OPC_WRITEABLE))) return OPC_E_BADRIGHTS;
  HRESULT hr = tag_->ValidateWriteValue(v);
  if (hr != S_OK) return hr;
  return tag_->DeviceWrite(v);
}

bool TOPCItem::HasChanged(float groupDeadband) {
  const bool initial = std::exchange(initial_, false);
  if (TagRemoved()) {
    // Clients hear once that the item went bad; the last value stays.
    if (quality_ == OPC_QUALITY_BAD && !initial) return false;
    quality_ = OPC_QUALITY_BAD;
    GetSystemTimeAsFileTime(&timeStamp_);
    return true;
  }
  if (initial) {
    TakeFromTag();
    return true;
  }
  const float deadband = deadbandSet_ ? deadband_ : groupDeadband;
  const uint64_t count = tag_->ChangeCount();
  if (count == unchangedAtCount_ && deadband == unchangedAtDeadband_) return false;
  try {
    const VARIANT& current = tag_->Value();
    bool changed = tag_->Quality() != quality_;
    if (!changed && IsNumeric(tag_->CanonicalDataType())) {
      double last = AsDouble(value_.Get());
      double now = AsDouble(current);
      if (last == 0) {
        changed = now != 0;
      } else {
        double percent = 100.0 * std::fabs(last - now) / std::fabs(last);
        changed = percent > deadband;
      }
    } else if (!changed) {
      changed = !SameValue(value_.Get(), current);
    }
    if (changed) {
      TakeFromTag();
    } else {
      unchangedAtCount_ = count;
      unchangedAtDeadband_ = deadband;
    }
    return changed;
  } catch (...) {
    return false;
  }
}

}  // namespace quillon
