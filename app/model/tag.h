#pragma once
// One tag of the served tree: a branch or a leaf with a data type and an
// initial value (stored in the configuration), and the value, quality,
// timestamp and toolkit handle it has while the program runs (never stored).
#include <cstdint>
#include <string>
#include <string_view>

#include "named_item.h"
#include "tag_value.h"

namespace opclumbra {

class TTagManager;

class TTag final : public TNamedItem {
  struct CreationKey {
    explicit CreationKey() = default;
  };

 public:
  static constexpr std::int32_t Branch = 0;
  static constexpr std::int32_t Leaf = 1;

  // A new unnamed tag with the creation values, appended to Owner's children.
  static TTag& Create(TNamedItem& owner);

  explicit TTag(CreationKey) {}
  ~TTag() override;

  std::u16string_view ClassName() const noexcept override { return u"TTag"; }

  // Index into the data type table.
  std::uint16_t DataType() const noexcept { return dataType_; }
  void SetDataType(std::uint16_t value) noexcept { dataType_ = value; }

  // The initial value of a leaf as the user typed it.
  const std::u16string& InitValue() const noexcept { return initValue_; }
  void SetInitValue(std::u16string_view value) { initValue_ = value; }

  // Branch (0) or Leaf (1).
  std::int32_t TagType() const noexcept { return tagType_; }
  void SetTagType(std::int32_t value) noexcept { tagType_ = value; }

  const TagValue& Value() const noexcept { return value_; }
  void SetValue(TagValue value) { value_ = std::move(value); }

  std::uint16_t Quality() const noexcept { return quality_; }
  void SetQuality(std::uint16_t value) noexcept { quality_ = value; }

  // Local date and time as a day count (days since 1899-12-30, time as the fraction).
  double TimeStamp() const noexcept { return timeStamp_; }
  void SetTimeStamp(double value) noexcept { timeStamp_ = value; }

  // The toolkit's TagHandle; null while the tag is not registered. The
  // manager at the root of the tag's tree finds the tag by it.
  void* Handle() const noexcept { return handle_; }
  void SetHandle(void* value);

 private:
  std::uint16_t dataType_ = 0;
  std::u16string initValue_;
  std::int32_t tagType_ = Branch;
  TagValue value_;
  std::uint16_t quality_ = 0;
  double timeStamp_ = 0;
  void* handle_ = nullptr;
  // The manager that finds this tag by its handle; set while the handle is.
  TTagManager* registry_ = nullptr;
  friend class TTagManager;
};

}  // namespace opclumbra
