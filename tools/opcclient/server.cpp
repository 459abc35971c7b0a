#include "server.h"

#include <comcat.h>

#include <map>

#include "output.h"
#include "task_mem.h"

namespace opcclient {

using quillon::ComPtr;
using quillon::TaskString;

namespace {

struct Version {
  const CATID* category;
  unsigned bit;
  const char* name;
};

const Version kVersions[] = {
    {&CATID_OPCDAServer10, 1, "DA1"},
    {&CATID_OPCDAServer20, 2, "DA2"},
    {&CATID_OPCDAServer30, 4, "DA3"},
};

struct GuidLess {
  bool operator()(const GUID& a, const GUID& b) const { return memcmp(&a, &b, sizeof(GUID)) < 0; }
};

}  // namespace

std::string GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return Utf8(text);
}

int ListServers(Reporter& report) {
  ComPtr<ICatInformation> categories;
  report.Check(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatInformation,
                                categories.PutVoid()),
               "cannot create the component categories manager");
  std::map<CLSID, unsigned, GuidLess> servers;
  for (const Version& v : kVersions) {
    CATID category = *v.category;
    ComPtr<IEnumCLSID> classes;
    HRESULT hr = categories->EnumClassesOfCategories(1, &category, ULONG(-1), nullptr, classes.Put());
    // A category nobody registered is no error, just empty.
    if (FAILED(hr) || !classes) continue;
    CLSID batch[64];
    ULONG fetched = 0;
    while (SUCCEEDED(classes->Next(ULONG(std::size(batch)), batch, &fetched)) && fetched > 0) {
      for (ULONG i = 0; i < fetched && i < std::size(batch); ++i) servers[batch[i]] |= v.bit;
      if (fetched < std::size(batch)) break;
    }
  }
  for (const auto& [clsid, versions] : servers) {
    TaskString progId, description;
    ProgIDFromCLSID(clsid, progId.Put());
    OleRegGetUserType(clsid, USERCLASSTYPE_FULL, description.Put());
    std::string shown;
    for (const Version& v : kVersions)
      if (versions & v.bit) shown += shown.empty() ? v.name : std::string(",") + v.name;
    PrintFields({GuidText(clsid), Field(TextOf(progId.Get())), Field(TextOf(description.Get())), shown});
  }
  return kOk;
}

ComPtr<IOPCServer> ConnectServer(const std::wstring& name, Reporter& report) {
  CLSID clsid{};
  if (!name.empty() && name[0] == L'{') {
    report.Check(CLSIDFromString(name.c_str(), &clsid), "bad class ID " + Utf8(name), kCannotConnect);
  } else {
    report.Check(CLSIDFromProgID(name.c_str(), &clsid), "unknown ProgID " + Utf8(name), kCannotConnect);
  }
  ComPtr<IOPCServer> server;
  report.Check(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, __uuidof(IOPCServer), server.PutVoid()),
               "cannot connect to " + Utf8(name) + " " + GuidText(clsid), kCannotConnect);
  if (!server) {
    report.Error("cannot connect to " + Utf8(name) + ": no object returned");
    throw Failure{kCannotConnect};
  }
  report.SetServer(server.Query<IUnknown>());
  return server;
}

}  // namespace opcclient
