#pragma once
// What a consumer of the address space is told about a tag it watches:
// whenever its value or quality is stored, or it leaves the tree.
namespace quillon {

class TagObserver {
 public:
  virtual void TagChanged() = 0;

 protected:
  ~TagObserver() = default;
};

}  // namespace quillon
