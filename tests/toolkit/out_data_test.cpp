// Out-data under allocation failure: every method that hands arrays to a
// client is run with its first, second, third... task-memory allocation
// refused. Whatever fails, the method must answer a failure code with its
// out-pointers null, or succeed with complete out-data; and nothing it
// allocated may stay behind once the client has freed what it was given.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <vector>
#include <string>

#include "group.h"
#include "exports_state.h"
#include "opc_tag.h"
#include "quillon.h"
#include "server.h"

using namespace quillon;

namespace {

// Watches the task allocator: the blocks alive, and a refusal of the Nth
// allocation when asked for.
class AllocationSpy final : public IMallocSpy {
 public:
  void Arm(int failAt) {
    allocations = 0;
    failAt_ = failAt;
  }
  void Disarm() { failAt_ = 0; }

  int allocations = 0;
  std::set<void*> live;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IMallocSpy) {
      *ppv = this;
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T cb) override {
    ++allocations;
    return failAt_ != 0 && allocations == failAt_ ? 0 : cb;
  }
  STDMETHODIMP_(void*) PostAlloc(void* actual) override {
    if (actual) live.insert(actual);
    return actual;
  }
  STDMETHODIMP_(void*) PreFree(void* request, BOOL spyed) override {
    if (spyed) live.erase(request);
    return request;
  }
  STDMETHODIMP_(void) PostFree(BOOL) override {}
  STDMETHODIMP_(SIZE_T) PreRealloc(void* request, SIZE_T cb, void** newRequest, BOOL spyed) override {
    if (spyed) live.erase(request);
    *newRequest = request;
    return cb;
  }
  STDMETHODIMP_(void*) PostRealloc(void* actual, BOOL) override {
    if (actual) live.insert(actual);
    return actual;
  }
  STDMETHODIMP_(void*) PreGetSize(void* request, BOOL) override { return request; }
  STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T actual, BOOL) override { return actual; }
  STDMETHODIMP_(void*) PreDidAlloc(void* request, BOOL) override { return request; }
  STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
  STDMETHODIMP_(void) PreHeapMinimize() override {}
  STDMETHODIMP_(void) PostHeapMinimize() override {}

 private:
  int failAt_ = 0;
};

AllocationSpy spy;

// The methods' out-data as a client holds it: what it frees after success,
// and whether everything is null (as it must be after a failure).
struct Call {
  std::function<HRESULT()> run;
  std::function<bool()> outIsNull;
  std::function<bool()> outIsComplete;
  std::function<void()> freeOut;
};

class OutDataUnderAllocationFailure : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_EQ(CoRegisterMallocSpy(&spy), S_OK);
  }
  static void TearDownTestSuite() { CoRevokeMallocSpy(); }

  void SetUp() override {
    GUID g;
    CoCreateGuid(&g);
    wchar_t w[40];
    StringFromGUID2(g, w, 40);
    ASSERT_EQ(CreateServer(std::string(w, w + 38).c_str(), 100), -1);
    TOPCTag* tank = CreatedModule().Space().Root()->AddChild(L"Tank1");
    for (const wchar_t* name : {L"Level", L"Temp", L"Name"}) {
      TOPCTag* leaf = tank->AddChild(name);
      leaf->SetCanonicalType(name[0] == L'N' ? VT_BSTR : VT_R8);
      leaf->SetAccessRights(3);
    }
    VARIANT text;
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(L"pump house");
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    CreatedModule().Space().Root()->FindByItemId(L"Tank1.Name")->Update(text, 0xC0, now);
    VariantClear(&text);
    CreatedModule().Space().Root()->FindByItemId(L"Tank1.Level")->AddProperty(L"EU", 100, L"Engineering unit", VT_BSTR);
    server = MakeCom<TServer>(Exports().module);
  }
  void TearDown() override {
    server.Reset();
    FreeServer();
  }

  // Refuses each allocation of the call in turn, then lets it run whole. A
  // first whole run fills what the server keeps (an item's cached string is
  // replaced, not added, by later reads), so the blocks alive must then stay
  // as many as they were.
  void Exercise(const char* name, const Call& call) {
    ASSERT_TRUE(SUCCEEDED(call.run())) << name;
    call.freeOut();
    int refused = 1;
    for (;; ++refused) {
      const size_t before = spy.live.size();
      spy.Arm(refused);
      HRESULT hr = call.run();
      spy.Disarm();
      const bool hit = spy.allocations >= refused;
      if (SUCCEEDED(hr)) {
        EXPECT_TRUE(call.outIsComplete()) << name << ": success with incomplete out-data, allocation " << refused;
        call.freeOut();
      } else {
        EXPECT_TRUE(call.outIsNull()) << name << ": failure " << std::hex << hr << " left out-data, allocation "
                                      << std::dec << refused;
      }
      EXPECT_EQ(spy.live.size(), before) << name << ": blocks stayed behind, allocation " << refused << " refused";
      if (!hit) break;
    }
    EXPECT_GT(refused, 1) << name << " allocated nothing";
  }

  ComPtr<TServer> server;
};

TEST_F(OutDataUnderAllocationFailure, PropertyQueries) {
  LPWSTR itemId = const_cast<LPWSTR>(L"Tank1.Level");
  DWORD count = 0, *ids = nullptr;
  LPWSTR* descriptions = nullptr;
  VARTYPE* types = nullptr;
  Exercise("QueryAvailableProperties",
           {[&] { return server->QueryAvailableProperties(itemId, &count, &ids, &descriptions, &types); },
            [&] { return !ids && !descriptions && !types; },
            [&] {
              bool all = count == 7 && ids && types && descriptions;
              for (DWORD i = 0; all && i < count; ++i) all = descriptions[i] != nullptr;
              return all;
            },
            [&] {
              for (DWORD i = 0; i < count; ++i) CoTaskMemFree(descriptions[i]);
              CoTaskMemFree(std::exchange(ids, nullptr));
              CoTaskMemFree(std::exchange(descriptions, nullptr));
              CoTaskMemFree(std::exchange(types, nullptr));
            }});

  DWORD wanted[] = {1, 2, 3, 4, 5, 6, 100, 99};
  VARIANT* values = nullptr;
  HRESULT* errors = nullptr;
  Exercise("GetItemProperties", {[&] { return server->GetItemProperties(itemId, 8, wanted, &values, &errors); },
                                 [&] { return !values && !errors; }, [&] { return values && errors; },
                                 [&] {
                                   for (int i = 0; i < 8; ++i) VariantClear(&values[i]);
                                   CoTaskMemFree(std::exchange(values, nullptr));
                                   CoTaskMemFree(std::exchange(errors, nullptr));
                                 }});

  LPWSTR* newIds = nullptr;
  Exercise("LookupItemIDs", {[&] { return server->LookupItemIDs(itemId, 8, wanted, &newIds, &errors); },
                             [&] { return !newIds && !errors; },
                             [&] {
                               bool all = newIds && errors;
                               for (int i = 0; all && i < 7; ++i) all = newIds[i] != nullptr;
                               return all;
                             },
                             [&] {
                               for (int i = 0; i < 8; ++i) CoTaskMemFree(newIds[i]);
                               CoTaskMemFree(std::exchange(newIds, nullptr));
                               CoTaskMemFree(std::exchange(errors, nullptr));
                             }});
}

// Frees one property list as a client does.
void FreeList(OPCITEMPROPERTIES& list) {
  for (DWORD k = 0; list.pItemProperties && k < list.dwNumProperties; ++k) {
    CoTaskMemFree(list.pItemProperties[k].szItemID);
    CoTaskMemFree(list.pItemProperties[k].szDescription);
    VariantClear(&list.pItemProperties[k].vValue);
  }
  CoTaskMemFree(list.pItemProperties);
}

bool ListComplete(const OPCITEMPROPERTIES& list) {
  bool all = list.dwNumProperties == 0 || list.pItemProperties;
  for (DWORD k = 0; all && k < list.dwNumProperties; ++k)
    all = FAILED(list.pItemProperties[k].hrErrorID) ||
          (list.pItemProperties[k].szItemID && list.pItemProperties[k].szDescription);
  return all;
}

TEST_F(OutDataUnderAllocationFailure, BrowseAndGetProperties) {
  LPWSTR items[] = {const_cast<LPWSTR>(L"Tank1.Level"), const_cast<LPWSTR>(L"Tank1.Name"),
                    const_cast<LPWSTR>(L"Nothing")};
  OPCITEMPROPERTIES* lists = nullptr;
  Exercise("GetProperties", {[&] { return server->GetProperties(3, items, TRUE, 0, nullptr, &lists); },
                             [&] { return !lists; },
                             [&] { return lists && ListComplete(lists[0]) && ListComplete(lists[1]); },
                             [&] {
                               for (int i = 0; i < 3; ++i) FreeList(lists[i]);
                               CoTaskMemFree(std::exchange(lists, nullptr));
                             }});

  LPWSTR point = nullptr;
  BOOL more = FALSE;
  DWORD count = 0;
  OPCBROWSEELEMENT* elements = nullptr;
  LPWSTR tank = const_cast<LPWSTR>(L"Tank1");
  Exercise("Browse", {[&] {
                        point = nullptr;
                        return server->Browse(tank, &point, 2, OPC_BROWSE_FILTER_ALL, nullptr, nullptr, TRUE, TRUE, 0,
                                              nullptr, &more, &count, &elements);
                      },
                      [&] { return !point && !elements && count == 0 && !more; },
                      [&] {
                        bool all = point && more && count == 2 && elements;
                        for (DWORD i = 0; all && i < count; ++i)
                          all = elements[i].szName && elements[i].szItemID && ListComplete(elements[i].ItemProperties);
                        return all;
                      },
                      [&] {
                        for (DWORD i = 0; i < count; ++i) {
                          CoTaskMemFree(elements[i].szName);
                          CoTaskMemFree(elements[i].szItemID);
                          FreeList(elements[i].ItemProperties);
                        }
                        CoTaskMemFree(std::exchange(elements, nullptr));
                        CoTaskMemFree(std::exchange(point, nullptr));
                      }});
}

TEST_F(OutDataUnderAllocationFailure, ItemIoAndStatus) {
  LPCWSTR items[] = {L"Tank1.Name", L"Tank1.Level", L"Nothing"};
  DWORD ages[] = {0xFFFFFFFF, 0xFFFFFFFF, 0};
  VARIANT* values = nullptr;
  WORD* qualities = nullptr;
  FILETIME* stamps = nullptr;
  HRESULT* errors = nullptr;
  Exercise("IOPCItemIO::Read",
           {[&] { return server->Read(3, items, ages, &values, &qualities, &stamps, &errors); },
            [&] { return !values && !qualities && !stamps && !errors; },
            [&] {
              // A string that could not be copied is that entry's failure.
              return values && qualities && stamps && errors &&
                     (FAILED(errors[0]) || (V_VT(&values[0]) == VT_BSTR && V_BSTR(&values[0])));
            },
            [&] {
              for (int i = 0; i < 3; ++i) VariantClear(&values[i]);
              for (void* p : {static_cast<void*>(values), static_cast<void*>(qualities), static_cast<void*>(stamps),
                              static_cast<void*>(errors)})
                CoTaskMemFree(p);
              values = nullptr, qualities = nullptr, stamps = nullptr, errors = nullptr;
            }});

  OPCSERVERSTATUS* status = nullptr;
  Exercise("GetStatus", {[&] { return server->GetStatus(&status); }, [&] { return !status; },
                         [&] { return status && status->szVendorInfo; },
                         [&] {
                           CoTaskMemFree(status->szVendorInfo);
                           CoTaskMemFree(std::exchange(status, nullptr));
                         }});
}

TEST_F(OutDataUnderAllocationFailure, GroupMethods) {
  OPCHANDLE hGroup = 0;
  DWORD revised = 0;
  IUnknown* unknown = nullptr;
  ASSERT_EQ(server->AddGroup(L"g", TRUE, 100, 7, nullptr, nullptr, 0, &hGroup, &revised, IID_IOPCItemMgt, &unknown),
            S_OK);
  ComPtr<IOPCItemMgt> items = ComPtr<IOPCItemMgt>::Attach(static_cast<IOPCItemMgt*>(unknown));
  OPCITEMDEF defs[3] = {};
  defs[0].szItemID = const_cast<LPWSTR>(L"Tank1.Name");
  defs[1].szItemID = const_cast<LPWSTR>(L"Tank1.Level");
  defs[2].szItemID = const_cast<LPWSTR>(L"Nothing");
  for (auto& d : defs) d.bActive = TRUE;
  OPCITEMRESULT* results = nullptr;
  HRESULT* errors = nullptr;
  auto freeResults = [&] {
    CoTaskMemFree(std::exchange(results, nullptr));
    CoTaskMemFree(std::exchange(errors, nullptr));
  };
  std::vector<OPCHANDLE> handles;
  Exercise("AddItems", {[&] { return items->AddItems(2, defs, &results, &errors); },
                        [&] { return !results && !errors; }, [&] { return results && errors; },
                        [&] {
                          for (int i = 0; i < 2; ++i) handles.push_back(results[i].hServer);
                          freeResults();
                        }});
  // Every refused AddItems left the group as it was: only the whole calls added items.
  ComPtr<IEnumOPCItemAttributes> enumerator;
  ASSERT_EQ(items->CreateEnumerator(IID_IEnumOPCItemAttributes, reinterpret_cast<IUnknown**>(enumerator.Put())),
            S_OK);
  OPCITEMATTRIBUTES* attributes = nullptr;
  ULONG fetched = 0;
  EXPECT_EQ(enumerator->Next(1000, &attributes, &fetched), S_FALSE);
  EXPECT_EQ(fetched, handles.size());
  for (ULONG i = 0; i < fetched; ++i) {
    CoTaskMemFree(attributes[i].szItemID);
    CoTaskMemFree(attributes[i].szAccessPath);
    VariantClear(&attributes[i].vEUInfo);
  }
  CoTaskMemFree(attributes);

  Exercise("ValidateItems", {[&] { return items->ValidateItems(3, defs, FALSE, &results, &errors); },
                             [&] { return !results && !errors; }, [&] { return results && errors; }, freeResults});

  ComPtr<IOPCSyncIO> io;
  ASSERT_EQ(items.As(io), S_OK);
  OPCITEMSTATE* states = nullptr;
  Exercise("IOPCSyncIO::Read",
           {[&] { return io->Read(OPC_DS_CACHE, 2, handles.data(), &states, &errors); },
            [&] { return !states && !errors; },
            [&] {
              return states && errors &&
                     (FAILED(errors[0]) || (V_VT(&states[0].vDataValue) == VT_BSTR && V_BSTR(&states[0].vDataValue)));
            },
            [&] {
              for (int i = 0; i < 2; ++i) VariantClear(&states[i].vDataValue);
              CoTaskMemFree(std::exchange(states, nullptr));
              CoTaskMemFree(std::exchange(errors, nullptr));
            }});

  Exercise("IEnumOPCItemAttributes::Next", {[&] {
                                              enumerator->Reset();
                                              return enumerator->Next(10, &attributes, &fetched);
                                            },
                                            [&] { return !attributes; },
                                            [&] {
                                              bool all = attributes != nullptr;
                                              for (ULONG i = 0; all && i < fetched; ++i) all = attributes[i].szItemID;
                                              return all;
                                            },
                                            [&] {
                                              for (ULONG i = 0; i < fetched; ++i) {
                                                CoTaskMemFree(attributes[i].szItemID);
                                                VariantClear(&attributes[i].vEUInfo);
                                              }
                                              CoTaskMemFree(std::exchange(attributes, nullptr));
                                            }});
  enumerator.Reset();

  IUnknown* clone = nullptr;
  ComPtr<IOPCGroupStateMgt> state;
  ASSERT_EQ(items.As(state), S_OK);
  Exercise("CloneGroup", {[&] { return state->CloneGroup(nullptr, IID_IOPCItemMgt, &clone); },
                          [&] { return !clone; }, [&] { return clone != nullptr; },
                          [&] { std::exchange(clone, nullptr)->Release(); }});
  // Clones that failed went again: the group and the two whole clones are left.
  OPCSERVERSTATUS* status = nullptr;
  ASSERT_EQ(server->GetStatus(&status), S_OK);
  EXPECT_EQ(status->dwGroupCount, 3u);
  CoTaskMemFree(status->szVendorInfo);
  CoTaskMemFree(status);
}

}  // namespace
