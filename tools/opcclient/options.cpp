#include "options.h"

#include <cwchar>
#include <cwctype>
#include <functional>
#include <map>

#include "output.h"
#include "values.h"

namespace opcclient {
namespace {

const char kUsage[] =
    R"(Usage: opcclient COMMAND [SERVER] [ARGUMENTS] [OPTIONS]

A command-line client of OPC Data Access servers. SERVER is a ProgID
(e.g. OPC.Lumbra.1) or a class ID in braces.

Commands:
  list                              servers registered in the OPC DA 1.0/2.0/3.0
                                    categories: CLSID, ProgID, description, versions
      --server-list                 ask the OPC server list service (IOPCServerList2,
                                    else IOPCServerList) instead of the registry
  status SERVER                     the server's status (IOPCServer::GetStatus)
  browse SERVER                     the address space through IOPCBrowseServerAddressSpace
      --flat                        the flat list of every item ID
      --branches | --leaves         only branches, only leaves (default: both)
      --filter TEXT                 the server's name filter (wildcards)
      --type VT                     only leaves of this data type
      --rights r|w|rw               only leaves with these access rights
      --from ITEMID                 start at this branch instead of the root
      --item-ids                    add each element's item ID (GetItemID)
  browse3 SERVER [ITEMID]           the children of ITEMID (default: the root)
                                    through IOPCBrowse::Browse
      --branches | --leaves, --filter TEXT as above
      --vendor TEXT                 the server's vendor filter
      --max N                       at most N elements per call; every
                                    continuation point is followed
  read SERVER ITEM...               read through a group (IOPCSyncIO::Read)
      --device                      from the device instead of the cache
      --type VT                     the data type requested for the items
  itemread SERVER ITEM...           read by item ID (IOPCItemIO::Read)
      --max-age MS                  oldest acceptable value (default: any;
                                    0 reads the device)
  write SERVER ITEM VALUE [ITEM VALUE]...
                                    write through a group (IOPCSyncIO::Write)
      --type VT                     convert the text to VT first (default: the
                                    item's canonical type)
  itemwrite SERVER ITEM VALUE [ITEM VALUE]...
                                    write by item ID (IOPCItemIO::WriteVQT)
      --type VT                     convert the text to VT first (default: text)
      --quality N                   write this quality too (decimal or 0xNN)
      --timestamp TIME              write this time too (ISO 8601 UTC or "now")
  props SERVER ITEM                 item properties (IOPCItemProperties)
      --id N[,N...]                 only these property IDs
      --browse                      through IOPCBrowse::GetProperties instead
  subscribe SERVER ITEM...          print every data change (IOPCDataCallback)
      --rate MS                     the group's update rate (default 1000)
      --seconds N                   how long to listen (default 10)
      --count N                     stop after N changed values
      --deadband PERCENT            the group's percent deadband

Options of every command:
  --timeout SECONDS                 give up when the server does not answer
                                    (default 30; 0: wait for ever)
  --help                            this text
  --version                         the version of opcclient (and of the Quillon binaries beside it)

VT is a VARIANT type name (I4, R8, BSTR, BOOL, VT_UI2, ARRAY|R8...) or number.

Output: one record per line, fields separated by tabs, UTF-8.
  browse, browse3:  KIND  NAME  [ITEMID]   (KIND: branch, leaf, branch+leaf;
                                            item for the names of --flat)
  props:            ID  DESCRIPTION  VALUE  VT
  write, itemwrite: ITEMID  OK
A value line (read, itemread, subscribe) is
  ITEMID  VALUE  VT  QUALITY  TIMESTAMP
e.g. "Tank.Level<TAB>1.5<TAB>VT_R8<TAB>192 GOOD<TAB>2026-12-08T18:10:46.123Z".
Tabs, line breaks and backslashes in texts are written as \t, \n, \r, \\.
Errors go to stderr with the HRESULT in hex and the server's text for it.

Exit codes:
  0  success
  1  bad command line
  2  cannot connect: unknown ProgID or class ID, or the server cannot be created
  3  a call failed as a whole
  4  the calls succeeded but some item or property failed
  5  the server did not answer within --timeout
)";

bool ParseNumber(const std::wstring& text, unsigned long long max, DWORD& out) {
  if (text.empty() || !std::iswdigit(text[0])) return false;
  wchar_t* end = nullptr;
  const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
  unsigned long long n = std::wcstoull(text.c_str(), &end, hex ? 16 : 10);
  if (*end || n > max) return false;
  out = DWORD(n);
  return true;
}

const std::map<std::wstring, Command> kCommands = {
    {L"list", Command::kList},         {L"status", Command::kStatus},       {L"browse", Command::kBrowse},
    {L"browse3", Command::kBrowse3},   {L"read", Command::kRead},           {L"itemread", Command::kItemRead},
    {L"write", Command::kWrite},       {L"itemwrite", Command::kItemWrite}, {L"props", Command::kProperties},
    {L"subscribe", Command::kSubscribe},
};

// Options that take a value, and what they do with it; an answer other than
// empty is the error.
using Setter = std::function<std::string(Options&, const std::wstring&)>;

std::string NumberSetter(const std::wstring& value, DWORD& target, const char* name) {
  return ParseNumber(value, 0xFFFFFFFFull, target) ? "" : std::string(name) + " wants a number";
}

const std::map<std::wstring, Setter>& ValueOptions() {
  static const std::map<std::wstring, Setter> options = {
      {L"--filter", [](Options& o, const std::wstring& v) { o.nameFilter = v; return std::string(); }},
      {L"--vendor", [](Options& o, const std::wstring& v) { o.vendorFilter = v; return std::string(); }},
      {L"--from", [](Options& o, const std::wstring& v) { o.from = v; return std::string(); }},
      {L"--type",
       [](Options& o, const std::wstring& v) {
         auto vt = ParseVt(v);
         if (!vt) return "unknown VARIANT type " + Utf8(v);
         o.type = *vt;
         o.dataTypeFilter = *vt;
         return std::string();
       }},
      {L"--rights",
       [](Options& o, const std::wstring& v) {
         if (v == L"r") o.rightsFilter = 1;
         else if (v == L"w") o.rightsFilter = 2;
         else if (v == L"rw") o.rightsFilter = 3;
         else return std::string("--rights wants r, w or rw");
         return std::string();
       }},
      {L"--max", [](Options& o, const std::wstring& v) { return NumberSetter(v, o.maxElements, "--max"); }},
      {L"--max-age", [](Options& o, const std::wstring& v) { return NumberSetter(v, o.maxAge, "--max-age"); }},
      {L"--rate", [](Options& o, const std::wstring& v) { return NumberSetter(v, o.rate, "--rate"); }},
      {L"--seconds", [](Options& o, const std::wstring& v) { return NumberSetter(v, o.seconds, "--seconds"); }},
      {L"--timeout",
       [](Options& o, const std::wstring& v) { return NumberSetter(v, o.timeoutSeconds, "--timeout"); }},
      {L"--count",
       [](Options& o, const std::wstring& v) {
         DWORD n = 0;
         if (!ParseNumber(v, 0xFFFFFFFFull, n) || n == 0) return std::string("--count wants a positive number");
         o.count = n;
         return std::string();
       }},
      {L"--quality",
       [](Options& o, const std::wstring& v) {
         DWORD q = 0;
         if (!ParseNumber(v, 0xFFFF, q)) return std::string("--quality wants a number up to 65535");
         o.quality = WORD(q);
         return std::string();
       }},
      {L"--timestamp",
       [](Options& o, const std::wstring& v) {
         o.timestamp = ParseIsoTime(v);
         return o.timestamp ? std::string() : "--timestamp wants YYYY-MM-DDTHH:MM:SS[.fff]Z or now, not " + Utf8(v);
       }},
      {L"--deadband",
       [](Options& o, const std::wstring& v) {
         wchar_t* end = nullptr;
         float d = std::wcstof(v.c_str(), &end);
         if (v.empty() || *end || d < 0 || d > 100) return std::string("--deadband wants a percentage 0..100");
         o.deadband = d;
         return std::string();
       }},
      {L"--id",
       [](Options& o, const std::wstring& v) {
         size_t start = 0;
         while (start <= v.size()) {
           size_t comma = v.find(L',', start);
           std::wstring part = v.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
           DWORD id = 0;
           if (!ParseNumber(part, 0xFFFFFFFFull, id)) return "bad property ID " + Utf8(part);
           o.propertyIds.push_back(id);
           if (comma == std::wstring::npos) break;
           start = comma + 1;
         }
         return std::string();
       }},
  };
  return options;
}

}  // namespace

const char* UsageText() { return kUsage; }

ParsedArgs ParseArgs(const std::vector<std::wstring>& args) {
  ParsedArgs parsed;
  Options& o = parsed.options;
  std::vector<std::wstring> positional;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::wstring& a = args[i];
    if (a == L"--help" || a == L"-h" || a == L"/?") {
      o.command = Command::kHelp;
      return parsed;
    }
    if (a == L"--version") {
      o.command = Command::kVersion;
      return parsed;
    }
    if (a.rfind(L"--", 0) != 0 || a == L"--") {
      positional.push_back(a);
      continue;
    }
    if (a == L"--flat") o.flat = true;
    else if (a == L"--branches") o.browseFilter = BrowseFilter::kBranches;
    else if (a == L"--leaves") o.browseFilter = BrowseFilter::kLeaves;
    else if (a == L"--item-ids") o.itemIds = true;
    else if (a == L"--device") o.device = true;
    else if (a == L"--browse") o.browseProperties = true;
    else if (a == L"--server-list") o.serverList = true;
    else if (auto it = ValueOptions().find(a); it != ValueOptions().end()) {
      if (i + 1 == args.size()) {
        parsed.error = Utf8(a) + " wants a value";
        return parsed;
      }
      parsed.error = it->second(o, args[++i]);
      if (!parsed.error.empty()) return parsed;
    } else {
      parsed.error = "unknown option " + Utf8(a);
      return parsed;
    }
  }

  if (positional.empty()) {
    parsed.error = "no command";
    return parsed;
  }
  auto command = kCommands.find(positional[0]);
  if (command == kCommands.end()) {
    parsed.error = "unknown command " + Utf8(positional[0]);
    return parsed;
  }
  o.command = command->second;
  positional.erase(positional.begin());
  if (o.command == Command::kList) {
    if (!positional.empty()) parsed.error = "list takes no arguments";
    return parsed;
  }
  if (positional.empty()) {
    parsed.error = "no server given";
    return parsed;
  }
  o.server = positional[0];
  positional.erase(positional.begin());

  switch (o.command) {
    case Command::kStatus:
    case Command::kBrowse:
      if (!positional.empty()) parsed.error = "unexpected argument " + Utf8(positional[0]);
      break;
    case Command::kBrowse3:
      if (positional.size() > 1) parsed.error = "browse3 takes at most one item ID";
      o.items = positional;
      break;
    case Command::kRead:
    case Command::kItemRead:
    case Command::kSubscribe:
      if (positional.empty()) parsed.error = "no item given";
      o.items = positional;
      break;
    case Command::kProperties:
      if (positional.size() != 1) parsed.error = "props takes one item ID";
      o.items = positional;
      break;
    case Command::kWrite:
    case Command::kItemWrite:
      if (positional.empty() || positional.size() % 2) parsed.error = "write wants pairs of ITEM VALUE";
      for (size_t i = 0; i + 1 < positional.size(); i += 2) o.writes.emplace_back(positional[i], positional[i + 1]);
      break;
    default: break;
  }
  if (o.command == Command::kSubscribe && o.seconds == 0) parsed.error = "subscribe wants a positive --seconds";
  return parsed;
}

}  // namespace opcclient
