#pragma once
// The command line: one command, the server, its arguments and options.
#include <windows.h>
#include <oleauto.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace opcclient {

enum class Command { kHelp, kVersion, kList, kStatus, kBrowse, kBrowse3, kRead, kItemRead, kWrite, kItemWrite, kProperties, kSubscribe };

enum class BrowseFilter { kAll, kBranches, kLeaves };

struct Options {
  Command command = Command::kHelp;
  std::wstring server;  // ProgID or {CLSID}
  std::vector<std::wstring> items;
  std::vector<std::pair<std::wstring, std::wstring>> writes;  // item ID, value text

  // list
  bool serverList = false;

  // browse, browse3
  bool flat = false;
  BrowseFilter browseFilter = BrowseFilter::kAll;
  std::wstring nameFilter;
  std::wstring vendorFilter;
  VARTYPE dataTypeFilter = VT_EMPTY;
  DWORD rightsFilter = 0;
  std::optional<std::wstring> from;
  bool itemIds = false;
  DWORD maxElements = 0;

  // read, itemread, write, itemwrite
  bool device = false;
  DWORD maxAge = 0xFFFFFFFF;
  std::optional<VARTYPE> type;
  std::optional<WORD> quality;
  std::optional<FILETIME> timestamp;

  // props
  std::vector<DWORD> propertyIds;
  bool browseProperties = false;

  // subscribe
  DWORD rate = 1000;
  DWORD seconds = 10;
  std::optional<DWORD> count;
  std::optional<float> deadband;

  DWORD timeoutSeconds = 30;
};

struct ParsedArgs {
  Options options;
  std::string error;  // empty when the command line is good
};

ParsedArgs ParseArgs(const std::vector<std::wstring>& args);
const char* UsageText();

}  // namespace opcclient
