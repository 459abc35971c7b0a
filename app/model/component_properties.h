#pragma once
// The stored properties of each component class, in stream order, with
// their kind, the range an integer property accepts and their accessors.
// The writer and the reader of the component stream share these lists.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace opclumbra {

class TTag;
class TTagManager;

template <class Component>
struct IntegerProperty {
  std::int32_t min;
  std::int32_t max;
  std::int32_t (*get)(const Component&);
  void (*set)(Component&, std::int32_t);
};

template <class Component>
struct TextProperty {
  const std::u16string& (*get)(const Component&);
  void (*set)(Component&, std::u16string_view);
};

template <class Component>
struct StoredProperty {
  std::u16string_view name;
  std::variant<IntegerProperty<Component>, TextProperty<Component>> access;
};

std::span<const StoredProperty<TTag>> TagProperties() noexcept;
std::span<const StoredProperty<TTagManager>> ManagerProperties() noexcept;

}  // namespace opclumbra
