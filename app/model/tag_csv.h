#pragma once
// The configured tree as a CSV file a spreadsheet opens: UTF-8 with a byte
// order mark, CRLF line ends, fields quoted where they must be (RFC 4180).
// Every record has four fields:
//
//   ClassID,ProgID,Description,UpdateRate
//   {...},OPC.Lumbra.1,OPC Lumbra,1000
//   ,,,
//   ItemID,Kind,DataType,InitialValue
//   Area1,Branch,无,
//   Area1.Speed,Leaf,浮点数,1.5
//
// Tags come in depth-first pre-order, each after its parent. The kind is
// "Branch" or "Leaf", the data type the name the tag dialog lists (or, on
// import, VT_I4, VT_R8, VT_BOOL, VT_BSTR or VT_EMPTY; empty, the type a new
// tag has); a kind or type number no name stands for is written "#<number>". The operation password is not
// written: an import keeps the one configured. Portable code.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace opclumbra {

class TTagManager;

// The whole tree and the server settings, as the file's bytes.
std::string ExportTagCsv(const TTagManager& manager);

struct CsvProblem {
  std::size_t line;     // 1-based, the line where the record starts
  std::u16string field;  // "ItemID", "Kind", ... or empty for the record as a whole
  std::u16string message;
};

// Whether Text is an initial value the tag's data type (DataTypeTable index)
// takes, as the program converts it when it starts serving.
using InitialValueCheck = std::function<bool(std::u16string_view text, std::uint16_t dataType)>;

// Reads a file's bytes into Manager, all or nothing: with any problem, every
// one found is answered and Manager is left as it was; with none, the tree and
// settings are replaced (the password stays) and the answer is empty.
std::vector<CsvProblem> ImportTagCsv(std::string_view bytes, TTagManager& manager, const InitialValueCheck& valueFits);

}  // namespace opclumbra
