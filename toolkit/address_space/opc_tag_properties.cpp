// The item properties of a tag: six standard ones computed from its fields,
// then the custom ones the host attached.
#include <cstring>

#include "clock.h"
#include "error_texts.h"
#include "item_id.h"
#include "locale_text.h"
#include "opc_error.h"
#include "opc_tag.h"

namespace quillon {
namespace {

constexpr int kStandardCount = int(kStandardPropertyNames.size());

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
    case 5: out = Scalar(VT_R4, context_->scanRate); break;
    default: CopyInto(out, (*properties_)[size_t(index - kStandardCount)].Value.Get()); break;
  }
}

std::wstring TOPCTag::PropertyItemId(int index) const {
  std::wstring name = index < kStandardCount ? std::wstring(kStandardPropertyNames[size_t(index)])
                                             : (*properties_)[size_t(index - kStandardCount)].ItemName;
  return JoinItemId(ItemId(), context_->host.TagQualifier, name);
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
    context_->host.LogOperationError(WidenMessage(ErrorName(hr)), L"TOPCTag.SetProp");
    return false;
  }
  r.Value = converted;
  return true;
}

}  // namespace quillon
