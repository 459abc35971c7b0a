#include "component_properties.h"

#include <array>
#include <limits>

#include "tag.h"
#include "tag_manager.h"

namespace opclumbra {
namespace {

constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

const std::array<StoredProperty<TTag>, 3> kTagProperties{{
    {u"DataType", IntegerProperty<TTag>{0, std::numeric_limits<std::uint16_t>::max(),
                                        [](const TTag& t) -> std::int32_t { return t.DataType(); },
                                        [](TTag& t, std::int32_t v) { t.SetDataType(static_cast<std::uint16_t>(v)); }}},
    {u"InitValue", TextProperty<TTag>{[](const TTag& t) -> const std::u16string& { return t.InitValue(); },
                                      [](TTag& t, std::u16string_view v) { t.SetInitValue(v); }}},
    {u"TagType", IntegerProperty<TTag>{kInt32Min, kInt32Max, [](const TTag& t) { return t.TagType(); },
                                       [](TTag& t, std::int32_t v) { t.SetTagType(v); }}},
}};

const std::array<StoredProperty<TTagManager>, 5> kManagerProperties{{
    {u"ClassID", TextProperty<TTagManager>{[](const TTagManager& m) -> const std::u16string& { return m.ClassID(); },
                                           [](TTagManager& m, std::u16string_view v) { m.SetClassID(v); }}},
    {u"ProgID", TextProperty<TTagManager>{[](const TTagManager& m) -> const std::u16string& { return m.ProgID(); },
                                          [](TTagManager& m, std::u16string_view v) { m.SetProgID(v); }}},
    {u"Description",
     TextProperty<TTagManager>{[](const TTagManager& m) -> const std::u16string& { return m.Description(); },
                               [](TTagManager& m, std::u16string_view v) { m.SetDescription(v); }}},
    {u"UpdateRate",
     IntegerProperty<TTagManager>{kInt32Min, kInt32Max, [](const TTagManager& m) { return m.UpdateRate(); },
                                  [](TTagManager& m, std::int32_t v) { m.SetUpdateRate(v); }}},
    {u"PassWord", TextProperty<TTagManager>{[](const TTagManager& m) -> const std::u16string& { return m.PassWord(); },
                                            [](TTagManager& m, std::u16string_view v) { m.SetPassWord(v); }}},
}};

}  // namespace

std::span<const StoredProperty<TTag>> TagProperties() noexcept { return kTagProperties; }
std::span<const StoredProperty<TTagManager>> ManagerProperties() noexcept { return kManagerProperties; }

}  // namespace opclumbra
