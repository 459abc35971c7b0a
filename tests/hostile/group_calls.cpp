// The call table of a group: IOPCGroupStateMgt(2), IOPCItemMgt, IOPCSyncIO(2),
// IOPCAsyncIO/2/3, IOPCItemDeadbandMgt, IOPCItemSamplingMgt, the
// IOPCDataCallback connection point, IDataObject with the DA 1.0 formats and
// IEnumOPCItemAttributes; and the connection point calls the server object
// shares.
#include "call_args.h"
#include "returned.h"

namespace hostile {

void CallContainer(Session& s, ComPtr<IConnectionPointContainer>& container, ComPtr<IConnectionPoint>& point,
                   std::vector<DWORD>& cookies, REFIID sinkIid, IUnknown* sink, bool disconnected) {
  if (!point || s.rnd.Chance(20)) {
    if (s.rnd.Chance(20)) {
      ComPtr<IEnumConnectionPoints> e;
      Call c(s, "IConnectionPointContainer::EnumConnectionPoints", disconnected);
      c.Run([&] { return container->EnumConnectionPoints(e.Put()); }, e);
      return;
    }
    const IID riid = s.rnd.Chance(70) ? sinkIid : s.rnd.Iid({IID_IOPCShutdown, IID_IOPCDataCallback, IID_IAdviseSink});
    ComPtr<IConnectionPoint> p;
    Call c(s, "IConnectionPointContainer::FindConnectionPoint", disconnected);
    c.ArgHex("riid.Data1", riid.Data1);
    c.Run([&] { return container->FindConnectionPoint(riid, p.Put()); }, p);
    if (p && riid == sinkIid) point = std::move(p);
    return;
  }
  switch (s.rnd.Below(6)) {
    case 0:
    case 1: {
      // A second Advise as often as a first; now and then a sink of the
      // wrong kind.
      const uint32_t kind = s.rnd.Below(10);
      IUnknown* with = kind < 7 ? sink : kind < 9 ? static_cast<IUnknown*>(s.bare.Get())
                                                  : static_cast<IUnknown*>(s.streamSink.Get());
      DWORD cookie = 0;
      Call c(s, "IConnectionPoint::Advise", disconnected);
      c.Arg("sink", kind < 7 ? "right" : "wrong kind");
      const HRESULT hr = c.Run([&] { return point->Advise(with, &cookie); });
      if (SUCCEEDED(hr)) cookies.push_back(cookie);
      return;
    }
    case 2: {
      const DWORD cookie = s.rnd.Handle(cookies, {});
      Call c(s, "IConnectionPoint::Unadvise", disconnected);
      c.ArgHex("cookie", cookie);
      const HRESULT hr = c.Run([&] { return point->Unadvise(cookie); });
      if (SUCCEEDED(hr)) std::erase(cookies, cookie);
      return;
    }
    case 3: {
      IID iid{};
      Call c(s, "IConnectionPoint::GetConnectionInterface", disconnected);
      c.Run([&] { return point->GetConnectionInterface(&iid); });
      return;
    }
    case 4: {
      ComPtr<IConnectionPointContainer> back;
      Call c(s, "IConnectionPoint::GetConnectionPointContainer", disconnected);
      c.Run([&] { return point->GetConnectionPointContainer(back.Put()); }, back);
      return;
    }
    default: {
      ComPtr<IEnumConnections> e;
      Call c(s, "IConnectionPoint::EnumConnections", disconnected);
      c.Run([&] { return point->EnumConnections(e.Put()); }, e);
      return;
    }
  }
}

namespace {

std::vector<DWORD> ItemHandles(Session& s, Group& g, const Sized& n) {
  return HandlesFor(s, n, g.itemHandles, g.removedItems);
}

void CallStateMgt(Session& s, Group& g) {
  IOPCGroupStateMgt* st = s.Need(g, g.state);
  if (!st) return;
  switch (s.rnd.Below(4)) {
    case 0: {
      DWORD rate = 0, lcid = 0;
      BOOL active = FALSE;
      TaskString name;
      LONG bias = 0;
      FLOAT deadband = 0;
      OPCHANDLE client = 0, server = 0;
      Call c(s, "IOPCGroupStateMgt::GetState", g.forced);
      c.Arg("group", g.handle);
      c.Run([&] { return st->GetState(&rate, &active, name.Put(), &bias, &deadband, &lcid, &client, &server); },
            name);
      return;
    }
    case 1: {
      DWORD rate = s.rnd.Rate(), lcid = s.rnd.Locale(), revised = 0;
      BOOL active = BOOL(s.rnd.Chance(70) ? s.rnd.Below(2) : s.rnd.Bits());
      LONG bias = LONG(s.rnd.Bits());
      FLOAT deadband = s.rnd.Float();
      OPCHANDLE client = s.rnd.Bits();
      const uint32_t mask = s.rnd.Bits();
      const bool nullRevised = s.rnd.Chance(2);
      Call c(s, "IOPCGroupStateMgt::SetState", g.forced);
      c.Arg("group", g.handle).ArgHex("rate", (mask & 1) ? rate : 0xDEAD0000).ArgHex("active", (mask & 2) ? active : 0xDEAD);
      c.ArgHex("pointers", mask & 0x3F).Arg("deadband", deadband).Refused(nullRevised);
      c.Run([&] {
        return st->SetState((mask & 1) ? &rate : nullptr, nullRevised ? nullptr : &revised,
                            (mask & 2) ? &active : nullptr, (mask & 4) ? &bias : nullptr,
                            (mask & 8) ? &deadband : nullptr, (mask & 16) ? &lcid : nullptr,
                            (mask & 32) ? &client : nullptr);
      });
      return;
    }
    case 2: {
      Text name = s.rnd.Name(s.groupNames);
      Call c(s, "IOPCGroupStateMgt::SetName", g.forced);
      c.Arg("group", g.handle).Arg("name", name.shown);
      const HRESULT hr = c.Run([&] { return st->SetName(name.value.c_str()); });
      if (SUCCEEDED(hr)) s.groupNames.push_back(name.value.c_str());
      return;
    }
    default: {
      Text name = s.rnd.Name(s.groupNames);
      static const std::vector<IID> kIids = {IID_IOPCGroupStateMgt, IID_IOPCItemMgt, IID_IOPCSyncIO,
                                             IID_IOPCAsyncIO2};
      const IID riid = s.rnd.Iid(kIids);
      ComPtr<IUnknown> unk;
      Call c(s, "IOPCGroupStateMgt::CloneGroup", g.forced);
      c.Arg("group", g.handle).Arg("name", name.shown).ArgHex("riid.Data1", riid.Data1);
      const HRESULT hr = c.Run([&] { return st->CloneGroup(name.value.c_str(), riid, unk.PutUnknown()); }, unk);
      if (SUCCEEDED(hr) && unk) {
        auto clone = std::make_unique<Group>();
        clone->name = name.value.c_str();
        s.groupNames.push_back(clone->name);
        if (clone->Adopt(riid, std::move(unk))) s.groups.push_back(std::move(clone));
      }
      return;
    }
  }
}

void CallStateMgt2(Session& s, Group& g) {
  IOPCGroupStateMgt2* st = s.Need(g, g.state2);
  if (!st) return;
  if (s.rnd.Chance(50)) {
    const DWORD keepAlive = s.rnd.Rate();
    DWORD revised = 0;
    Call c(s, "IOPCGroupStateMgt2::SetKeepAlive", g.forced);
    c.Arg("group", g.handle).ArgHex("keepAlive", keepAlive);
    c.Run([&] { return st->SetKeepAlive(keepAlive, &revised); });
    return;
  }
  DWORD keepAlive = 0;
  Call c(s, "IOPCGroupStateMgt2::GetKeepAlive", g.forced);
  c.Arg("group", g.handle);
  c.Run([&] { return st->GetKeepAlive(&keepAlive); });
}

// Item definitions with their strings and blobs kept for one call.
struct Defs {
  std::vector<std::wstring> ids, paths;
  std::vector<std::vector<BYTE>> blobs;
  std::vector<OPCITEMDEF> defs;
  std::string shown;
  Defs(Session& s, const Sized& n) : ids(n.Slots()), paths(n.Slots()), blobs(n.Slots()), defs(n.Slots()) {
    for (size_t i = 0; i < defs.size(); ++i) {
      Text id = s.rnd.ItemId(KnownIds());
      ids[i] = std::move(id.value);
      OPCITEMDEF& d = defs[i];
      d = {};
      d.szItemID = ids[i].data();
      const uint32_t path = s.rnd.Below(10);
      if (path < 7) {
        d.szAccessPath = nullptr;
      } else {
        paths[i] = path == 7 ? L"" : s.rnd.ItemId({}).value;
        d.szAccessPath = paths[i].data();
      }
      d.bActive = BOOL(s.rnd.Chance(80) ? s.rnd.Below(2) : s.rnd.Bits());
      d.hClient = s.rnd.Bits();
      switch (s.rnd.Below(6)) {
        case 0: blobs[i].resize(1 + s.rnd.Below(64)); d.dwBlobSize = DWORD(blobs[i].size()); d.pBlob = blobs[i].data(); break;
        case 1: d.dwBlobSize = s.rnd.Chance(50) ? s.rnd.HugeCount() : 5; break;  // a size with no blob
        default: break;
      }
      d.vtRequestedDataType = s.rnd.Chance(50) ? VARTYPE(VT_EMPTY) : s.rnd.Type();
      if (i < 3) shown += (i ? "," : "[") + id.shown + "/vt" + std::to_string(d.vtRequestedDataType) +
                          (d.dwBlobSize ? "/blob" + std::to_string(d.dwBlobSize) : "");
    }
    shown += defs.size() > 3 ? ",...]" : "]";
  }
};

void CallItemMgt(Session& s, Group& g) {
  IOPCItemMgt* im = s.Need(g, g.items);
  if (!im) return;
  switch (s.rnd.Below(8)) {
    case 0:
    case 1:
    case 2: {
      const Sized n = CountFor(s);
      Defs defs(s, n);
      e2e::ItemResults added;
      Call c(s, "IOPCItemMgt::AddItems", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).Arg("items", defs.shown).Refused(n.huge);
      const HRESULT hr = c.Run(
          [&] {
            return im->AddItems(n.count, n.Of(defs.defs), added.results.Put(n.count), added.errors.Put(n.count));
          },
          added.results, added.errors);
      c.Items(hr, added.errors.Get(), n.count);
      if (SUCCEEDED(hr) && added.results.Get() && added.errors.Get())
        for (DWORD i = 0; i < n.count; ++i)
          if (SUCCEEDED(added.errors[i])) g.itemHandles.push_back(added.results[i].hServer);
      // What a failed call handed out anyway is reported, not trusted to be freed entry by entry.
      if (FAILED(hr)) added.results.SetCount(0);
      return;
    }
    case 3: {
      const Sized n = CountFor(s);
      Defs defs(s, n);
      const BOOL blobUpdate = BOOL(s.rnd.Below(2));
      e2e::ItemResults validated;
      Call c(s, "IOPCItemMgt::ValidateItems", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).Arg("items", defs.shown).Refused(n.huge);
      const HRESULT hr = c.Run(
          [&] {
            return im->ValidateItems(n.count, n.Of(defs.defs), blobUpdate, validated.results.Put(n.count),
                                     validated.errors.Put(n.count));
          },
          validated.results, validated.errors);
      c.Items(hr, validated.errors.Get(), n.count);
      if (FAILED(hr)) validated.results.SetCount(0);
      return;
    }
    case 4: {
      const Sized n = CountFor(s);
      auto handles = ItemHandles(s, g, n);
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCItemMgt::RemoveItems", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).ArgHex("first", handles[0]).Refused(n.huge);
      const HRESULT hr = c.Run([&] { return im->RemoveItems(n.count, n.Of(handles), errors.Put()); }, errors);
      c.Items(hr, errors.Get(), n.count);
      if (SUCCEEDED(hr) && errors.Get())
        for (DWORD i = 0; i < n.count; ++i)
          if (SUCCEEDED(errors[i])) {
            std::erase(g.itemHandles, handles[i]);
            g.removedItems.push_back(handles[i]);
          }
      return;
    }
    case 5: {
      const Sized n = CountFor(s);
      auto handles = ItemHandles(s, g, n);
      const BOOL active = BOOL(s.rnd.Chance(80) ? s.rnd.Below(2) : s.rnd.Bits());
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCItemMgt::SetActiveState", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).ArgHex("active", active).Refused(n.huge);
      const HRESULT hr =
          c.Run([&] { return im->SetActiveState(n.count, n.Of(handles), active, errors.Put()); }, errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
    case 6: {
      const Sized n = CountFor(s);
      auto handles = ItemHandles(s, g, n);
      if (s.rnd.Chance(50)) {
        std::vector<DWORD> clients(n.Slots());
        for (auto& x : clients) x = s.rnd.Bits();
        TaskMem<HRESULT> errors;
        Call c(s, "IOPCItemMgt::SetClientHandles", g.forced);
        c.Arg("group", g.handle).ArgHex("count", n.count).Refused(n.huge);
        const HRESULT hr =
            c.Run([&] { return im->SetClientHandles(n.count, n.Of(handles), n.Of(clients), errors.Put()); }, errors);
        c.Items(hr, errors.Get(), n.count);
        return;
      }
      std::vector<VARTYPE> types(n.Slots());
      for (auto& t : types) t = s.rnd.Type();
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCItemMgt::SetDatatypes", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).ArgHex("vt", types[0]).Refused(n.huge);
      const HRESULT hr =
          c.Run([&] { return im->SetDatatypes(n.count, n.Of(handles), n.Of(types), errors.Put()); }, errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
    default: {
      const IID riid = s.rnd.Iid({IID_IEnumOPCItemAttributes});
      ComPtr<IUnknown> unk;
      Call c(s, "IOPCItemMgt::CreateEnumerator", g.forced);
      c.Arg("group", g.handle).ArgHex("riid.Data1", riid.Data1);
      const HRESULT hr = c.Run([&] { return im->CreateEnumerator(riid, unk.PutUnknown()); }, unk);
      if (hr == S_OK) c.Expect(bool(unk), "CreateEnumerator answered S_OK without an enumerator");
      if (unk && riid == IID_IEnumOPCItemAttributes) g.itemEnum = Typed<IEnumOPCItemAttributes>(unk);
      return;
    }
  }
}

std::vector<quillon::Variant> ValuesFor(Session& s, const Sized& n, std::vector<VARIANT>& flat, std::string& shown) {
  std::vector<quillon::Variant> held(n.Slots());
  flat.resize(held.size());
  for (size_t i = 0; i < held.size(); ++i) {
    std::string one;
    s.rnd.Value(held[i], one);
    if (i == 0) shown = one;
    flat[i] = held[i].Get();
  }
  return held;
}

std::vector<OPCITEMVQT> VqtsFor(Session& s, const Sized& n, std::vector<quillon::Variant>& held, std::string& shown) {
  std::vector<VARIANT> flat;
  held = ValuesFor(s, n, flat, shown);
  std::vector<OPCITEMVQT> vqts(held.size());
  for (size_t i = 0; i < vqts.size(); ++i) {
    vqts[i] = {};
    vqts[i].vDataValue = flat[i];
    vqts[i].bQualitySpecified = BOOL(s.rnd.Below(3));
    vqts[i].wQuality = s.rnd.Quality();
    vqts[i].bTimeStampSpecified = BOOL(s.rnd.Below(3));
    vqts[i].ftTimeStamp = s.rnd.Time();
  }
  return vqts;
}

std::vector<DWORD> Ages(Session& s, const Sized& n) {
  std::vector<DWORD> ages(n.Slots());
  for (auto& a : ages) a = s.rnd.Chance(50) ? 0 : s.rnd.Rate();
  return ages;
}

void CallSyncIo(Session& s, Group& g) {
  const Sized n = CountFor(s);
  auto handles = ItemHandles(s, g, n);
  switch (s.rnd.Below(4)) {
    case 0: {
      IOPCSyncIO* io = s.Need(g, g.sync);
      if (!io) return;
      bool refused = false;
      const DWORD source = s.rnd.Enum(2, refused);
      TaskMem<OPCITEMSTATE> states;
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCSyncIO::Read", g.forced);
      c.Arg("group", g.handle).ArgHex("source", source).ArgHex("count", n.count).Refused(refused || n.huge);
      const HRESULT hr = c.Run(
          [&] { return io->Read(OPCDATASOURCE(source), n.count, n.Of(handles), states.Put(n.count), errors.Put()); },
          states, errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
    case 1: {
      IOPCSyncIO* io = s.Need(g, g.sync);
      if (!io) return;
      std::vector<VARIANT> flat;
      std::string shown;
      auto held = ValuesFor(s, n, flat, shown);
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCSyncIO::Write", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).Arg("value", shown).Refused(n.huge);
      const HRESULT hr = c.Run([&] { return io->Write(n.count, n.Of(handles), n.Of(flat), errors.Put()); }, errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
    case 2: {
      IOPCSyncIO2* io = s.Need(g, g.sync2);
      if (!io) return;
      auto ages = Ages(s, n);
      TaskMem<VARIANT> values;
      TaskMem<WORD> qualities;
      TaskMem<FILETIME> times;
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCSyncIO2::ReadMaxAge", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).ArgHex("age", ages[0]).Refused(n.huge);
      const HRESULT hr = c.Run(
          [&] {
            return io->ReadMaxAge(n.count, n.Of(handles), n.Of(ages), values.Put(n.count), qualities.Put(), times.Put(),
                                  errors.Put());
          },
          values, qualities, times, errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
    default: {
      IOPCSyncIO2* io = s.Need(g, g.sync2);
      if (!io) return;
      std::vector<quillon::Variant> held;
      std::string shown;
      auto vqts = VqtsFor(s, n, held, shown);
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCSyncIO2::WriteVQT", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).Arg("value", shown).Refused(n.huge);
      const HRESULT hr = c.Run([&] { return io->WriteVQT(n.count, n.Of(handles), n.Of(vqts), errors.Put()); }, errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
  }
}

// Queues a transaction, then removes items or the whole group while it is
// still queued.
void RemoveWhileQueued(Session& s, Group& g);

void CallAsyncIo(Session& s, Group& g) {
  IOPCAsyncIO* io = s.Need(g, g.async);
  if (!io) return;
  const DWORD connection = s.rnd.Handle(g.streamCookies, {});
  const Sized n = CountFor(s);
  auto handles = ItemHandles(s, g, n);
  DWORD tid = 0;
  switch (s.rnd.Below(4)) {
    case 0: {
      bool refused = false;
      const DWORD source = s.rnd.Enum(2, refused);
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCAsyncIO::Read", g.forced);
      c.Arg("group", g.handle).ArgHex("connection", connection).ArgHex("source", source).ArgHex("count", n.count);
      c.Refused(refused || n.huge);
      const HRESULT hr = c.Run(
          [&] { return io->Read(connection, OPCDATASOURCE(source), n.count, n.Of(handles), &tid, errors.Put()); },
          errors);
      c.Items(hr, errors.Get(), n.count);
      if (SUCCEEDED(hr)) g.transactions.push_back(tid);
      return;
    }
    case 1: {
      std::vector<VARIANT> flat;
      std::string shown;
      auto held = ValuesFor(s, n, flat, shown);
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCAsyncIO::Write", g.forced);
      c.Arg("group", g.handle).ArgHex("connection", connection).ArgHex("count", n.count).Arg("value", shown);
      c.Refused(n.huge);
      const HRESULT hr =
          c.Run([&] { return io->Write(connection, n.count, n.Of(handles), n.Of(flat), &tid, errors.Put()); }, errors);
      c.Items(hr, errors.Get(), n.count);
      if (SUCCEEDED(hr)) g.transactions.push_back(tid);
      return;
    }
    case 2: {
      bool refused = false;
      const DWORD source = s.rnd.Enum(2, refused);
      Call c(s, "IOPCAsyncIO::Refresh", g.forced);
      c.Arg("group", g.handle).ArgHex("connection", connection).ArgHex("source", source).Refused(refused);
      const HRESULT hr = c.Run([&] { return io->Refresh(connection, OPCDATASOURCE(source), &tid); });
      if (SUCCEEDED(hr)) g.transactions.push_back(tid);
      return;
    }
    default: {
      const DWORD t = s.rnd.Handle(g.transactions, {});
      Call c(s, "IOPCAsyncIO::Cancel", g.forced);
      c.Arg("group", g.handle).ArgHex("transaction", t);
      c.Run([&] { return io->Cancel(t); });
      return;
    }
  }
}

void CallAsyncIo2(Session& s, Group& g) {
  IOPCAsyncIO2* io = s.Need(g, g.async2);
  if (!io) return;
  const Sized n = CountFor(s);
  auto handles = ItemHandles(s, g, n);
  const DWORD tid = s.rnd.Bits();
  DWORD cancel = 0;
  switch (s.rnd.Below(6)) {
    case 0: {
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCAsyncIO2::Read", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).ArgHex("tid", tid).Refused(n.huge);
      const HRESULT hr = c.Run([&] { return io->Read(n.count, n.Of(handles), tid, &cancel, errors.Put()); }, errors);
      c.Items(hr, errors.Get(), n.count);
      if (SUCCEEDED(hr)) g.transactions.push_back(cancel);
      return;
    }
    case 1: {
      std::vector<VARIANT> flat;
      std::string shown;
      auto held = ValuesFor(s, n, flat, shown);
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCAsyncIO2::Write", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).Arg("value", shown).Refused(n.huge);
      const HRESULT hr =
          c.Run([&] { return io->Write(n.count, n.Of(handles), n.Of(flat), tid, &cancel, errors.Put()); }, errors);
      c.Items(hr, errors.Get(), n.count);
      if (SUCCEEDED(hr)) g.transactions.push_back(cancel);
      return;
    }
    case 2: {
      bool refused = false;
      const DWORD source = s.rnd.Enum(2, refused);
      Call c(s, "IOPCAsyncIO2::Refresh2", g.forced);
      c.Arg("group", g.handle).ArgHex("source", source).Refused(refused);
      const HRESULT hr = c.Run([&] { return io->Refresh2(OPCDATASOURCE(source), tid, &cancel); });
      if (SUCCEEDED(hr)) g.transactions.push_back(cancel);
      return;
    }
    case 3: {
      const DWORD id = s.rnd.Handle(g.transactions, {});
      Call c(s, "IOPCAsyncIO2::Cancel2", g.forced);
      c.Arg("group", g.handle).ArgHex("cancel", id);
      c.Run([&] { return io->Cancel2(id); });
      return;
    }
    case 4: {
      const BOOL enable = BOOL(s.rnd.Chance(80) ? s.rnd.Below(2) : s.rnd.Bits());
      Call c(s, "IOPCAsyncIO2::SetEnable", g.forced);
      c.Arg("group", g.handle).ArgHex("enable", enable);
      c.Run([&] { return io->SetEnable(enable); });
      return;
    }
    default: {
      BOOL enable = FALSE;
      Call c(s, "IOPCAsyncIO2::GetEnable", g.forced);
      c.Arg("group", g.handle);
      c.Run([&] { return io->GetEnable(&enable); });
      return;
    }
  }
}

void CallAsyncIo3(Session& s, Group& g) {
  IOPCAsyncIO3* io = s.Need(g, g.async3);
  if (!io) return;
  const Sized n = CountFor(s);
  auto handles = ItemHandles(s, g, n);
  const DWORD tid = s.rnd.Bits();
  DWORD cancel = 0;
  switch (s.rnd.Below(3)) {
    case 0: {
      auto ages = Ages(s, n);
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCAsyncIO3::ReadMaxAge", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).ArgHex("age", ages[0]).Refused(n.huge);
      const HRESULT hr =
          c.Run([&] { return io->ReadMaxAge(n.count, n.Of(handles), n.Of(ages), tid, &cancel, errors.Put()); }, errors);
      c.Items(hr, errors.Get(), n.count);
      if (SUCCEEDED(hr)) g.transactions.push_back(cancel);
      return;
    }
    case 1: {
      std::vector<quillon::Variant> held;
      std::string shown;
      auto vqts = VqtsFor(s, n, held, shown);
      TaskMem<HRESULT> errors;
      Call c(s, "IOPCAsyncIO3::WriteVQT", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).Arg("value", shown).Refused(n.huge);
      const HRESULT hr =
          c.Run([&] { return io->WriteVQT(n.count, n.Of(handles), n.Of(vqts), tid, &cancel, errors.Put()); }, errors);
      c.Items(hr, errors.Get(), n.count);
      if (SUCCEEDED(hr)) g.transactions.push_back(cancel);
      return;
    }
    default: {
      const DWORD age = s.rnd.Rate();
      Call c(s, "IOPCAsyncIO3::RefreshMaxAge", g.forced);
      c.Arg("group", g.handle).ArgHex("age", age);
      const HRESULT hr = c.Run([&] { return io->RefreshMaxAge(age, tid, &cancel); });
      if (SUCCEEDED(hr)) g.transactions.push_back(cancel);
      return;
    }
  }
}

void CallDeadband(Session& s, Group& g) {
  IOPCItemDeadbandMgt* d = s.Need(g, g.deadband);
  if (!d) return;
  const Sized n = CountFor(s);
  auto handles = ItemHandles(s, g, n);
  TaskMem<HRESULT> errors;
  switch (s.rnd.Below(3)) {
    case 0: {
      std::vector<FLOAT> bands(n.Slots());
      for (auto& b : bands) b = s.rnd.Float();
      Call c(s, "IOPCItemDeadbandMgt::SetItemDeadband", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).Arg("deadband", bands[0]).Refused(n.huge);
      const HRESULT hr =
          c.Run([&] { return d->SetItemDeadband(n.count, n.Of(handles), n.Of(bands), errors.Put()); }, errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
    case 1: {
      TaskMem<FLOAT> bands;
      Call c(s, "IOPCItemDeadbandMgt::GetItemDeadband", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).Refused(n.huge);
      const HRESULT hr =
          c.Run([&] { return d->GetItemDeadband(n.count, n.Of(handles), bands.Put(), errors.Put()); }, bands, errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
    default: {
      Call c(s, "IOPCItemDeadbandMgt::ClearItemDeadband", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).Refused(n.huge);
      const HRESULT hr = c.Run([&] { return d->ClearItemDeadband(n.count, n.Of(handles), errors.Put()); }, errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
  }
}

void CallSampling(Session& s, Group& g) {
  IOPCItemSamplingMgt* m = s.Need(g, g.sampling);
  if (!m) return;
  const Sized n = CountFor(s);
  auto handles = ItemHandles(s, g, n);
  TaskMem<HRESULT> errors;
  switch (s.rnd.Below(5)) {
    case 0: {
      std::vector<DWORD> rates(n.Slots());
      for (auto& r : rates) r = s.rnd.Rate();
      TaskMem<DWORD> revised;
      Call c(s, "IOPCItemSamplingMgt::SetItemSamplingRate", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).ArgHex("rate", rates[0]).Refused(n.huge);
      const HRESULT hr = c.Run(
          [&] { return m->SetItemSamplingRate(n.count, n.Of(handles), n.Of(rates), revised.Put(), errors.Put()); },
          revised, errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
    case 1: {
      TaskMem<DWORD> rates;
      Call c(s, "IOPCItemSamplingMgt::GetItemSamplingRate", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).Refused(n.huge);
      const HRESULT hr = c.Run(
          [&] { return m->GetItemSamplingRate(n.count, n.Of(handles), rates.Put(), errors.Put()); }, rates, errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
    case 2: {
      Call c(s, "IOPCItemSamplingMgt::ClearItemSamplingRate", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).Refused(n.huge);
      const HRESULT hr = c.Run([&] { return m->ClearItemSamplingRate(n.count, n.Of(handles), errors.Put()); }, errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
    case 3: {
      std::vector<BOOL> enable(n.Slots());
      for (auto& e : enable) e = BOOL(s.rnd.Chance(80) ? s.rnd.Below(2) : s.rnd.Bits());
      Call c(s, "IOPCItemSamplingMgt::SetItemBufferEnable", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).Refused(n.huge);
      const HRESULT hr =
          c.Run([&] { return m->SetItemBufferEnable(n.count, n.Of(handles), n.Of(enable), errors.Put()); }, errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
    default: {
      TaskMem<BOOL> enable;
      Call c(s, "IOPCItemSamplingMgt::GetItemBufferEnable", g.forced);
      c.Arg("group", g.handle).ArgHex("count", n.count).Refused(n.huge);
      const HRESULT hr = c.Run(
          [&] { return m->GetItemBufferEnable(n.count, n.Of(handles), enable.Put(), errors.Put()); }, enable, errors);
      c.Items(hr, errors.Get(), n.count);
      return;
    }
  }
}

FORMATETC Format(Session& s, std::string& shown) {
  FORMATETC f{};
  const uint32_t which = s.rnd.Below(6);
  f.cfFormat = which < 3 ? s.formats[which] : which == 3 ? CLIPFORMAT(CF_TEXT) : CLIPFORMAT(s.rnd.Bits());
  f.dwAspect = s.rnd.Chance(80) ? DWORD(DVASPECT_CONTENT) : s.rnd.Bits();
  f.lindex = s.rnd.Chance(80) ? -1 : LONG(s.rnd.Bits());
  f.tymed = s.rnd.Chance(80) ? DWORD(TYMED_HGLOBAL) : s.rnd.Bits();
  shown = "format#" + std::to_string(which) + "/aspect" + Hex(f.dwAspect) + "/lindex" + std::to_string(f.lindex) +
          "/tymed" + Hex(f.tymed);
  return f;
}

void CallDataObject(Session& s, Group& g) {
  IDataObject* d = s.Need(g, g.data);
  if (!d) return;
  std::string shown;
  FORMATETC f = Format(s, shown);
  switch (s.rnd.Below(6)) {
    case 0:
    case 1: {
      const DWORD advf = s.rnd.Chance(70) ? 0 : s.rnd.Bits();
      const bool nullSink = s.rnd.Chance(5);
      DWORD cookie = 0;
      Call c(s, "IDataObject::DAdvise", g.forced);
      c.Arg("group", g.handle).Arg("format", shown).ArgHex("advf", advf).Arg("sink", nullSink ? "NULL" : "stream");
      const HRESULT hr =
          c.Run([&] { return d->DAdvise(&f, advf, nullSink ? nullptr : s.streamSink.Get(), &cookie); });
      if (SUCCEEDED(hr)) g.streamCookies.push_back(cookie);
      return;
    }
    case 2: {
      const DWORD cookie = s.rnd.Handle(g.streamCookies, {});
      Call c(s, "IDataObject::DUnadvise", g.forced);
      c.Arg("group", g.handle).ArgHex("cookie", cookie);
      const HRESULT hr = c.Run([&] { return d->DUnadvise(cookie); });
      if (SUCCEEDED(hr)) std::erase(g.streamCookies, cookie);
      return;
    }
    case 3: {
      ComPtr<IEnumSTATDATA> e;
      Call c(s, "IDataObject::EnumDAdvise", g.forced);
      c.Arg("group", g.handle);
      c.Run([&] { return d->EnumDAdvise(e.Put()); }, e);
      return;
    }
    case 4: {
      Call c(s, "IDataObject::QueryGetData", g.forced);
      c.Arg("group", g.handle).Arg("format", shown);
      c.Run([&] { return d->QueryGetData(&f); });
      return;
    }
    default: {
      if (s.rnd.Chance(50)) {
        ComPtr<IEnumFORMATETC> e;
        const DWORD direction = s.rnd.Below(4);
        Call c(s, "IDataObject::EnumFormatEtc", g.forced);
        c.Arg("group", g.handle).Arg("direction", direction);
        c.Run([&] { return d->EnumFormatEtc(direction, e.Put()); }, e);
        return;
      }
      Medium medium;
      Call c(s, "IDataObject::GetData", g.forced);
      c.Arg("group", g.handle).Arg("format", shown);
      c.Run([&] { return d->GetData(&f, &medium.m); });
      return;
    }
  }
}

void CallItemEnum(Session& s, Group& g) {
  IEnumOPCItemAttributes* e = g.itemEnum.Get();
  if (!e) return CallItemMgt(s, g);
  switch (s.rnd.Below(4)) {
    case 0: {
      // The array is sized by what comes back, so a huge celt is fair.
      const ULONG celt = s.rnd.Chance(20) ? s.rnd.HugeCount() : s.rnd.Below(5);
      TaskMem<OPCITEMATTRIBUTES> got;
      ULONG fetched = 0;
      Call c(s, "IEnumOPCItemAttributes::Next", g.forced);
      c.Arg("group", g.handle).ArgHex("celt", celt);
      const HRESULT hr = c.Run([&] { return e->Next(celt, got.Put(), &fetched); });
      got.SetCount(fetched);
      c.Expect(fetched <= celt, "Next fetched more than asked");
      if (SUCCEEDED(hr) && fetched) c.Expect(got.Get() != nullptr, "fetched count without items");
      return;
    }
    case 1: {
      const ULONG celt = s.rnd.Chance(50) ? s.rnd.HugeCount() : s.rnd.Below(5);
      Call c(s, "IEnumOPCItemAttributes::Skip", g.forced);
      c.Arg("group", g.handle).ArgHex("celt", celt);
      c.Run([&] { return e->Skip(celt); });
      return;
    }
    case 2: {
      Call c(s, "IEnumOPCItemAttributes::Reset", g.forced);
      c.Arg("group", g.handle);
      c.Run([&] { return e->Reset(); });
      return;
    }
    default: {
      ComPtr<IEnumOPCItemAttributes> clone;
      Call c(s, "IEnumOPCItemAttributes::Clone", g.forced);
      c.Arg("group", g.handle);
      c.Run([&] { return e->Clone(clone.Put()); }, clone);
      return;
    }
  }
}

void RemoveWhileQueued(Session& s, Group& g) {
  CallAsyncIo2(s, g);
  if (s.rnd.Chance(50)) {
    IOPCItemMgt* im = s.Need(g, g.items);
    if (!im || g.itemHandles.empty()) return;
    DWORD handle = s.rnd.Pick(g.itemHandles);
    TaskMem<HRESULT> errors;
    Call c(s, "IOPCItemMgt::RemoveItems", g.forced);
    c.Arg("group", g.handle).Arg("queued", "yes").ArgHex("handle", handle);
    const HRESULT hr = c.Run([&] { return im->RemoveItems(1, &handle, errors.Put()); }, errors);
    c.Items(hr, errors.Get(), 1);
    if (SUCCEEDED(hr) && errors.Get() && SUCCEEDED(errors[0])) {
      std::erase(g.itemHandles, handle);
      g.removedItems.push_back(handle);
    }
    return;
  }
  IOPCServer* server = s.Need(s.so.server);
  if (!server) return;
  const BOOL force = BOOL(s.rnd.Below(2));
  Call c(s, "IOPCServer::RemoveGroup");
  c.ArgHex("handle", g.handle).Arg("queued", "yes").Arg("force", force);
  const HRESULT hr = c.Run([&] { return server->RemoveGroup(g.handle, force); });
  if (SUCCEEDED(hr)) {
    std::erase(s.liveGroups, g.handle);
    s.staleGroups.push_back(g.handle);
    g.removed = true;
    g.forced = g.forced || force;
  }
}

}  // namespace

void CallGroup(Session& s, Group& g) {
  switch (s.rnd.Below(15)) {
    case 0: return CallStateMgt(s, g);
    case 1: return CallStateMgt2(s, g);
    case 2:
    case 3: return CallItemMgt(s, g);
    case 4: return CallSyncIo(s, g);
    case 5: return CallAsyncIo(s, g);
    case 6: return CallAsyncIo2(s, g);
    case 7: return CallAsyncIo3(s, g);
    case 8: return CallDeadband(s, g);
    case 9: return CallSampling(s, g);
    case 10:
      return s.Need(g, g.container) ? CallContainer(s, g.container, g.point, g.cookies, IID_IOPCDataCallback,
                                                    s.dataSink.Get(), g.forced)
                                    : void();
    case 11: return CallDataObject(s, g);
    case 12: return CallItemEnum(s, g);
    case 13: return RemoveWhileQueued(s, g);
    default: return CallSyncIo(s, g);
  }
}

}  // namespace hostile
