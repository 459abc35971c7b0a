#include "tree_dump.h"

#include <sstream>
#include <variant>

#include "tag.h"
#include "tag_manager.h"
#include "utf8.h"

namespace opclumbra::test {
namespace {

std::string U8(std::u16string_view text) { return Utf16ToUtf8Lossy(text); }

std::string ValueText(const TagValue& value) {
  std::ostringstream out;
  out << value.index() << ':';
  std::visit(
      [&out](const auto& v) {
        using V = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<V, std::u16string>)
          out << U8(v);
        else if constexpr (!std::is_same_v<V, std::monostate>)
          out << v;
      },
      value);
  return out.str();
}

void DumpTag(const TTag& tag, int depth, bool runTime, std::ostringstream& out) {
  out << std::string(2 * depth, ' ') << U8(tag.ClassName()) << ' ' << U8(tag.Name()) << " DataType=" << tag.DataType()
      << " InitValue=[" << U8(tag.InitValue()) << "] TagType=" << tag.TagType();
  if (runTime) {
    out << " @" << static_cast<const void*>(&tag) << " Handle=" << tag.Handle() << " Quality=" << tag.Quality()
        << " TimeStamp=" << tag.TimeStamp() << " Value=" << ValueText(tag.Value());
  }
  out << '\n';
  for (std::size_t i = 0; i < tag.ChildCount(); ++i)
    DumpTag(static_cast<const TTag&>(tag.Child(i)), depth + 1, runTime, out);
}

std::u16string_view OrDefault(const std::u16string& text, std::u16string_view creationValue, bool reloaded) {
  return text.empty() && reloaded ? creationValue : text;
}

std::string Dump(const TTagManager& manager, bool runTime, bool reloaded = false) {
  std::ostringstream out;
  out << U8(manager.ClassName()) << ' ' << U8(manager.Name()) << " ClassID=["
      << U8(OrDefault(manager.ClassID(), DefaultClassID, reloaded)) << "] ProgID=["
      << U8(OrDefault(manager.ProgID(), DefaultProgID, reloaded)) << "] Description=["
      << U8(OrDefault(manager.Description(), DefaultDescription, reloaded)) << "] UpdateRate=" << manager.UpdateRate()
      << " PassWord=[" << U8(OrDefault(manager.PassWord(), DefaultPassWord, reloaded)) << "]\n";
  for (std::size_t i = 0; i < manager.ChildCount(); ++i)
    DumpTag(static_cast<const TTag&>(manager.Child(i)), 1, runTime, out);
  return out.str();
}

}  // namespace

std::string StoredDump(const TTagManager& manager) { return Dump(manager, false); }
std::string ReloadedDump(const TTagManager& manager) { return Dump(manager, false, true); }
std::string FullDump(const TTagManager& manager) { return Dump(manager, true); }

}  // namespace opclumbra::test
