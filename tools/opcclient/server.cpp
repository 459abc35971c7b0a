#include "server.h"

#include <comcat.h>

#include <algorithm>
#include <map>
#include <memory>
#include <vector>

#include "opc_server_list.h"
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

namespace {

// Every GUID an enumerator of either shape (IEnumGUID, IOPCEnumGUID) holds.
template <class Enum>
std::vector<GUID> AllOf(Enum* found) {
  std::vector<GUID> all;
  GUID batch[64];
  ULONG fetched = 0;
  while (found && SUCCEEDED(found->Next(ULONG(std::size(batch)), batch, &fetched)) && fetched > 0) {
    all.insert(all.end(), batch, batch + std::min<ULONG>(fetched, ULONG(std::size(batch))));
    if (fetched < std::size(batch)) break;
  }
  return all;
}

struct Names {
  TaskString progId, description;
};

// Where the list comes from: the classes of one category, and their names.
class ServerSource {
 public:
  virtual ~ServerSource() = default;
  virtual std::vector<CLSID> ClassesOf(const CATID& category) = 0;
  virtual Names NamesOf(const CLSID& clsid) = 0;
};

class RegistrySource : public ServerSource {
 public:
  explicit RegistrySource(Reporter& report) {
    report.Check(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICatInformation, categories_.PutVoid()),
                 "cannot create the component categories manager");
  }
  std::vector<CLSID> ClassesOf(const CATID& category) override {
    CATID id = category;
    ComPtr<IEnumCLSID> classes;
    // A category nobody registered is no error, just empty.
    if (FAILED(categories_->EnumClassesOfCategories(1, &id, ULONG(-1), nullptr, classes.Put()))) return {};
    return AllOf(classes.Get());
  }
  Names NamesOf(const CLSID& clsid) override {
    Names n;
    ProgIDFromCLSID(clsid, n.progId.Put());
    OleRegGetUserType(clsid, USERCLASSTYPE_FULL, n.description.Put());
    return n;
  }

 private:
  ComPtr<ICatInformation> categories_;
};

// The service answers IOPCServerList2 or, an older one, IOPCServerList only.
class ServerListSource : public ServerSource {
 public:
  explicit ServerListSource(Reporter& report) : report_(report) {
    HRESULT hr = CoCreateInstance(CLSID_OpcServerList, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServerList2,
                                  list2_.PutVoid());
    if (hr == E_NOINTERFACE)
      hr = CoCreateInstance(CLSID_OpcServerList, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServerList,
                            list1_.PutVoid());
    report.Check(hr, "cannot reach the OPC server list service", kCannotConnect);
  }
  std::vector<CLSID> ClassesOf(const CATID& category) override {
    CATID id = category;
    if (list2_) {
      ComPtr<IOPCEnumGUID> classes;
      report_.Check(list2_->EnumClassesOfCategories(1, &id, 0, nullptr, classes.Put()),
                    "IOPCServerList2::EnumClassesOfCategories");
      return AllOf(classes.Get());
    }
    ComPtr<IEnumGUID> classes;
    report_.Check(list1_->EnumClassesOfCategories(1, &id, 0, nullptr, classes.Put()),
                  "IOPCServerList::EnumClassesOfCategories");
    return AllOf(classes.Get());
  }
  Names NamesOf(const CLSID& clsid) override {
    Names n;
    if (list2_) {
      TaskString versionIndependent;
      list2_->GetClassDetails(clsid, n.progId.Put(), n.description.Put(), versionIndependent.Put());
    } else {
      list1_->GetClassDetails(clsid, n.progId.Put(), n.description.Put());
    }
    return n;
  }

 private:
  Reporter& report_;
  ComPtr<IOPCServerList2> list2_;
  ComPtr<IOPCServerList> list1_;
};

}  // namespace

int ListServers(bool throughServerList, Reporter& report) {
  std::unique_ptr<ServerSource> source;
  if (throughServerList)
    source = std::make_unique<ServerListSource>(report);
  else
    source = std::make_unique<RegistrySource>(report);
  std::map<CLSID, unsigned, GuidLess> servers;
  for (const Version& v : kVersions)
    for (const CLSID& clsid : source->ClassesOf(*v.category)) servers[clsid] |= v.bit;
  for (const auto& [clsid, versions] : servers) {
    Names names = source->NamesOf(clsid);
    std::string shown;
    for (const Version& v : kVersions)
      if (versions & v.bit) shown += shown.empty() ? v.name : std::string(",") + v.name;
    PrintFields({GuidText(clsid), Field(TextOf(names.progId.Get())), Field(TextOf(names.description.Get())), shown});
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
