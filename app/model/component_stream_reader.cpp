#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <type_traits>
#include <variant>

#include "component_name.h"
#include "component_properties.h"
#include "component_stream.h"
#include "component_stream_error.h"
#include "component_stream_format.h"
#include "name_error.h"
#include "tag.h"
#include "tag_manager.h"
#include "text_format.h"
#include "utf8.h"

namespace opclumbra {
namespace {

namespace fmt = component_stream;

std::u16string Quoted(std::u16string_view text) { return u"'" + std::u16string(text) + u"'"; }

// "TTag 'Area1.T1'" or "TTagManager 'OPCLumbra'", for messages.
std::u16string Describe(const TNamedItem& item) {
  std::u16string path = item.NamePath();
  return std::u16string(item.ClassName()) + u" " + Quoted(path.empty() ? item.Name() : path);
}

bool IsIntegerKind(std::uint8_t kind) { return kind == fmt::Int8 || kind == fmt::Int16 || kind == fmt::Int32; }
bool IsTextKind(std::uint8_t kind) { return kind == fmt::String || kind == fmt::LongString || kind == fmt::Utf8String; }

// Reads from a bounded input: every length is checked against what remains
// before anything is allocated for it, and records nest at most MaxComponentDepth deep.
class ComponentStreamReader {
 public:
  ComponentStreamReader(std::span<const std::uint8_t> stream, const AnsiCodePage& codePage)
      : in_(stream), codePage_(codePage) {}

  void Read(TTagManager& manager) {
    if (in_.size() < fmt::Signature.size() || !std::equal(fmt::Signature.begin(), fmt::Signature.end(), in_.begin()))
      Fail(u"Not a component stream: signature \"TPF0\" expected", 0);
    pos_ = fmt::Signature.size();
    Prefix();
    // The root record's class name is skipped: the caller chose the root's class.
    ShortText(u"the class name of the root component");
    Name(manager);
    Properties<TTagManager>(manager, ManagerProperties());
    Children(manager, 1);
    if (pos_ != in_.size()) Fail(u"Unexpected data after the root component", pos_);
  }

 private:
  [[noreturn]] static void Fail(std::u16string_view fault, std::size_t offset) {
    throw EComponentStreamError(fault, offset);
  }

  std::size_t Remaining() const noexcept { return in_.size() - pos_; }

  void Need(std::size_t count, std::u16string_view what) const {
    if (count > Remaining())
      Fail(u"Unexpected end of stream reading " + std::u16string(what) + u" (" + DecimalText(count) +
               u" bytes needed, " + DecimalText(Remaining()) + u" remain)",
           pos_);
  }

  std::uint8_t Peek(std::u16string_view what) const {
    Need(1, what);
    return in_[pos_];
  }

  std::uint8_t Byte(std::u16string_view what) {
    std::uint8_t value = Peek(what);
    ++pos_;
    return value;
  }

  std::uint32_t LittleEndian(std::size_t size, std::u16string_view what) {
    Need(size, what);
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value |= static_cast<std::uint32_t>(in_[pos_ + i]) << (8 * i);
    pos_ += size;
    return value;
  }

  std::string_view Bytes(std::size_t count, std::u16string_view what) {
    Need(count, what);
    std::string_view bytes(reinterpret_cast<const char*>(in_.data() + pos_), count);
    pos_ += count;
    return bytes;
  }

  std::u16string Ansi(std::string_view bytes, std::size_t offset, std::u16string_view what) const {
    auto text = codePage_.Decode(bytes);
    if (!text) Fail(u"Not valid text of the ANSI code page: " + std::u16string(what), offset);
    return *std::move(text);
  }

  std::u16string ShortText(std::u16string_view what) {
    std::size_t offset = pos_;
    std::size_t length = Byte(what);
    return Ansi(Bytes(length, what), offset, what);
  }

  void Prefix() {
    std::size_t offset = pos_;
    std::uint8_t prefix = Byte(u"a component record");
    if (prefix != fmt::InlinePrefix)
      Fail(u"Component record expected (prefix 0xF4), found " + HexByteText(prefix), offset);
  }

  void Name(TNamedItem& component) {
    std::size_t offset = pos_;
    std::u16string name = ShortText(u"a component name");
    try {
      component.SetName(name);
    } catch (const ENameError& refusal) {
      Fail(u"Component name refused: " + refusal.Message(), offset);
    }
  }

  std::int32_t Integer(std::uint8_t kind, std::u16string_view what) {
    switch (kind) {
      case fmt::Int8:
        return static_cast<std::int8_t>(LittleEndian(1, what));
      case fmt::Int16:
        return static_cast<std::int16_t>(LittleEndian(2, what));
      default:
        return static_cast<std::int32_t>(LittleEndian(4, what));
    }
  }

  std::u16string Text(std::uint8_t kind, std::u16string_view what) {
    std::size_t offset = pos_;
    switch (kind) {
      case fmt::String:
        return Ansi(Bytes(Byte(what), what), offset, what);
      case fmt::LongString:
        return Ansi(Bytes(LittleEndian(4, what), what), offset, what);
      default: {
        auto text = Utf8ToUtf16(Bytes(LittleEndian(4, what), what));
        if (!text) Fail(u"Invalid UTF-8 in " + std::u16string(what), offset);
        return *std::move(text);
      }
    }
  }

  template <class Component>
  void Properties(Component& component, std::span<const StoredProperty<Component>> properties) {
    while (Peek(u"a property or the end of the properties") != fmt::EndOfList) {
      std::size_t nameOffset = pos_;
      std::u16string name = ShortText(u"a property name");
      auto property =
          std::find_if(properties.begin(), properties.end(), [&name](const auto& p) { return SameName(p.name, name); });
      if (property == properties.end())
        Fail(u"Property " + Quoted(name) + u" does not exist in " + Describe(component), nameOffset);
      std::u16string what = u"property " + Quoted(property->name) + u" of " + Describe(component);
      std::size_t valueOffset = pos_;
      std::uint8_t kind = Byte(u"the value of " + what);
      if (!IsIntegerKind(kind) && !IsTextKind(kind))
        Fail(u"Invalid value kind " + HexByteText(kind) + u" for " + what, valueOffset);
      std::visit(
          [&](const auto& access) {
            using Access = std::decay_t<decltype(access)>;
            if constexpr (std::is_same_v<Access, IntegerProperty<Component>>) {
              if (!IsIntegerKind(kind))
                Fail(u"Integer expected for " + what + u", found text kind " + HexByteText(kind), valueOffset);
              std::int32_t value = Integer(kind, what);
              if (value < access.min || value > access.max)
                Fail(u"Value " + DecimalText(value) + u" out of range " + DecimalText(access.min) + u" to " +
                         DecimalText(access.max) + u" for " + what,
                     valueOffset);
              access.set(component, value);
            } else {
              if (!IsTextKind(kind))
                Fail(u"Text expected for " + what + u", found integer kind " + HexByteText(kind), valueOffset);
              access.set(component, Text(kind, what));
            }
          },
          property->access);
    }
    ++pos_;
  }

  void Children(TNamedItem& parent, std::size_t depth) {
    while (Peek(u"a component record or the end of the children") != fmt::EndOfList) {
      if (depth >= MaxComponentDepth)
        Fail(u"Components nested deeper than " + DecimalText(MaxComponentDepth) + u" levels", pos_);
      Prefix();
      std::size_t classOffset = pos_;
      std::u16string className = ShortText(u"a class name");
      if (!SameName(className, u"TTag")) Fail(u"Unknown class name " + Quoted(className), classOffset);
      TTag& tag = TTag::Create(parent);
      Name(tag);
      Properties<TTag>(tag, TagProperties());
      Children(tag, depth + 1);
    }
    ++pos_;
  }

  std::span<const std::uint8_t> in_;
  const AnsiCodePage& codePage_;
  std::size_t pos_ = 0;
};

}  // namespace

void ReadComponentStream(std::span<const std::uint8_t> stream, TTagManager& manager, const AnsiCodePage& codePage) {
  TTagManager fresh;
  ComponentStreamReader(stream, codePage).Read(fresh);
  manager.Swap(fresh);
}

}  // namespace opclumbra
