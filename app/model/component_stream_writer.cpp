#include <cstdint>
#include <span>
#include <string>
#include <type_traits>
#include <variant>

#include "component_properties.h"
#include "component_stream.h"
#include "component_stream_error.h"
#include "component_stream_format.h"
#include "tag.h"
#include "tag_manager.h"
#include "text_format.h"
#include "utf8.h"

namespace opclumbra {
namespace {

namespace fmt = component_stream;

class ComponentStreamWriter {
 public:
  explicit ComponentStreamWriter(const AnsiCodePage& codePage) : codePage_(codePage) {}

  std::vector<std::uint8_t> Write(const TTagManager& manager) {
    out_.assign(fmt::Signature.begin(), fmt::Signature.end());
    Record(manager, 1);
    return std::move(out_);
  }

 private:
  [[noreturn]] void Fail(std::u16string_view fault) const { throw EComponentStreamError(fault, out_.size()); }

  void Byte(std::uint8_t value) { out_.push_back(value); }

  void LittleEndian(std::uint32_t value, int size) {
    for (int i = 0; i < size; ++i) Byte(static_cast<std::uint8_t>(value >> (8 * i)));
  }

  void Bytes(std::string_view bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

  // Longer text is cut to the 255 bytes a short text can hold.
  void ShortText(std::u16string_view text, std::u16string_view what) {
    auto bytes = codePage_.Encode(text);
    if (!bytes)
      Fail(std::u16string(what) + u" '" + std::u16string(text) + u"' cannot be represented in the ANSI code page");
    if (bytes->size() > fmt::MaxShortTextLength) bytes->resize(fmt::MaxShortTextLength);
    Byte(static_cast<std::uint8_t>(bytes->size()));
    Bytes(*bytes);
  }

  // The smallest integer kind that holds the value.
  void Integer(std::int32_t value) {
    if (value >= INT8_MIN && value <= INT8_MAX) {
      Byte(fmt::Int8);
      LittleEndian(static_cast<std::uint32_t>(value), 1);
    } else if (value >= INT16_MIN && value <= INT16_MAX) {
      Byte(fmt::Int16);
      LittleEndian(static_cast<std::uint32_t>(value), 2);
    } else {
      Byte(fmt::Int32);
      LittleEndian(static_cast<std::uint32_t>(value), 4);
    }
  }

  // ANSI bytes when they equal the UTF-8 form (plain ASCII), else UTF-8.
  void Text(std::u16string_view value, std::u16string_view what) {
    auto utf8 = Utf16ToUtf8(value);
    if (!utf8) Fail(std::u16string(what) + u" is not valid UTF-16 text");
    auto ansi = codePage_.Encode(value);
    if (ansi && *ansi == *utf8) {
      if (ansi->size() <= fmt::MaxShortTextLength) {
        Byte(fmt::String);
        Byte(static_cast<std::uint8_t>(ansi->size()));
      } else {
        Byte(fmt::LongString);
        LittleEndian(static_cast<std::uint32_t>(ansi->size()), 4);
      }
      Bytes(*ansi);
    } else {
      Byte(fmt::Utf8String);
      LittleEndian(static_cast<std::uint32_t>(utf8->size()), 4);
      Bytes(*utf8);
    }
  }

  // Integer properties always; text properties only when not empty.
  template <class Component>
  void Properties(const Component& component, std::span<const StoredProperty<Component>> properties) {
    for (const auto& property : properties) {
      std::visit(
          [&](const auto& access) {
            using Access = std::decay_t<decltype(access)>;
            if constexpr (std::is_same_v<Access, IntegerProperty<Component>>) {
              ShortText(property.name, u"Property name");
              Integer(access.get(component));
            } else {
              const std::u16string& text = access.get(component);
              if (text.empty()) return;
              ShortText(property.name, u"Property name");
              Text(text, u"Property " + std::u16string(property.name) + u" of '" + component.Name() + u"'");
            }
          },
          property.access);
    }
    Byte(fmt::EndOfList);
  }

  void Record(const TNamedItem& item, std::size_t depth) {
    if (depth > MaxComponentDepth)
      Fail(u"Component '" + item.NamePath() + u"' is nested deeper than " + DecimalText(MaxComponentDepth) +
           u" levels");
    // An unnamed component would be refused when the stream is read back.
    if (item.Name().empty()) Fail(u"An unnamed component under '" + item.Owner()->Name() + u"' cannot be written");
    Byte(fmt::FlagsMarker | (item.IsInline() ? fmt::InlineFlag : 0));
    ShortText(item.ClassName(), u"Class name");
    ShortText(item.Name(), u"Component name");
    if (auto tag = dynamic_cast<const TTag*>(&item))
      Properties<TTag>(*tag, TagProperties());
    else
      Properties<TTagManager>(static_cast<const TTagManager&>(item), ManagerProperties());
    for (std::size_t i = 0; i < item.ChildCount(); ++i) Record(item.Child(i), depth + 1);
    Byte(fmt::EndOfList);
  }

  const AnsiCodePage& codePage_;
  std::vector<std::uint8_t> out_;
};

}  // namespace

std::vector<std::uint8_t> WriteComponentStream(const TTagManager& manager, const AnsiCodePage& codePage) {
  return ComponentStreamWriter(codePage).Write(manager);
}

}  // namespace opclumbra
