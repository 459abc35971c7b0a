#include "opc_tag.h"

#include <cmath>

#include "bstr.h"
#include "critical_section.h"
#include "item_id.h"
#include "locale_text.h"
#include "name_filter.h"
#include "opc_error.h"

namespace quillon {
namespace {

// The user locale's case-insensitive sort key: two names have the same key
// exactly when the locale's comparison, ignoring case, finds them equal.
std::string NameKey(std::wstring_view name) {
  if (name.empty()) return {};
  const DWORD flags = LCMAP_SORTKEY | NORM_IGNORECASE;
  int n = LCMapStringW(LOCALE_USER_DEFAULT, flags, name.data(), int(name.size()), nullptr, 0);
  if (n <= 0) throw std::runtime_error("LCMapStringW failed");
  std::string key(size_t(n), '\0');
  LCMapStringW(LOCALE_USER_DEFAULT, flags, name.data(), int(name.size()),
               reinterpret_cast<LPWSTR>(key.data()), n);
  return key;
}

FILETIME NowUtc() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return ft;
}

uint64_t Ticks(const FILETIME& ft) { return (uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

const VARIANT& Dereferenced(const VARIANT& v) {
  const VARIANT* p = &v;
  while (V_VT(p) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(p)) p = V_VARIANTREF(p);
  return *p;
}

}  // namespace

HRESULT ConversionErrorCode(HRESULT hr) {
  switch (hr) {
    case DISP_E_OVERFLOW:
    case DISP_E_TYPEMISMATCH: return hr;
    case E_OUTOFMEMORY: throw std::bad_alloc();
    default: return OPC_E_BADTYPE;
  }
}

TOPCTag::TOPCTag(std::shared_ptr<const TagContext> context, TOPCTag* parent, std::wstring name)
    : timeStamp_(NowUtc()), context_(std::move(context)), name_(std::move(name)), parent_(parent) {}

// Children that items still hold outlive this node as removed tags.
TOPCTag::~TOPCTag() {
  for (auto& c : children_) c->MarkRemoved();
}

TOPCTag* TOPCTag::AddChild(std::wstring name) {
  std::string key = NameKey(name);
  children_.push_back(std::make_shared<TOPCTag>(context_, this, std::move(name)));
  TOPCTag* child = children_.back().get();
  child->indexInParent_ = children_.size() - 1;
  TOPCTag* first = childIndex_.try_emplace(std::move(key), child).first->second;  // the first of a name keeps it
  exactIndex_.try_emplace(child->name_, first);
  return child;
}

TOPCTag* TOPCTag::ChildNamed(std::wstring_view name) const {
  if (auto exact = exactIndex_.find(name); exact != exactIndex_.end()) return exact->second;
  auto it = childIndex_.find(NameKey(name));
  return it == childIndex_.end() ? nullptr : it->second;
}

int TOPCTag::IndexOfChild(std::wstring_view name) const {
  TOPCTag* child = ChildNamed(name);
  return child ? IndexOfChildNode(child) : -1;
}

void TOPCTag::Changed() {
  ++changeCount_;
  for (TagObserver* observer = firstObserver_; observer; observer = observer->nextObserver_) observer->TagChanged();
}

void TOPCTag::RemoveObserver(TagObserver* observer) {
  for (TagObserver** link = &firstObserver_; *link; link = &(*link)->nextObserver_)
    if (*link == observer) {
      *link = observer->nextObserver_;
      observer->nextObserver_ = nullptr;
      return;
    }
}

int TOPCTag::IndexOfChildNode(const TOPCTag* child) const {
  if (!child || child->indexInParent_ >= children_.size() || children_[child->indexInParent_].get() != child)
    return -1;
  return int(child->indexInParent_);
}

bool TOPCTag::NameEquals(std::wstring_view name) const { return SameTextIgnoreCase(name_, name); }

void TOPCTag::DeleteChild(size_t index) {
  if (index >= children_.size()) return;
  std::shared_ptr<TOPCTag> child = std::move(children_[index]);
  children_.erase(children_.begin() + ptrdiff_t(index));
  for (size_t i = index; i < children_.size(); ++i) children_[i]->indexInParent_ = i;
  child->MarkRemoved();
  std::string key = NameKey(child->name_);
  auto it = childIndex_.find(key);
  if (it != childIndex_.end() && it->second == child.get()) {
    childIndex_.erase(it);
    // A later sibling of the same name now answers for it.
    TOPCTag* next = nullptr;
    for (const auto& c : children_)
      if (SameTextIgnoreCase(c->name_, child->name_)) {
        next = c.get();
        childIndex_.emplace(std::move(key), next);
        break;
      }
    for (auto e = exactIndex_.begin(); e != exactIndex_.end();) {
      if (e->second == child.get() && !next) {
        e = exactIndex_.erase(e);
        continue;
      }
      if (e->second == child.get()) e->second = next;
      ++e;
    }
  }
}

void TOPCTag::Clear() {
  childIndex_.clear();
  exactIndex_.clear();
  // Children go first to last, each with its own subtree.
  for (auto& c : children_) {
    c->MarkRemoved();
    c.reset();
  }
  children_.clear();
}

void TOPCTag::MarkRemoved() {
  removed_ = true;
  parent_ = nullptr;
  Changed();
  for (auto& c : children_) c->MarkRemoved();
}

TOPCTag* TOPCTag::FindByItemId(std::wstring_view itemId) {
  const wchar_t qualifier = context_->host.TagQualifier;
  TOPCTag* node = this;
  for (;;) {
    ItemIdSplit split = SplitItemId(itemId, qualifier);
    TOPCTag* child = node->ChildNamed(split.head);
    if (!child) return nullptr;
    if (!split.rest) return child;
    if (!child->HasChildren()) return child->IndexOfPropertyName(*split.rest) >= 0 ? child : nullptr;
    node = child;
    itemId = *split.rest;
  }
}

std::wstring TOPCTag::ItemId() const {
  if (!parent_ || !parent_->parent_) return name_;
  return JoinItemId(parent_->ItemId(), context_->host.TagQualifier, name_);
}

void TOPCTag::SetCanonicalType(VARTYPE vt) {
  canonicalDataType_ = vt;
  value_.Clear();
  V_VT(&value_.Get()) = vt;
  Changed();
}

HRESULT TOPCTag::Update(const VARIANT& v, WORD quality, const FILETIME& ts) {
  // One conversion both validates and produces the stored value.
  if (V_VT(&Dereferenced(v)) == VT_EMPTY) return OPC_E_BADTYPE;
  VARIANT converted;
  VariantInit(&converted);
  HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(&v), 0, canonicalDataType_);
  if (FAILED(hr)) return ConversionErrorCode(hr);
  const VARIANT& given = Dereferenced(v);
  if (V_VT(&given) == VT_BOOL) {
    VariantClear(&converted);
    V_VT(&converted) = VT_BOOL;
    V_BOOL(&converted) = V_BOOL(&given) ? VARIANT_TRUE : VARIANT_FALSE;
  }
  value_.Adopt(converted);
  quality_ = quality;
  Changed();
  timeStamp_ = ts;
  return S_OK;
}

HRESULT TOPCTag::CheckAccess(WORD requested) const {
  return (requested & accessRights_) ? S_OK : OPC_E_BADRIGHTS;
}

HRESULT TOPCTag::CheckConversion(VARTYPE vt) const {
  Variant scratch;
  HRESULT hr = VariantChangeType(&scratch, const_cast<VARIANT*>(&value_.Get()), 0, vt);
  if (hr == E_OUTOFMEMORY) throw std::bad_alloc();
  return SUCCEEDED(hr) ? S_OK : OPC_E_BADTYPE;
}

HRESULT TOPCTag::ValidateWriteValue(const VARIANT& v) const {
  if (V_VT(&Dereferenced(v)) == VT_EMPTY) return OPC_E_BADTYPE;
  if (V_VT(&v) == canonicalDataType_ && IsPlainVariantType(V_VT(&v))) return S_OK;
  Variant scratch;
  HRESULT hr = VariantChangeType(&scratch, const_cast<VARIANT*>(&v), 0, canonicalDataType_);
  return SUCCEEDED(hr) ? S_OK : ConversionErrorCode(hr);
}

HRESULT TOPCTag::DeviceRead() {
  // The host may remove this very tag from inside its callback.
  std::shared_ptr<TOPCTag> keepAlive = weak_from_this().lock();
  HostPort& host = context_->host;
  Lock lock(host.CallbackLock);
  ReadCallbackProc proc = host.Callbacks.read;
  if (!proc) return S_OK;
  Variant value;
  // Start from the current quality and time, so a callback that reports
  // success without setting them leaves them as they were.
  WORD quality = quality_;
  FILETIME ts = timeStamp_;
  HRESULT result = S_OK;
  proc(Handle(), &value, &quality, &ts, &result);
  if (FAILED(result)) return result;
  // Stored in the canonical type, as every other way in stores it; a value
  // left empty by the host keeps the one the tag has.
  if (V_VT(&Dereferenced(value.Get())) != VT_EMPTY) {
    Variant converted;
    HRESULT hr = VariantChangeType(&converted, &value, 0, canonicalDataType_);
    if (FAILED(hr)) return ConversionErrorCode(hr);
    value_.Adopt(converted.Get());
  }
  quality_ = quality;
  Changed();
  timeStamp_ = ts;
  return result;
}

HRESULT TOPCTag::MaxAgeRead(DWORD maxAgeMs) {
  uint64_t now = Ticks(NowUtc()), then = Ticks(timeStamp_);
  double ageMs = double(now > then ? now - then : then - now) / 10000.0;
  if (double(maxAgeMs) > ageMs) return S_OK;
  return DeviceRead();
}

HRESULT TOPCTag::DeviceWrite(const VARIANT& v) {
  Variant converted;
  HRESULT hr = S_OK;
  if (V_VT(&v) == canonicalDataType_ && IsPlainVariantType(V_VT(&v)))
    converted.Get() = v;  // a value of the tag's own plain type goes as it came
  else
    hr = VariantChangeType(&converted, const_cast<VARIANT*>(&v), 0, canonicalDataType_);
  if (hr == E_OUTOFMEMORY) {
    context_->host.LogOperationError(L"Ran out of memory.", L"TOPCTag.Write");
    return E_OUTOFMEMORY;
  }
  if (FAILED(hr)) return OPC_E_RANGE;
  std::shared_ptr<TOPCTag> keepAlive = weak_from_this().lock();
  HostPort& host = context_->host;
  Lock lock(host.CallbackLock);
  HRESULT result = S_OK;
  if (WriteCallbackProc proc = host.Callbacks.write) proc(Handle(), converted.Get(), &result);
  return result;
}

bool TOPCTag::MatchesBrowseFilterV2(DWORD browseType, std::wstring_view filter, VARTYPE dataTypeFilter,
                                    DWORD accessFilter) const {
  auto leafPasses = [&] {
    return (dataTypeFilter == VT_EMPTY || dataTypeFilter == canonicalDataType_) &&
           (accessFilter == 0 || accessFilter == accessRights_) && NameMatchesFilter(name_, filter);
  };
  switch (browseType) {
    case kBrowseBranch: return HasChildren();
    case kBrowseLeaf: return !HasChildren() && leafPasses();
    default: return false;
  }
}

bool TOPCTag::MatchesBrowseFilterV3(DWORD browseFilter, std::wstring_view nameFilter,
                                    std::wstring_view vendorFilter) {
  bool passes = false;
  switch (browseFilter) {
    case kBrowseAll: passes = true; break;
    case kBrowseBranches: passes = HasChildren(); break;
    case kBrowseItems: passes = !HasChildren(); break;
    default: return false;
  }
  if (!passes || !NameMatchesFilter(name_, nameFilter)) return false;
  if (FilterCallbackProc proc = context_->host.Callbacks.filter) {
    BOOL accept = -1;
    proc(Handle(), Bstr(vendorFilter).Detach(), &accept);
    return accept != 0;
  }
  return true;
}

void TOPCTag::ListMatchingChildrenV2(DWORD browseType, std::wstring_view filter, VARTYPE dataTypeFilter,
                                     DWORD accessFilter, std::vector<std::wstring>& names) const {
  if (browseType == kBrowseFlat) {
    ListLeavesBelow(ItemId(), filter, dataTypeFilter, accessFilter, names);
    return;
  }
  for (const auto& c : children_)
    if (c->MatchesBrowseFilterV2(browseType, filter, dataTypeFilter, accessFilter)) names.push_back(c->name_);
}

// Depth first, in child order, as the tree would be read from top to bottom.
void TOPCTag::ListLeavesBelow(const std::wstring& itemId, std::wstring_view filter, VARTYPE dataTypeFilter,
                              DWORD accessFilter, std::vector<std::wstring>& itemIds) const {
  const wchar_t qualifier = context_->host.TagQualifier;
  for (const auto& c : children_) {
    std::wstring childId = parent_ ? JoinItemId(itemId, qualifier, c->name_) : c->name_;
    if (c->HasChildren())
      c->ListLeavesBelow(childId, filter, dataTypeFilter, accessFilter, itemIds);
    else if (c->MatchesBrowseFilterV2(kBrowseLeaf, filter, dataTypeFilter, accessFilter))
      itemIds.push_back(std::move(childId));
  }
}

void TOPCTag::ListMatchingChildrenV3(DWORD browseFilter, std::wstring_view nameFilter,
                                     std::wstring_view vendorFilter, std::vector<std::wstring>& names) const {
  for (const auto& c : children_)
    if (c->MatchesBrowseFilterV3(browseFilter, nameFilter, vendorFilter)) names.push_back(c->name_);
}

}  // namespace quillon
