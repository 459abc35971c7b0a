#pragma once
// A named component that owns other components: its children, kept in the
// order they were added and destroyed with it. Names follow the component
// naming rules and are unique among the children of one owner.
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace opclumbra {

class TNamedItem {
 public:
  TNamedItem(const TNamedItem&) = delete;
  TNamedItem& operator=(const TNamedItem&) = delete;
  virtual ~TNamedItem();

  // The class name under which the component is written to a component stream.
  virtual std::u16string_view ClassName() const noexcept = 0;

  const std::u16string& Name() const noexcept { return name_; }

  // Throws ENameError, keeping the previous name, when Name is not a
  // valid component name or another child of the same owner already has it.
  void SetName(std::u16string_view name);

  TNamedItem* Owner() const noexcept { return owner_; }

  // Inline components are written with their children nested inside them.
  bool IsInline() const noexcept { return inline_; }

  std::size_t ChildCount() const noexcept { return children_.size(); }
  // Throws std::out_of_range for an index past the last child.
  TNamedItem& Child(std::size_t index) const;
  // The child of that name, compared as names are; null when there is none.
  TNamedItem* FindChild(std::u16string_view name) const;

  // Destroys Child with its whole subtree. Throws std::invalid_argument
  // when Child is not owned by this component.
  void DestroyChild(const TNamedItem& child);

  // "owner path.name", or the bare name when the owner's path is empty.
  virtual std::u16string NamePath() const;

 protected:
  TNamedItem() = default;

  // Makes Child, new and still unnamed, the last child of Owner.
  static TNamedItem& AppendChild(TNamedItem& owner, std::unique_ptr<TNamedItem> child);

  // Exchanges names and children; the children follow to their new owner.
  void SwapNameAndChildren(TNamedItem& other) noexcept;

 private:
  TNamedItem* owner_ = nullptr;
  std::u16string name_;
  std::vector<std::unique_ptr<TNamedItem>> children_;
  // The named children by folded name, so that a name is checked against its
  // siblings in constant time: a stream of many siblings loads in linear time.
  std::unordered_map<std::u16string, TNamedItem*> childrenByName_;
  bool inline_ = true;
};

}  // namespace opclumbra
