// The item properties of a tag: six standard ones computed from its fields,
// then the custom ones the host attached.
#include <cstring>

#include "../api/clock.h"
#include "../api/error_texts.h"
#include "../api/guard.h"
#include "../api/module_state.h"
#include "../api/task_mem.h"
#include "item_id.h"
#include "opc_error.h"
#include "opc_tag.h"

namespace quillon {
namespace {

constexpr int kStandardCount = int(kStandardPropertyNames.size());

bool SameTextIgnoreCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), int(a.size()), b.data(),
                        int(b.size())) == CSTR_EQUAL;
}

VARIANT Scalar(VARTYPE vt, LONG v) {
  VARIANT x;
  VariantInit(&x);
  V_VT(&x) = vt;
  if (vt == VT_I2)
    V_I2(&x) = SHORT(v);
  else if (vt == VT_R4)
    V_R4(&x) = FLOAT(v);
  else
    V_I4(&x) = v;
  return x;
}

void CopyInto(VARIANT& out, const VARIANT& v) {
  HRESULT hr = VariantCopy(&out, const_cast<VARIANT*>(&v));
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
}

}  // namespace

int TOPCTag::PropertyCount() const { return kStandardCount + (properties_ ? int(properties_->size()) : 0); }

int TOPCTag::IndexOfPropertyId(DWORD propId) const {
  if (propId >= 1 && propId <= DWORD(kStandardCount)) return int(propId) - 1;
  if (properties_)
    for (size_t k = 0; k < properties_->size(); ++k)
      if ((*properties_)[k].PropID == propId) return kStandardCount + int(k);
  return -1;
}

int TOPCTag::IndexOfPropertyName(std::wstring_view name) const {
  for (int i = 0; i < kStandardCount; ++i)
    if (SameTextIgnoreCase(name, kStandardPropertyNames[size_t(i)])) return i;
  if (properties_)
    for (size_t k = 0; k < properties_->size(); ++k)
      if (SameTextIgnoreCase(name, (*properties_)[k].ItemName)) return kStandardCount + int(k);
  return -1;
}

DWORD TOPCTag::PropertyIdAt(int index) const {
  return index < kStandardCount ? DWORD(index + 1) : (*properties_)[size_t(index - kStandardCount)].PropID;
}

std::wstring TOPCTag::PropertyDescriptionAt(int index) const {
  return index < kStandardCount ? kStandardPropertyDescriptions[size_t(index)]
                                : (*properties_)[size_t(index - kStandardCount)].Description;
}

VARTYPE TOPCTag::PropertyTypeAt(int index) const {
  switch (index) {
    case 0: case 2: return VT_I2;
    case 1: return canonicalDataType_;
    case 3: return VT_DATE;
    case 4: return VT_I4;
    case 5: return VT_R4;
    default: return (*properties_)[size_t(index - kStandardCount)].DataType;
  }
}

void TOPCTag::PropertyValueAt(int index, VARIANT& out) const {
  switch (index) {
    case 0: out = Scalar(VT_I2, canonicalDataType_); break;
    case 1: CopyInto(out, value_.Get()); break;
    case 2: out = Scalar(VT_I2, quality_); break;
    case 3:
      V_VT(&out) = VT_DATE;
      V_DATE(&out) = FileTimeToOleDate(timeStamp_);
      break;
    case 4: out = Scalar(VT_I4, accessRights_); break;
    case 5: out = Scalar(VT_R4, Module().ServerScanRate); break;
    default: CopyInto(out, (*properties_)[size_t(index - kStandardCount)].Value.Get()); break;
  }
}

std::wstring TOPCTag::PropertyItemId(int index) const {
  std::wstring name = index < kStandardCount ? std::wstring(kStandardPropertyNames[size_t(index)])
                                             : (*properties_)[size_t(index - kStandardCount)].ItemName;
  return JoinItemId(ItemId(), Module().TagQualifier, name);
}

HRESULT TOPCTag::QueryAvailableProperties(DWORD* count, DWORD** ids, LPWSTR** descriptions,
                                          VARTYPE** types) const {
  return ComGuard(L"TOPCTag.QueryAvailableProperties", E_FAIL, [&] {
    const int n = PropertyCount();
    TaskMem<DWORD> idArray(static_cast<size_t>(n));
    TaskMem<LPWSTR> textArray(static_cast<size_t>(n));
    TaskMem<VARTYPE> typeArray(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
      idArray[size_t(i)] = PropertyIdAt(i);
      textArray[size_t(i)] = TaskMemString(PropertyDescriptionAt(i)).Detach();
      typeArray[size_t(i)] = PropertyTypeAt(i);
    }
    *count = DWORD(n);
    *ids = idArray.Detach();
    *descriptions = textArray.Detach();
    *types = typeArray.Detach();
    return S_OK;
  });
}

HRESULT TOPCTag::GetItemProperties(DWORD count, const DWORD* ids, VARIANT** values, HRESULT** errors) const {
  return ComGuard(L"TOPCTag.GetItemProperties", E_FAIL, [&] {
    TaskMem<VARIANT> valueArray(count);  // zero-filled: every entry VT_EMPTY
    TaskMem<HRESULT> errorArray(count);
    HRESULT result = S_OK;
    for (DWORD i = 0; i < count; ++i) {
      int index = IndexOfPropertyId(ids[i]);
      if (index < 0) {
        errorArray[i] = OPC_E_INVALID_PID;
        result = S_FALSE;
      } else {
        PropertyValueAt(index, valueArray[i]);
        errorArray[i] = S_OK;
      }
    }
    *values = valueArray.Detach();
    *errors = errorArray.Detach();
    return result;
  });
}

HRESULT TOPCTag::LookupItemIDs(DWORD count, const DWORD* ids, HRESULT** errors, LPWSTR** itemIds) const {
  return ComGuard(L"TOPCTag.LookupItemIDs", E_FAIL, [&] {
    TaskMem<HRESULT> errorArray(count);
    TaskMem<LPWSTR> idArray(count);
    HRESULT result = S_OK;
    for (DWORD i = 0; i < count; ++i) {
      int index = IndexOfPropertyId(ids[i]);
      if (index < 0) {
        errorArray[i] = OPC_E_INVALID_PID;
        result = S_FALSE;
      } else {
        idArray[i] = TaskMemString(PropertyItemId(index)).Detach();
        errorArray[i] = S_OK;
      }
    }
    *errors = errorArray.Detach();
    *itemIds = idArray.Detach();
    return result;
  });
}

namespace {

// One OPCITEMPROPERTY for the property at Index of Tag.
void FillProperty(const TOPCTag& tag, int index, bool withValue, OPCITEMPROPERTY& p) {
  p.vtDataType = tag.PropertyTypeAt(index);
  p.dwPropertyID = tag.PropertyIdAt(index);
  p.szItemID = TaskMemString(tag.PropertyItemId(index)).Detach();
  p.szDescription = TaskMemString(tag.PropertyDescriptionAt(index)).Detach();
  if (withValue) tag.PropertyValueAt(index, p.vValue);
  p.hrErrorID = S_OK;
}

// Fills List with one entry per requested ID (Ids), or with every property
// when Ids is null; an array of 40-byte entries, zero-filled.
void FillList(const TOPCTag& tag, bool withValues, DWORD count, const DWORD* ids, OPCITEMPROPERTIES& list) {
  list.dwNumProperties = count;
  list.hrErrorID = S_OK;
  if (count == 0) return;
  TaskMem<OPCITEMPROPERTY> entries(count);
  for (DWORD i = 0; i < count; ++i) {
    int index = ids ? tag.IndexOfPropertyId(ids[i]) : int(i);
    if (index < 0) {
      entries[i].hrErrorID = OPC_E_INVALID_PID;
      list.hrErrorID = S_FALSE;
    } else {
      FillProperty(tag, index, withValues, entries[i]);
    }
  }
  list.pItemProperties = entries.Detach();
}

}  // namespace

void TOPCTag::FillBrowseElement(bool allProperties, bool withValues, OPCBROWSEELEMENT& element, DWORD count,
                                const DWORD* ids) const {
  element.szName = TaskMemString(name_).Detach();
  element.szItemID = TaskMemString(ItemId()).Detach();
  element.dwFlagValue = HasChildren() ? OPC_BROWSE_HASCHILDREN : OPC_BROWSE_ISITEM;
  if (allProperties)
    FillList(*this, withValues, DWORD(PropertyCount()), nullptr, element.ItemProperties);
  else
    FillList(*this, withValues, count, ids, element.ItemProperties);
}

void TOPCTag::FillItemProperties(bool withValues, DWORD count, OPCITEMPROPERTIES& list, const DWORD* ids) const {
  FillList(*this, withValues, count, ids, list);
}

bool TOPCTag::AddProperty(std::wstring itemName, DWORD propId, std::wstring description, VARTYPE dataType) {
  if (propId <= DWORD(kStandardCount) || IndexOfPropertyId(propId) >= 0) return false;
  if (!properties_) properties_ = std::make_unique<std::vector<PropertyRecord>>();
  PropertyRecord& r = properties_->emplace_back();
  r.PropID = propId;
  r.ItemName = std::move(itemName);
  r.Description = std::move(description);
  r.DataType = dataType;
  V_VT(&r.Value.Get()) = dataType;  // a zero value of its type
  return true;
}

bool TOPCTag::SetProperty(DWORD propId, const VARIANT& value) {
  int index = IndexOfPropertyId(propId);
  if (index < kStandardCount) return false;
  PropertyRecord& r = (*properties_)[size_t(index - kStandardCount)];
  Variant converted;
  HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(&value), 0, r.DataType);
  if (FAILED(hr)) {
    LogOperationError(WidenMessage(ErrorName(hr)), L"TOPCTag.SetProp");
    return false;
  }
  r.Value = converted;
  return true;
}

}  // namespace quillon
