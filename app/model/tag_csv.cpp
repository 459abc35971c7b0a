#include "tag_csv.h"

#include <charconv>
#include <map>
#include <optional>
#include <span>

#include "component_name.h"
#include "data_type_table.h"
#include "tag.h"
#include "tag_manager.h"
#include "text_format.h"
#include "utf8.h"

namespace opclumbra {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::u16string_view kSettingsHeader[] = {u"ClassID", u"ProgID", u"Description", u"UpdateRate"};
constexpr std::u16string_view kTagsHeader[] = {u"ItemID", u"Kind", u"DataType", u"InitialValue"};
constexpr std::size_t kFields = 4;

struct VarTypeName {
  std::u16string_view name;
  std::uint16_t dataType;
};
constexpr VarTypeName kVarTypeNames[] = {
    {u"VT_I4", 0}, {u"VT_R8", 1}, {u"VT_BOOL", 2}, {u"VT_BSTR", 3}, {u"VT_EMPTY", 4}};

// --- writing

void AppendField(std::u16string& line, std::u16string_view field) {
  if (field.find_first_of(u",\"\r\n") == std::u16string_view::npos) {
    line += field;
    return;
  }
  line += u'"';
  for (char16_t c : field) {
    if (c == u'"') line += u'"';
    line += c;
  }
  line += u'"';
}

void AppendRecord(std::u16string& out, std::initializer_list<std::u16string_view> fields) {
  bool first = true;
  for (std::u16string_view field : fields) {
    if (!first) out += u',';
    first = false;
    AppendField(out, field);
  }
  out += u"\r\n";
}

std::u16string Numbered(std::int64_t n) { return u"#" + DecimalText(n); }

std::u16string KindText(std::int32_t kind) {
  if (kind == TTag::Branch) return u"Branch";
  if (kind == TTag::Leaf) return u"Leaf";
  return Numbered(kind);
}

std::u16string DataTypeText(std::uint16_t dataType) {
  std::u16string_view listed = DataTypeTable::Lookup(dataType).listText;
  return listed.empty() ? Numbered(dataType) : std::u16string(listed);
}

void AppendTags(std::u16string& out, const TNamedItem& owner) {
  for (std::size_t i = 0; i < owner.ChildCount(); ++i) {
    // Tags are the only components ever created with an owner.
    const auto& tag = static_cast<const TTag&>(owner.Child(i));
    AppendRecord(out, {tag.NamePath(), KindText(tag.TagType()), DataTypeText(tag.DataType()), tag.InitValue()});
    AppendTags(out, tag);
  }
}

// --- reading

struct Record {
  std::size_t line;
  std::vector<std::u16string> fields;
};

bool IsBlank(const Record& r) {
  for (const auto& f : r.fields)
    if (!f.empty()) return false;
  return true;
}

// Splits the text into records; a quoted field may hold commas, quotes
// (doubled) and line ends. False, with the problem, when a quote is left open.
bool SplitRecords(std::u16string_view text, std::vector<Record>& records, std::vector<CsvProblem>& problems) {
  std::size_t line = 1, i = 0;
  while (i < text.size()) {
    Record record{line, {}};
    std::u16string field;
    for (;;) {
      if (i < text.size() && text[i] == u'"') {
        const std::size_t opened = line;
        ++i;
        for (;;) {
          if (i >= text.size()) {
            problems.push_back({opened, {}, u"a quoted field is not closed"});
            return false;
          }
          char16_t c = text[i++];
          if (c == u'"') {
            if (i < text.size() && text[i] == u'"') {
              field += u'"';
              ++i;
              continue;
            }
            break;
          }
          if (c == u'\n') ++line;
          field += c;
        }
      }
      while (i < text.size() && text[i] != u',' && text[i] != u'\n') field += text[i++];
      if (!field.empty() && field.back() == u'\r' && (i >= text.size() || text[i] == u'\n')) field.pop_back();
      record.fields.push_back(std::move(field));
      field.clear();
      if (i < text.size() && text[i] == u',') {
        ++i;
        continue;
      }
      break;
    }
    if (i < text.size()) {
      ++i;  // the line end
      ++line;
    }
    records.push_back(std::move(record));
  }
  return true;
}

const std::u16string& Field(const Record& r, std::size_t i) {
  static const std::u16string empty;
  return i < r.fields.size() ? r.fields[i] : empty;
}

bool IsHeader(const Record& r, std::span<const std::u16string_view> header) {
  for (std::size_t i = 0; i < kFields; ++i)
    if (!SameName(Field(r, i), header[i])) return false;
  for (std::size_t i = kFields; i < r.fields.size(); ++i)
    if (!r.fields[i].empty()) return false;
  return true;
}

std::optional<std::int64_t> Integer(std::u16string_view text, std::int64_t low, std::int64_t high) {
  std::string ascii;
  for (char16_t c : text) {
    if (c > 0x7F) return std::nullopt;
    ascii += char(c);
  }
  std::int64_t value = 0;
  auto [end, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (ec != std::errc() || end != ascii.data() + ascii.size() || ascii.empty() || value < low || value > high)
    return std::nullopt;
  return value;
}

std::optional<std::int64_t> NumberedValue(std::u16string_view text, std::int64_t low, std::int64_t high) {
  if (text.empty() || text[0] != u'#') return std::nullopt;
  return Integer(text.substr(1), low, high);
}

std::optional<std::int32_t> ParseKind(std::u16string_view text) {
  if (SameName(text, u"Branch")) return TTag::Branch;
  if (SameName(text, u"Leaf")) return TTag::Leaf;
  if (auto n = NumberedValue(text, INT32_MIN, INT32_MAX)) return std::int32_t(*n);
  return std::nullopt;
}

std::optional<std::uint16_t> ParseDataType(std::u16string_view text) {
  if (text.empty()) return std::uint16_t(0);  // what a new tag has
  auto listed = DataTypeTable::Listed();
  for (std::size_t i = 0; i < listed.size(); ++i)
    if (text == listed[i].listText) return std::uint16_t(i);
  for (const VarTypeName& v : kVarTypeNames)
    if (SameName(text, v.name)) return v.dataType;
  if (auto n = NumberedValue(text, 0, 0xFFFF)) return std::uint16_t(*n);
  return std::nullopt;
}

bool IsHex(char16_t c) { return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", as the registry writes a class ID.
bool IsClassId(std::u16string_view text) {
  if (text.size() != 38 || text.front() != u'{' || text.back() != u'}') return false;
  for (std::size_t i = 1; i < 37; ++i) {
    const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
    if (dash ? text[i] != u'-' : !IsHex(text[i])) return false;
  }
  return true;
}

std::vector<std::u16string> SplitItemId(std::u16string_view id) {
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t dot = id.find(u'.', start);
    parts.emplace_back(id.substr(start, dot == std::u16string_view::npos ? std::u16string_view::npos : dot - start));
    if (dot == std::u16string_view::npos) return parts;
    start = dot + 1;
  }
}

// Decodes the bytes line by line, so that a bad sequence is reported on its line.
std::optional<std::u16string> DecodeUtf8(std::string_view bytes, std::vector<CsvProblem>& problems) {
  std::u16string text;
  std::size_t line = 1, start = 0;
  while (start <= bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    std::string_view piece = bytes.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start + 1);
    auto decoded = Utf8ToUtf16(piece);
    if (!decoded) {
      problems.push_back({line, {}, u"the line is not UTF-8 text"});
      return std::nullopt;
    }
    text += *decoded;
    if (end == std::string_view::npos) break;
    start = end + 1;
    ++line;
  }
  return text;
}

class Importer {
 public:
  Importer(TTagManager& fresh, const InitialValueCheck& valueFits) : fresh_(fresh), valueFits_(valueFits) {}

  void Settings(const Record& r) {
    const std::u16string& classId = Field(r, 0);
    if (!IsClassId(classId)) Problem(r, u"ClassID", u"[ " + classId + u" ] is not a class ID of the form {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}");
    const std::u16string& progId = Field(r, 1);
    if (progId.empty() || progId.find_first_of(u" \t") != std::u16string::npos)
      Problem(r, u"ProgID", u"[ " + progId + u" ] is not a ProgID: it must be one word");
    auto rate = Integer(Field(r, 3), INT32_MIN, INT32_MAX);
    if (!rate) Problem(r, u"UpdateRate", u"[ " + Field(r, 3) + u" ] is not a whole number of milliseconds");
    fresh_.SetClassID(classId);
    fresh_.SetProgID(progId);
    fresh_.SetDescription(Field(r, 2));
    if (rate) fresh_.SetUpdateRate(std::int32_t(*rate));
    ExtraFields(r);
  }

  void Tag(const Record& r) {
    ExtraFields(r);
    const std::u16string& id = Field(r, 0);
    auto kind = ParseKind(Field(r, 1));
    if (!kind) Problem(r, u"Kind", u"[ " + Field(r, 1) + u" ] is not a kind: Branch or Leaf");
    auto type = ParseDataType(Field(r, 2));
    if (!type) Problem(r, u"DataType", u"[ " + Field(r, 2) + u" ] is not a data type");
    if (kind && *kind == TTag::Leaf && type && !valueFits_(Field(r, 3), *type))
      Problem(r, u"InitialValue",
              u"[ " + Field(r, 3) + u" ] is not a value of the type " + DataTypeText(*type));
    TNamedItem* parent = Parent(r, id);
    if (!parent) return;
    const std::u16string name = SplitItemId(id).back();
    if (parent->FindChild(name)) {
      Problem(r, u"ItemID", u"[ " + id + u" ] is defined twice");
      return;
    }
    TTag& tag = TTag::Create(*parent);
    tag.SetName(name);
    tag.SetTagType(kind.value_or(TTag::Branch));
    tag.SetDataType(type.value_or(0));
    tag.SetInitValue(Field(r, 3));
    lines_[FoldName(id)] = {&tag, r.line};
  }

  void Problem(const Record& r, std::u16string field, std::u16string message) {
    problems.push_back({r.line, std::move(field), std::move(message)});
  }

  std::vector<CsvProblem> problems;

 private:
  void ExtraFields(const Record& r) {
    for (std::size_t i = kFields; i < r.fields.size(); ++i)
      if (!r.fields[i].empty()) {
        Problem(r, {}, u"the line has more than four fields");
        return;
      }
  }

  // The owner a tag of this item ID goes under, or null (with the problem).
  TNamedItem* Parent(const Record& r, const std::u16string& id) {
    if (id.empty()) {
      Problem(r, u"ItemID", u"the item ID is empty");
      return nullptr;
    }
    const std::vector<std::u16string> parts = SplitItemId(id);
    for (const auto& part : parts)
      if (!IsValidComponentName(part)) {
        Problem(r, u"ItemID",
                u"[ " + part + u" ] in [ " + id +
                    u" ] is not a valid name: ASCII letters, digits and underscores, not starting with a digit");
        return nullptr;
      }
    if (parts.size() == 1) return &fresh_;
    const std::u16string parentId = id.substr(0, id.size() - parts.back().size() - 1);
    auto it = lines_.find(FoldName(parentId));
    if (it == lines_.end()) {
      Problem(r, u"ItemID", u"the parent [ " + parentId + u" ] of [ " + id + u" ] is not defined on an earlier line");
      return nullptr;
    }
    TTag* parent = it->second.tag;
    if (parent->TagType() == TTag::Leaf) {
      Problem(r, u"ItemID",
              u"[ " + parentId + u" ] (line " + DecimalText(std::int64_t(it->second.line)) +
                  u") is a leaf and cannot have children");
      return nullptr;
    }
    return parent;
  }

  struct Defined {
    TTag* tag;
    std::size_t line;
  };
  TTagManager& fresh_;
  const InitialValueCheck& valueFits_;
  std::map<std::u16string, Defined> lines_;  // by folded item ID
};

}  // namespace

std::string ExportTagCsv(const TTagManager& manager) {
  std::u16string text;
  AppendRecord(text, {kSettingsHeader[0], kSettingsHeader[1], kSettingsHeader[2], kSettingsHeader[3]});
  AppendRecord(text, {manager.ClassID(), manager.ProgID(), manager.Description(), DecimalText(manager.UpdateRate())});
  AppendRecord(text, {u"", u"", u"", u""});
  AppendRecord(text, {kTagsHeader[0], kTagsHeader[1], kTagsHeader[2], kTagsHeader[3]});
  AppendTags(text, manager);
  return std::string(kByteOrderMark) + Utf16ToUtf8Lossy(text);
}

std::vector<CsvProblem> ImportTagCsv(std::string_view bytes, TTagManager& manager, const InitialValueCheck& valueFits) {
  std::vector<CsvProblem> problems;
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
  std::optional<std::u16string> text = DecodeUtf8(bytes, problems);
  if (!text) return problems;
  std::vector<Record> records;
  if (!SplitRecords(*text, records, problems)) return problems;

  TTagManager fresh;
  fresh.SetPassWord(manager.PassWord());
  Importer importer(fresh, valueFits);
  std::size_t next = 0;
  auto nonBlank = [&]() -> const Record* {
    while (next < records.size() && IsBlank(records[next])) ++next;
    return next < records.size() ? &records[next++] : nullptr;
  };
  const Record* header = nonBlank();
  if (!header || !IsHeader(*header, kSettingsHeader)) {
    importer.problems.push_back({header ? header->line : 1, {}, u"the first line must be ClassID,ProgID,Description,UpdateRate"});
    return importer.problems;
  }
  const Record* settings = nonBlank();
  if (!settings) {
    importer.problems.push_back({header->line + 1, {}, u"the server's settings are missing"});
    return importer.problems;
  }
  importer.Settings(*settings);
  if (const Record* tagsHeader = nonBlank()) {
    if (!IsHeader(*tagsHeader, kTagsHeader)) {
      importer.Problem(*tagsHeader, {}, u"the tags must start with the line ItemID,Kind,DataType,InitialValue");
      return importer.problems;
    }
    while (const Record* r = nonBlank()) importer.Tag(*r);
  }
  if (!importer.problems.empty()) return importer.problems;
  manager.Swap(fresh);
  return {};
}

}  // namespace opclumbra
