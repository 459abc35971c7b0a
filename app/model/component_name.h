#pragma once
// The naming rules of components: a name is an identifier of ASCII letters,
// digits and underscores that does not start with a digit; names (and the
// class and property names of a component stream) compare without regard to
// the case of ASCII letters.
#include <string>
#include <string_view>

namespace opclumbra {

bool IsValidComponentName(std::u16string_view name) noexcept;

bool SameName(std::u16string_view a, std::u16string_view b) noexcept;

// Name with its ASCII letters in upper case: equal for names that SameName equates.
std::u16string FoldName(std::u16string_view name);

}  // namespace opclumbra
