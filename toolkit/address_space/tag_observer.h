#pragma once
// What a consumer of the address space is told about a tag it watches:
// whenever its value or quality is stored, or it leaves the tree.
namespace quillon {

class TagObserver {
 public:
  virtual void TagChanged() = 0;

 protected:
  ~TagObserver() = default;

 private:
  // The tag's observers are a list through the observers themselves: a
  // tag watched by one item then costs no allocation of its own.
  friend class TOPCTag;
  TagObserver* nextObserver_ = nullptr;
};

}  // namespace quillon
