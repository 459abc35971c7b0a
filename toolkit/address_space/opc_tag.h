#pragma once
// One node of the address space: a branch while it has children, else a leaf
// holding a value, quality and timestamp that clients read and write.
//
// Nodes are shared: the parent holds its children, and consumers (group
// items) hold the tag they refer to. Removing a node marks its whole subtree
// removed and detaches it; a consumer that still holds such a node sees
// Removed() and answers as for an unknown item, never touching freed memory.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "property_record.h"
#include "quillon.h"
#include "tag_context.h"
#include "tag_observer.h"
#include "variant.h"

namespace quillon {

// Browse types and filters of the two browsing interfaces.
enum : DWORD { kBrowseBranch = 1, kBrowseLeaf = 2, kBrowseFlat = 3 };
enum : DWORD { kBrowseAll = 1, kBrowseBranches = 2, kBrowseItems = 3 };

class TOPCTag : public std::enable_shared_from_this<TOPCTag> {
 public:
  TOPCTag(std::shared_ptr<const TagContext> context, TOPCTag* parent, std::wstring name);
  TOPCTag(const TOPCTag&) = delete;
  TOPCTag& operator=(const TOPCTag&) = delete;
  ~TOPCTag();

  // Tree.
  TOPCTag* AddChild(std::wstring name);
  size_t ChildCount() const { return children_.size(); }
  bool HasChildren() const { return !children_.empty(); }
  TOPCTag* ChildAt(size_t index) const { return children_[index].get(); }
  // First child whose name equals Name, ignoring case by the user locale's rules; -1 if none.
  int IndexOfChild(std::wstring_view name) const;
  // Removes the child at Index with its subtree.
  void DeleteChild(size_t index);
  // Removes every child.
  void Clear();
  // Marks this node and its subtree removed and cuts them from their parents.
  void MarkRemoved();
  bool Removed() const { return removed_; }
  // Position of Child among the children, or -1; O(1).
  int IndexOfChildNode(const TOPCTag* child) const;
  // Whether the name equals Name, ignoring case by the user locale's rules.
  bool NameEquals(std::wstring_view name) const;
  // The first child named Name ignoring case, in registration order; O(1).
  TOPCTag* ChildNamed(std::wstring_view name) const;
  // Resolves an item ID below this node (called on the root); nullptr if it names nothing.
  TOPCTag* FindByItemId(std::wstring_view itemId);
  std::wstring ItemId() const;

  TagHandle Handle() { return this; }
  static TOPCTag* FromHandle(TagHandle h) { return static_cast<TOPCTag*>(h); }

  // Fields.
  const std::wstring& Name() const { return name_; }
  TOPCTag* Parent() const { return parent_; }
  const FILETIME& TimeStamp() const { return timeStamp_; }
  VARTYPE CanonicalDataType() const { return canonicalDataType_; }
  const VARIANT& Value() const { return value_.Get(); }
  WORD Quality() const { return quality_; }
  WORD AccessRights() const { return accessRights_; }
  std::vector<PropertyRecord>* Properties() const { return properties_.get(); }

  // Sets the type and resets the value to a zero value of it.
  void SetCanonicalType(VARTYPE vt);
  void SetAccessRights(WORD rights) { accessRights_ = rights; }
  void SetQuality(WORD quality) {
    quality_ = quality;
    Changed();
  }
  void SetTimeStamp(const FILETIME& ts) { timeStamp_ = ts; }
  void SetValue(const VARIANT& v) {
    value_.Copy(v);
    Changed();
  }
  // Moves on whenever the value or quality is stored, so a reader that saw
  // the same count knows neither has changed since.
  uint64_t ChangeCount() const { return changeCount_; }

  // The observers of this tag (group items), told whenever its value or
  // quality is stored or it leaves the tree, so an update tick looks only at them.
  void AddObserver(TagObserver* observer) {
    observer->nextObserver_ = firstObserver_;
    firstObserver_ = observer;
  }
  void RemoveObserver(TagObserver* observer);
  const TagContext& Context() const { return *context_; }
  // Asks the processor for what an item's read or write of this tag touches.
  void PrefetchHot() const { __builtin_prefetch(&value_); }

  // Properties: the six standard ones at indexes 0..5, custom ones from 6.
  int PropertyCount() const;
  int IndexOfPropertyId(DWORD propId) const;
  // By item name, ignoring case by the user locale's rules; -1 if none.
  int IndexOfPropertyName(std::wstring_view name) const;
  DWORD PropertyIdAt(int index) const;
  std::wstring PropertyDescriptionAt(int index) const;
  VARTYPE PropertyTypeAt(int index) const;
  // Copies the property's current value into an empty Out.
  void PropertyValueAt(int index, VARIANT& out) const;
  // The tag's item ID, the qualifier and the property's item name.
  std::wstring PropertyItemId(int index) const;

  // Custom properties: false when the ID is standard or taken (add), or
  // standard or absent (set); a value that does not convert is logged and refused.
  bool AddProperty(std::wstring itemName, DWORD propId, std::wstring description, VARTYPE dataType);
  bool SetProperty(DWORD propId, const VARIANT& value);

  // Stores a value pushed by the host, converted to the canonical type (a
  // boolean stays a normalised VT_BOOL), with its quality and time. Returns the
  // validation code; on failure nothing changes.
  HRESULT Update(const VARIANT& v, WORD quality, const FILETIME& ts);

  // Checks and host IO.
  HRESULT CheckAccess(WORD requested) const;
  HRESULT CheckConversion(VARTYPE vt) const;
  HRESULT ValidateWriteValue(const VARIANT& v) const;
  HRESULT DeviceRead();
  HRESULT MaxAgeRead(DWORD maxAgeMs);
  HRESULT DeviceWrite(const VARIANT& v);

  // Browse filters of the two browsing interfaces, for this node as a child.
  bool MatchesBrowseFilterV2(DWORD browseType, std::wstring_view filter, VARTYPE dataTypeFilter,
                             DWORD accessFilter) const;
  bool MatchesBrowseFilterV3(DWORD browseFilter, std::wstring_view nameFilter,
                             std::wstring_view vendorFilter);
  // Names of the matching children; for a flat browse, the item IDs of every
  // matching leaf at and below this node instead.
  void ListMatchingChildrenV2(DWORD browseType, std::wstring_view filter, VARTYPE dataTypeFilter,
                              DWORD accessFilter, std::vector<std::wstring>& names) const;
  void ListMatchingChildrenV3(DWORD browseFilter, std::wstring_view nameFilter,
                              std::wstring_view vendorFilter, std::vector<std::wstring>& names) const;

 private:
  void Changed();
  void ListLeavesBelow(const std::wstring& itemId, std::wstring_view filter, VARTYPE dataTypeFilter,
                       DWORD accessFilter, std::vector<std::wstring>& itemIds) const;

  // What every read, write and change test of an item touches, together, so
  // that it takes one or two cache lines of a large tree.
  Variant value_;
  FILETIME timeStamp_;
  uint64_t changeCount_ = 0;
  TagObserver* firstObserver_ = nullptr;
  VARTYPE canonicalDataType_ = VT_EMPTY;
  WORD quality_ = 0x40;
  WORD accessRights_ = 1;
  bool removed_ = false;

  std::shared_ptr<const TagContext> context_;
  std::wstring name_;
  TOPCTag* parent_;
  std::unique_ptr<std::vector<PropertyRecord>> properties_;

  // This node's position among its parent's children, kept in step by the parent.
  size_t indexInParent_ = 0;
  std::vector<std::shared_ptr<TOPCTag>> children_;

  // Case-folded name -> first child of that name in registration order, so a
  // lookup costs O(1) per item-ID element whatever the number of siblings.
  std::unordered_map<std::string, TOPCTag*> childIndex_;
  // Exact spellings already looked up or registered -> the child the index
  // above gives for them: most lookups then skip building a sort key.
  struct TextHash {
    using is_transparent = void;
    size_t operator()(std::wstring_view s) const { return std::hash<std::wstring_view>{}(s); }
  };
  std::unordered_map<std::wstring, TOPCTag*, TextHash, std::equal_to<>> exactIndex_;
};

// Maps a failed VariantChangeType result to the code a write reports.
HRESULT ConversionErrorCode(HRESULT hr);

}  // namespace quillon
