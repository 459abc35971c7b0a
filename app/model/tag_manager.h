#pragma once
// The root of the configuration: the server's identity, the operation
// password and, as its children, the top-level tags.
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "named_item.h"

namespace opclumbra {

class TTag;

inline constexpr std::u16string_view DefaultClassID = u"{41862EE6-6750-461D-8725-12529099E546}";
inline constexpr std::u16string_view DefaultProgID = u"OPC.Lumbra.1";
inline constexpr std::u16string_view DefaultDescription = u"OPC Lumbra";
inline constexpr std::int32_t DefaultUpdateRate = 1000;
inline constexpr std::u16string_view DefaultPassWord = u"MERIDO_cfg";
inline constexpr std::u16string_view DefaultManagerName = u"OPCLumbra";

class TTagManager final : public TNamedItem {
 public:
  TTagManager();
  ~TTagManager() override;

  std::u16string_view ClassName() const noexcept override { return u"TTagManager"; }

  // Empty, so that top-level tags' paths are their bare names.
  std::u16string NamePath() const override { return {}; }

  // Class identifier of the server in registry form with braces.
  const std::u16string& ClassID() const noexcept { return classID_; }
  void SetClassID(std::u16string_view value) { classID_ = value; }

  const std::u16string& ProgID() const noexcept { return progID_; }
  void SetProgID(std::u16string_view value) { progID_ = value; }

  const std::u16string& Description() const noexcept { return description_; }
  void SetDescription(std::u16string_view value) { description_ = value; }

  // In milliseconds; kept and shown, not passed to the toolkit.
  std::int32_t UpdateRate() const noexcept { return updateRate_; }
  void SetUpdateRate(std::int32_t value) noexcept { updateRate_ = value; }

  // The operation password.
  const std::u16string& PassWord() const noexcept { return passWord_; }
  void SetPassWord(std::u16string_view value) { passWord_ = value; }

  // The first tag, depth-first in pre-order, whose Handle is Handle; null
  // when there is none. A null handle names no registered tag and finds none.
  // O(1) however large the tree: the tags of this tree tell it their handles.
  TTag* FindByHandle(const void* handle) const noexcept;

  // Exchanges the whole configuration (name, properties, tags) with Other.
  void Swap(TTagManager& other) noexcept;

 private:
  friend class TTag;
  void RememberHandle(TTag& tag);
  void ForgetHandle(const TTag& tag) noexcept;

  std::u16string classID_;
  std::u16string progID_;
  std::u16string description_;
  std::int32_t updateRate_;
  std::u16string passWord_;
  // Usually one tag per handle; several only where a host hands one out twice.
  std::unordered_multimap<const void*, TTag*> byHandle_;
};

}  // namespace opclumbra
