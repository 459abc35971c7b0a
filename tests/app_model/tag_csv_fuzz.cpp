// libFuzzer entry point for the CSV import. A file is either refused with
// problems, leaving the manager exactly as it was, or read into a tree whose
// export imports again and exports as the same bytes. Anything else (an
// exception, a changed manager, an unstable round trip) aborts.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tag.h"
#include "tag_csv.h"
#include "tag_manager.h"
#include "tree_dump.h"

using namespace opclumbra;

namespace {

// Any text fits but an empty one, so that both outcomes of the check are reached.
bool ValueFits(std::u16string_view text, std::uint16_t) { return !text.empty(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TTagManager manager;
  TTag& kept = TTag::Create(manager);
  kept.SetName(u"Kept");
  const std::string before = test::FullDump(manager);
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (!ImportTagCsv(bytes, manager, ValueFits).empty()) {
    if (test::FullDump(manager) != before) std::abort();
    return 0;
  }
  const std::string exported = ExportTagCsv(manager);
  TTagManager again;
  if (!ImportTagCsv(exported, again, ValueFits).empty()) std::abort();
  if (ExportTagCsv(again) != exported) std::abort();
  return 0;
}
