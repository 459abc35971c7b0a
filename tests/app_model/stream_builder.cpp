#include "stream_builder.h"

namespace opclumbra::test {

StreamBuilder& StreamBuilder::Signature() { return Ascii("TPF0"); }
StreamBuilder& StreamBuilder::Prefix() { return Byte(0xF4); }
StreamBuilder& StreamBuilder::End() { return Byte(0x00); }

StreamBuilder& StreamBuilder::Byte(std::uint8_t value) {
  bytes_.push_back(value);
  return *this;
}

StreamBuilder& StreamBuilder::Bytes(std::initializer_list<std::uint8_t> values) {
  bytes_.insert(bytes_.end(), values);
  return *this;
}

StreamBuilder& StreamBuilder::Ascii(std::string_view text) {
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  return *this;
}

StreamBuilder& StreamBuilder::U32(std::uint32_t value) {
  for (int i = 0; i < 4; ++i) Byte(static_cast<std::uint8_t>(value >> (8 * i)));
  return *this;
}

StreamBuilder& StreamBuilder::Short(std::string_view bytes) {
  Byte(static_cast<std::uint8_t>(bytes.size()));
  return Ascii(bytes);
}

StreamBuilder& StreamBuilder::Record(std::string_view className, std::string_view name) {
  return Prefix().Short(className).Short(name);
}

StreamBuilder& StreamBuilder::Int8(std::string_view property, std::int8_t value) {
  return Short(property).Byte(0x02).Byte(static_cast<std::uint8_t>(value));
}

StreamBuilder& StreamBuilder::Int16(std::string_view property, std::int16_t value) {
  auto v = static_cast<std::uint16_t>(value);
  return Short(property).Byte(0x03).Byte(static_cast<std::uint8_t>(v)).Byte(static_cast<std::uint8_t>(v >> 8));
}

StreamBuilder& StreamBuilder::Int32(std::string_view property, std::int32_t value) {
  return Short(property).Byte(0x04).U32(static_cast<std::uint32_t>(value));
}

StreamBuilder& StreamBuilder::String(std::string_view property, std::string_view bytes) {
  return Short(property).Byte(0x06).Short(bytes);
}

StreamBuilder& StreamBuilder::LongString(std::string_view property, std::string_view bytes) {
  return Short(property).Byte(0x0C).U32(static_cast<std::uint32_t>(bytes.size())).Ascii(bytes);
}

StreamBuilder& StreamBuilder::Utf8String(std::string_view property, std::string_view bytes) {
  return Short(property).Byte(0x14).U32(static_cast<std::uint32_t>(bytes.size())).Ascii(bytes);
}

StreamBuilder& StreamBuilder::ManagerHeader() { return Signature().Record("TTagManager", "OPCLumbra"); }

}  // namespace opclumbra::test
