#pragma once
// Composes component streams byte by byte, valid or deliberately broken.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace opclumbra::test {

class StreamBuilder {
 public:
  StreamBuilder& Signature();
  StreamBuilder& Prefix();
  StreamBuilder& End();

  StreamBuilder& Byte(std::uint8_t value);
  StreamBuilder& Bytes(std::initializer_list<std::uint8_t> values);
  StreamBuilder& Ascii(std::string_view text);
  StreamBuilder& U32(std::uint32_t value);
  // Length byte and the bytes as they are.
  StreamBuilder& Short(std::string_view bytes);
  StreamBuilder& Record(std::string_view className, std::string_view name);

  // Property entries: the name and a value of the kind the method names.
  StreamBuilder& Int8(std::string_view property, std::int8_t value);
  StreamBuilder& Int16(std::string_view property, std::int16_t value);
  StreamBuilder& Int32(std::string_view property, std::int32_t value);
  StreamBuilder& String(std::string_view property, std::string_view bytes);
  StreamBuilder& LongString(std::string_view property, std::string_view bytes);
  StreamBuilder& Utf8String(std::string_view property, std::string_view bytes);

  // The signature and the root record's header as the program writes them.
  StreamBuilder& ManagerHeader();

  std::size_t Size() const { return bytes_.size(); }
  const std::vector<std::uint8_t>& Get() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

}  // namespace opclumbra::test
