// The call table of the server object: IOPCServer, IOPCCommon,
// IOPCBrowseServerAddressSpace, IOPCItemProperties, IOPCBrowse, IOPCItemIO,
// its IOPCShutdown connection point, IOPCServerPublicGroups, IPersistFile
// when served, and the enumerators they hand out.
#include "call_args.h"
#include "returned.h"

namespace hostile {
namespace {

const std::vector<IID>& GroupIids() {
  static const std::vector<IID> kIids = {
      IID_IOPCGroupStateMgt, IID_IOPCGroupStateMgt2, IID_IOPCItemMgt,         IID_IOPCSyncIO,
      IID_IOPCSyncIO2,       IID_IOPCAsyncIO,        IID_IOPCAsyncIO2,        IID_IOPCAsyncIO3,
      IID_IOPCItemDeadbandMgt, IID_IOPCItemSamplingMgt, IID_IConnectionPointContainer, IID_IDataObject,
      IID_IOPCServer};
  return kIids;
}

std::vector<DWORD> PropertyIds(Session& s, const Sized& n) {
  static const DWORD kIds[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 100, 101, 102, 4999, 5000, 0xFFFFFFFF};
  std::vector<DWORD> ids(n.Slots());
  for (auto& id : ids) id = s.rnd.Chance(85) ? kIds[s.rnd.Below(15)] : s.rnd.Bits();
  return ids;
}

void AddGroup(Session& s) {
  Text name = s.rnd.Chance(20) ? Text{s.groupNames.empty() ? L"" : s.rnd.Pick(s.groupNames), "known group"}
                               : s.rnd.Name({L"G1", L"G2", L"G3"});
  const BOOL active = BOOL(s.rnd.Chance(50) ? s.rnd.Below(2) : s.rnd.Bits());
  const DWORD rate = s.rnd.Rate();
  const OPCHANDLE client = s.rnd.Bits();
  LONG bias = LONG(s.rnd.Bits());
  FLOAT deadband = s.rnd.Float();
  const bool withBias = s.rnd.Chance(50), withDeadband = s.rnd.Chance(50);
  const LCID lcid = s.rnd.Locale();
  const IID riid = s.rnd.Iid(GroupIids());
  const bool nullName = s.rnd.Chance(2);
  OPCHANDLE handle = 0;
  DWORD revised = 0;
  ComPtr<IUnknown> unk;
  Call c(s, "IOPCServer::AddGroup");
  c.Arg("name", nullName ? "NULL" : name.shown).ArgHex("active", active).ArgHex("rate", rate);
  c.Arg("bias", withBias ? Hex(bias) : "NULL").Arg("deadband", withDeadband ? std::to_string(deadband) : "NULL");
  c.ArgHex("lcid", lcid).ArgHex("riid.Data1", riid.Data1).Refused(nullName);
  IOPCServer* server = s.Need(s.so.server);
  if (!server) return;
  const HRESULT hr = c.Run(
      [&] {
        return server->AddGroup(nullName ? nullptr : name.value.c_str(), active, rate, client,
                                withBias ? &bias : nullptr, withDeadband ? &deadband : nullptr, lcid, &handle,
                                &revised, riid, unk.PutUnknown());
      },
      unk);
  if (SUCCEEDED(hr)) {
    c.Expect(bool(unk), "AddGroup succeeded without a group");
    s.liveGroups.push_back(handle);
    s.groupNames.push_back(name.value.c_str());
    auto g = std::make_unique<Group>();
    g->handle = handle;
    g->name = name.value.c_str();
    if (g->Adopt(riid, std::move(unk))) s.groups.push_back(std::move(g));
  }
}

void CallIOPCServer(Session& s) {
  IOPCServer* server = s.Need(s.so.server);
  if (!server) return;
  switch (s.rnd.Below(7)) {
    case 0:
    case 1: return AddGroup(s);
    case 2: {
      const HRESULT code = s.rnd.Code();
      const LCID lcid = s.rnd.Locale();
      TaskString text;
      Call c(s, "IOPCServer::GetErrorString");
      c.ArgHex("code", code).ArgHex("lcid", lcid);
      c.Run([&] { return server->GetErrorString(code, lcid, text.Put()); }, text);
      return;
    }
    case 3: {
      Text name = s.rnd.Chance(50) && !s.groupNames.empty() ? Text{s.rnd.Pick(s.groupNames), "known group"}
                                                             : s.rnd.Name({});
      const IID riid = s.rnd.Iid(GroupIids());
      ComPtr<IUnknown> unk;
      Call c(s, "IOPCServer::GetGroupByName");
      c.Arg("name", name.shown).ArgHex("riid.Data1", riid.Data1);
      c.Run([&] { return server->GetGroupByName(name.value.c_str(), riid, unk.PutUnknown()); }, unk);
      return;
    }
    case 4: {
      TaskPtr<OPCSERVERSTATUS> status;
      Call c(s, "IOPCServer::GetStatus");
      const HRESULT hr = c.Run([&] { return server->GetStatus(status.Put()); }, status);
      if (SUCCEEDED(hr)) c.Expect(bool(status), "GetStatus succeeded without a status");
      return;
    }
    case 5: {
      const DWORD handle = s.rnd.Handle(s.liveGroups, s.staleGroups);
      const BOOL force = BOOL(s.rnd.Below(3));
      Call c(s, "IOPCServer::RemoveGroup");
      c.ArgHex("handle", handle).Arg("force", force);
      const HRESULT hr = c.Run([&] { return server->RemoveGroup(handle, force); });
      if (SUCCEEDED(hr)) {
        std::erase(s.liveGroups, handle);
        s.staleGroups.push_back(handle);
        for (auto& g : s.groups)
          if (g->handle == handle) {
            g->removed = true;
            g->forced = g->forced || force;
          }
      }
      return;
    }
    default: {
      bool refused = false;
      const DWORD scope = s.rnd.Enum(6, refused);
      static const std::vector<IID> kIids = {IID_IEnumUnknown, IID_IEnumString};
      const IID riid = s.rnd.Iid(kIids);
      ComPtr<IUnknown> unk;
      Call c(s, "IOPCServer::CreateGroupEnumerator");
      c.ArgHex("scope", scope).ArgHex("riid.Data1", riid.Data1).Refused(refused);
      const HRESULT hr =
          c.Run([&] { return server->CreateGroupEnumerator(OPCENUMSCOPE(scope), riid, unk.PutUnknown()); }, unk);
      if (SUCCEEDED(hr) && unk && riid == IID_IEnumString)
        s.so.strings = Typed<IEnumString>(unk);
      else if (SUCCEEDED(hr) && unk && riid == IID_IEnumUnknown)
        s.so.groupObjects = Typed<IEnumUnknown>(unk);
      return;
    }
  }
}

void CallIOPCCommon(Session& s) {
  IOPCCommon* common = s.Need(s.so.common);
  if (!common) return;
  switch (s.rnd.Below(5)) {
    case 0: {
      const LCID lcid = s.rnd.Locale();
      Call c(s, "IOPCCommon::SetLocaleID");
      c.ArgHex("lcid", lcid);
      c.Run([&] { return common->SetLocaleID(lcid); });
      return;
    }
    case 1: {
      LCID lcid = 0;
      Call c(s, "IOPCCommon::GetLocaleID");
      c.Run([&] { return common->GetLocaleID(&lcid); });
      return;
    }
    case 2: {
      DWORD count = 0;
      TaskMem<LCID> ids;
      Call c(s, "IOPCCommon::QueryAvailableLocaleIDs");
      const HRESULT hr = c.Run([&] { return common->QueryAvailableLocaleIDs(&count, ids.Put()); }, ids);
      if (SUCCEEDED(hr) && count) c.Expect(ids.Get() != nullptr, "locale count without locales");
      return;
    }
    case 3: {
      const HRESULT code = s.rnd.Code();
      TaskString text;
      Call c(s, "IOPCCommon::GetErrorString");
      c.ArgHex("code", code);
      c.Run([&] { return common->GetErrorString(code, text.Put()); }, text);
      return;
    }
    default: {
      Text name = s.rnd.Name({L"hostile client"});
      const bool null = s.rnd.Chance(3);
      Call c(s, "IOPCCommon::SetClientName");
      c.Arg("name", null ? "NULL" : name.shown).Refused(null);
      c.Run([&] { return common->SetClientName(null ? nullptr : name.value.c_str()); });
      return;
    }
  }
}

void CallEnumString(Session& s) {
  IEnumString* e = s.so.strings.Get();
  if (!e) return;
  switch (s.rnd.Below(4)) {
    case 0: {
      const ULONG celt = s.rnd.Below(4);
      TaskMem<LPOLESTR> got(std::max<ULONG>(celt, 1));  // zero-filled: what is not fetched stays null
      ULONG fetched = 0;
      Call c(s, "IEnumString::Next");
      c.Arg("celt", celt);
      c.Run([&] { return e->Next(celt, got.Get(), &fetched); });
      c.Expect(fetched <= celt, "Next fetched more than asked");
      return;
    }
    case 1: {
      const ULONG celt = s.rnd.Chance(50) ? s.rnd.HugeCount() : s.rnd.Below(5);
      Call c(s, "IEnumString::Skip");
      c.ArgHex("celt", celt);
      c.Run([&] { return e->Skip(celt); });
      return;
    }
    case 2: {
      Call c(s, "IEnumString::Reset");
      c.Run([&] { return e->Reset(); });
      return;
    }
    default: {
      ComPtr<IEnumString> clone;
      Call c(s, "IEnumString::Clone");
      c.Run([&] { return e->Clone(clone.Put()); }, clone);
      return;
    }
  }
}

void CallEnumUnknown(Session& s) {
  IEnumUnknown* e = s.so.groupObjects.Get();
  if (!e) return;
  switch (s.rnd.Below(4)) {
    case 0: {
      const ULONG celt = s.rnd.Below(4);
      std::vector<IUnknown*> got(std::max<ULONG>(celt, 1), nullptr);
      ULONG fetched = 0;
      Call c(s, "IEnumUnknown::Next");
      c.Arg("celt", celt);
      c.Run([&] { return e->Next(celt, got.data(), &fetched); });
      for (ULONG i = 0; i < fetched && i < got.size(); ++i) ComPtr<IUnknown>::Attach(got[i]).Reset();
      c.Expect(fetched <= celt, "Next fetched more than asked");
      return;
    }
    case 1: {
      const ULONG celt = s.rnd.Chance(50) ? s.rnd.HugeCount() : s.rnd.Below(5);
      Call c(s, "IEnumUnknown::Skip");
      c.ArgHex("celt", celt);
      c.Run([&] { return e->Skip(celt); });
      return;
    }
    case 2: {
      Call c(s, "IEnumUnknown::Reset");
      c.Run([&] { return e->Reset(); });
      return;
    }
    default: {
      ComPtr<IEnumUnknown> clone;
      Call c(s, "IEnumUnknown::Clone");
      c.Run([&] { return e->Clone(clone.Put()); }, clone);
      return;
    }
  }
}

void CallBrowseSpace(Session& s) {
  IOPCBrowseServerAddressSpace* space = s.Need(s.so.space);
  if (!space) return;
  switch (s.rnd.Below(6)) {
    case 0: {
      OPCNAMESPACETYPE type{};
      Call c(s, "IOPCBrowseServerAddressSpace::QueryOrganization");
      c.Run([&] { return space->QueryOrganization(&type); });
      return;
    }
    case 1:
    case 2: {
      bool refused = false;
      // Mostly up, so that moves beyond the root come often.
      const DWORD direction = s.rnd.Chance(50) ? DWORD(OPC_BROWSE_UP) : s.rnd.Enum(3, refused);
      Text to = s.rnd.ItemId({L"Tank1", L"Tank2", L"Tank2.Sub", L"Tank1.Level"});
      Call c(s, "IOPCBrowseServerAddressSpace::ChangeBrowsePosition");
      c.ArgHex("direction", direction).Arg("string", to.shown).Refused(refused);
      c.Run([&] { return space->ChangeBrowsePosition(OPCBROWSEDIRECTION(direction), to.value.c_str()); });
      return;
    }
    case 3: {
      bool refused = false;
      const DWORD type = s.rnd.Enum(3, refused);
      Text filter = s.rnd.Chance(50) ? Text{L"", "empty"} : s.rnd.ItemId({});
      const VARTYPE vt = s.rnd.Type();
      const DWORD rights = s.rnd.Chance(70) ? s.rnd.Below(4) : s.rnd.Bits();
      ComPtr<IEnumString> e;
      Call c(s, "IOPCBrowseServerAddressSpace::BrowseOPCItemIDs");
      c.ArgHex("type", type).Arg("filter", filter.shown).ArgHex("vt", vt).ArgHex("rights", rights).Refused(refused);
      const HRESULT hr = c.Run(
          [&] { return space->BrowseOPCItemIDs(OPCBROWSETYPE(type), filter.value.c_str(), vt, rights, e.Put()); }, e);
      if (SUCCEEDED(hr)) c.Expect(bool(e), "BrowseOPCItemIDs succeeded without an enumerator");
      s.so.strings = std::move(e);
      return;
    }
    case 4: {
      Text name = s.rnd.ItemId({L"Level", L"Temp", L"Counter", L"Tank1"});
      TaskString id;
      Call c(s, "IOPCBrowseServerAddressSpace::GetItemID");
      c.Arg("name", name.shown);
      c.Run([&] { return space->GetItemID(name.value.data(), id.Put()); }, id);
      return;
    }
    default: {
      Text id = s.rnd.ItemId(KnownIds());
      ComPtr<IEnumString> e;
      Call c(s, "IOPCBrowseServerAddressSpace::BrowseAccessPaths");
      c.Arg("id", id.shown);
      c.Run([&] { return space->BrowseAccessPaths(id.value.c_str(), e.Put()); }, e);
      if (e) s.so.strings = std::move(e);
      return;
    }
  }
}

void CallItemProperties(Session& s) {
  IOPCItemProperties* p = s.Need(s.so.properties);
  if (!p) return;
  Text id = s.rnd.ItemId(KnownIds());
  const bool nullId = s.rnd.Chance(2);
  LPWSTR idArg = nullId ? nullptr : id.value.data();
  switch (s.rnd.Below(3)) {
    case 0: {
      DWORD count = 0;
      TaskMem<DWORD> ids;
      TaskMem<LPWSTR> descriptions;
      TaskMem<VARTYPE> types;
      Call c(s, "IOPCItemProperties::QueryAvailableProperties");
      c.Arg("id", nullId ? "NULL" : id.shown).Refused(nullId);
      const HRESULT hr =
          c.Run([&] { return p->QueryAvailableProperties(idArg, &count, ids.Put(), descriptions.Put(), types.Put()); },
                ids, descriptions, types);
      ids.SetCount(count);
      descriptions.SetCount(count);
      types.SetCount(count);
      if (SUCCEEDED(hr) && count)
        c.Expect(ids.Get() && descriptions.Get() && types.Get(), "property count without arrays");
      return;
    }
    case 1: {
      const Sized n = CountFor(s);
      auto props = PropertyIds(s, n);
      TaskMem<VARIANT> values;
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCItemProperties::GetItemProperties");
      c.Arg("id", nullId ? "NULL" : id.shown).ArgHex("count", n.count).Refused(nullId || n.huge);
      const HRESULT hr = c.Run(
          [&] { return p->GetItemProperties(idArg, n.count, n.Of(props), values.Put(n.count), errors.Put()); }, values,
          errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
    default: {
      const Sized n = CountFor(s);
      auto props = PropertyIds(s, n);
      TaskMem<LPWSTR> ids;
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCItemProperties::LookupItemIDs");
      c.Arg("id", nullId ? "NULL" : id.shown).ArgHex("count", n.count).Refused(nullId || n.huge);
      const HRESULT hr =
          c.Run([&] { return p->LookupItemIDs(idArg, n.count, n.Of(props), ids.Put(n.count), errors.Put()); }, ids,
                errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
  }
}

void CallBrowse(Session& s) {
  IOPCBrowse* b = s.Need(s.so.browse);
  if (!b) return;
  if (s.rnd.Chance(30)) {
    const Sized n = CountFor(s);
    Ids ids(s, n, true);
    const Sized np = s.rnd.Chance(20) ? CountFor(s) : Sized{s.rnd.Below(4), false};
    auto props = PropertyIds(s, np);
    const BOOL values = BOOL(s.rnd.Below(2));
    TaskMem<OPCITEMPROPERTIES> out;
    Call c(s, "IOPCBrowse::GetProperties");
    c.ArgHex("count", n.count).Arg("ids", ids.shown).ArgHex("propertyCount", np.count).Arg("values", values);
    c.Refused(n.huge || np.huge);
    const HRESULT hr = c.Run(
        [&] { return b->GetProperties(n.count, n.Of(ids.ptrs), values, np.count, np.Of(props), out.Put(n.count)); },
        out);
    if (SUCCEEDED(hr) && n.count) c.Expect(out.Get() != nullptr, "GetProperties succeeded without results");
    return;
  }
  Text id = s.rnd.Chance(40) ? Text{L"", "root"} : s.rnd.ItemId({L"Tank1", L"Tank2", L"Tank2.Sub", L"Tank1.Level"});
  Text point = s.rnd.ItemId(KnownIds());
  const bool withPoint = s.rnd.Chance(50);
  TaskString cp;
  if (withPoint) cp = TaskString::Attach(quillon::TaskMemString(point.value.c_str()).Detach());
  const DWORD max = s.rnd.Chance(20) ? s.rnd.HugeCount() : s.rnd.Below(4);
  bool refused = false;
  const DWORD filter = s.rnd.Enum(3, refused);
  Text nameFilter = s.rnd.Chance(60) ? Text{L"", "empty"} : s.rnd.ItemId({});
  Text vendorFilter = s.rnd.Chance(80) ? Text{L"", "empty"} : s.rnd.ItemId({});
  const BOOL all = BOOL(s.rnd.Below(2)), values = BOOL(s.rnd.Below(2));
  const Sized np = s.rnd.Chance(20) ? CountFor(s) : Sized{s.rnd.Below(3), false};
  auto props = PropertyIds(s, np);
  BOOL more = FALSE;
  DWORD count = 0;
  TaskMem<OPCBROWSEELEMENT> elements;
  Call c(s, "IOPCBrowse::Browse");
  c.Arg("id", id.shown).Arg("continuation", withPoint ? point.shown : "NULL").ArgHex("max", max);
  c.ArgHex("filter", filter).Arg("nameFilter", nameFilter.shown).Arg("vendorFilter", vendorFilter.shown);
  c.Arg("all", all).Arg("values", values).ArgHex("propertyCount", np.count).Refused(refused || np.huge);
  const HRESULT hr = c.Run(
      [&] {
        return b->Browse(id.value.data(), cp.InOut(), max, OPCBROWSEFILTER(filter), nameFilter.value.data(),
                         vendorFilter.value.data(), all, values, np.count, np.Of(props), &more, &count,
                         elements.Put());
      },
      elements);
  elements.SetCount(count);
  if (SUCCEEDED(hr) && count) c.Expect(elements.Get() != nullptr, "element count without elements");
}

std::vector<OPCITEMVQT> Vqts(Session& s, const Sized& n, std::vector<quillon::Variant>& values, std::string& shown) {
  std::vector<OPCITEMVQT> vqts(n.Slots());
  values.resize(vqts.size());
  for (size_t i = 0; i < vqts.size(); ++i) {
    std::string one;
    s.rnd.Value(values[i], one);
    if (i == 0) shown = one;
    vqts[i] = {};
    vqts[i].vDataValue = values[i].Get();
    vqts[i].bQualitySpecified = BOOL(s.rnd.Below(3));
    vqts[i].wQuality = s.rnd.Quality();
    vqts[i].bTimeStampSpecified = BOOL(s.rnd.Below(3));
    vqts[i].ftTimeStamp = s.rnd.Time();
  }
  return vqts;
}

void CallItemIo(Session& s) {
  IOPCItemIO* io = s.Need(s.so.itemIo);
  if (!io) return;
  const Sized n = CountFor(s);
  Ids ids(s, n, true);
  if (s.rnd.Chance(50)) {
    std::vector<DWORD> ages(n.Slots());
    for (auto& a : ages) a = s.rnd.Chance(50) ? s.rnd.Rate() : 0;
    TaskMem<VARIANT> values;
    TaskMem<WORD> qualities;
    TaskMem<FILETIME> times;
    TaskMem<HRESULT> errors;
    Call c(s, "IOPCItemIO::Read");
    c.ArgHex("count", n.count).Arg("ids", ids.shown).Refused(n.huge);
    const HRESULT hr = c.Run(
        [&] {
          return io->Read(n.count, const_cast<LPCWSTR*>(n.Of(ids.ptrs)), n.Of(ages), values.Put(n.count),
                          qualities.Put(), times.Put(), errors.Put());
        },
        values, qualities, times, errors);
    c.Items(hr, errors.Get(), n.count);
    return;
  }
  std::vector<quillon::Variant> held;
  std::string shown;
  auto vqts = Vqts(s, n, held, shown);
  TaskMem<HRESULT> errors;
  Call c(s, "IOPCItemIO::WriteVQT");
  c.ArgHex("count", n.count).Arg("ids", ids.shown).Arg("value", shown).Refused(n.huge);
  const HRESULT hr = c.Run(
      [&] { return io->WriteVQT(n.count, const_cast<LPCWSTR*>(n.Of(ids.ptrs)), n.Of(vqts), errors.Put()); }, errors);
  c.Items(hr, errors.Get(), n.count);
}

void CallPublicGroups(Session& s) {
  IOPCServerPublicGroups* pg = s.Need(s.so.publicGroups);
  if (!pg) return;
  if (s.rnd.Chance(50)) {
    Text name = s.rnd.Name(s.groupNames);
    const IID riid = s.rnd.Iid(GroupIids());
    ComPtr<IUnknown> unk;
    Call c(s, "IOPCServerPublicGroups::GetPublicGroupByName");
    c.Arg("name", name.shown).ArgHex("riid.Data1", riid.Data1);
    c.Run([&] { return pg->GetPublicGroupByName(name.value.c_str(), riid, unk.PutUnknown()); }, unk);
    return;
  }
  const DWORD handle = s.rnd.Handle(s.liveGroups, s.staleGroups);
  const BOOL force = BOOL(s.rnd.Below(2));
  Call c(s, "IOPCServerPublicGroups::RemovePublicGroup");
  c.ArgHex("handle", handle).Arg("force", force);
  c.Run([&] { return pg->RemovePublicGroup(handle, force); });
}

void CallPersistFile(Session& s) {
  IPersistFile* pf = s.Need(s.so.persist);
  if (!pf) return;
  switch (s.rnd.Below(3)) {
    case 0: {
      Call c(s, "IPersistFile::IsDirty");
      c.Run([&] { return pf->IsDirty(); });
      return;
    }
    case 1: {
      Text name = s.rnd.ItemId({L"C:\\nonexistent\\x.cfg"});
      Call c(s, "IPersistFile::Load");
      c.Arg("name", name.shown);
      c.Run([&] { return pf->Load(name.value.c_str(), s.rnd.Bits()); });
      return;
    }
    default: {
      TaskString name;
      Call c(s, "IPersistFile::GetCurFile");
      c.Run([&] { return pf->GetCurFile(name.Put()); }, name);
      return;
    }
  }
}

}  // namespace

// The connection point calls, shared with the group's (group_calls.cpp).
void CallContainer(Session& s, ComPtr<IConnectionPointContainer>& container, ComPtr<IConnectionPoint>& point,
                   std::vector<DWORD>& cookies, REFIID sinkIid, IUnknown* sink, bool disconnected);

void CallServerObject(Session& s) {
  switch (s.rnd.Below(12)) {
    case 0:
    case 1: return CallIOPCServer(s);
    case 2: return CallIOPCCommon(s);
    case 3: return CallBrowseSpace(s);
    case 4: return CallItemProperties(s);
    case 5: return CallBrowse(s);
    case 6: return CallItemIo(s);
    case 7: return s.Need(s.so.container) ? CallContainer(s, s.so.container, s.so.point, s.so.cookies, IID_IOPCShutdown,
                                                          s.shutdownSink.Get(), false)
                                          : void();
    case 8: return CallPublicGroups(s);
    case 9: return CallPersistFile(s);
    case 10: return CallEnumString(s);
    default: return CallEnumUnknown(s);
  }
}

}  // namespace hostile
