// Cross-process marshalling through QuillonPS.dll: the test starts the probe
// server (marshal_probe_server.cpp) as a COM local server and calls it through
// the proxies and stubs built from our IDL.
//
// The string parameters that widl's -Oif output gets wrong unless
// fix_widl_proxy.pl corrects it are each covered here: [out, string] LPWSTR*
// (IOPCCommon::GetErrorString, IOPCServer::GetErrorString,
// IOPCBrowseServerAddressSpace::GetItemID, IOPCGroupStateMgt::GetState),
// [in, out, string] LPWSTR* (IOPCBrowse::Browse), [out, string, size_is(,n)]
// LPWSTR** (IOPCItemProperties::LookupItemIDs) and [in, string, size_is(n)]
// LPWSTR* (IOPCBrowse::GetProperties).
//
// QuillonPS.dll must be registered in the Wine prefix (scripts/test.sh does it
// with regsvr32). The test registers the probe server itself.

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <tlhelp32.h>

#include "com_ptr.h"
#include "marshal_probe.h"
#include "opc_common.h"
#include "opc_da.h"
#include "opc_error.h"
#include "task_mem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cwctype>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace {

// The first activation of a server that is not running takes about a second
// under Wine; a server that never registers its class object makes the client
// wait about 30 s.
constexpr auto kTestTimeout = std::chrono::seconds(90);
constexpr DWORD kServerExitTimeoutMs = 15'000;
constexpr wchar_t kServerName[] = QUILLON_PROBE_SERVER_NAME;

using quillon::ComPtr;
using quillon::TaskMem;
using quillon::TaskPtr;
using quillon::TaskString;

std::wstring hex(HRESULT hr) {
    wchar_t text[16];
    std::swprintf(text, std::size(text), L"0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

std::wstring module_directory() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/"));
}

std::vector<DWORD> probe_server_processes() {
    std::vector<DWORD> pids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return pids;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szExeFile, kServerName) == 0) {
            pids.push_back(entry.th32ProcessID);
        }
    }
    CloseHandle(snapshot);
    return pids;
}

// Waits until every probe server process has ended; kills those still running
// at the deadline and reports how many that were.
int wait_for_probe_servers_to_exit(DWORD timeout_ms) {
    const ULONGLONG deadline = GetTickCount64() + timeout_ms;
    int killed = 0;
    for (DWORD pid : probe_server_processes()) {
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
        if (process == nullptr) {
            continue;
        }
        const ULONGLONG now = GetTickCount64();
        const DWORD wait = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
        if (WaitForSingleObject(process, wait) == WAIT_TIMEOUT) {
            TerminateProcess(process, 3);
            WaitForSingleObject(process, 5'000);
            ++killed;
        }
        CloseHandle(process);
    }
    return killed;
}

// A COM call that never returns would hang the test until ctest's own
// timeout, leaving the probe server behind: this ends both first.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds timeout)
        : thread_([this, timeout] {
              std::unique_lock lock(mutex_);
              if (!done_cv_.wait_for(lock, timeout, [this] { return done_; })) {
                  std::fprintf(stderr, "marshal test: no answer within %lld s, giving up\n",
                               static_cast<long long>(timeout.count()));
                  std::fflush(stderr);
                  wait_for_probe_servers_to_exit(0);
                  TerminateProcess(GetCurrentProcess(), 3);
              }
          }) {}
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;
    ~Watchdog() {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        done_cv_.notify_one();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_cv_;
    bool done_ = false;
    std::thread thread_;
};

std::wstring read_default_value(HKEY root, const std::wstring& subkey) {
    wchar_t value[1024];
    DWORD size = sizeof value;
    if (RegGetValueW(root, subkey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        return {};
    }
    return value;
}

std::wstring guid_string(REFGUID guid) {
    wchar_t text[40];
    StringFromGUID2(guid, text, static_cast<int>(std::size(text)));
    return text;
}

bool ends_with_no_case(std::wstring_view text, std::wstring_view suffix) {
    if (text.size() < suffix.size()) {
        return false;
    }
    text.remove_prefix(text.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        if (std::towlower(text[i]) != std::towlower(suffix[i])) {
            return false;
        }
    }
    return true;
}

class Marshalling : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(wait_for_probe_servers_to_exit(kServerExitTimeoutMs), 0)
            << "a probe server of an earlier test was still running";
        ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        com_initialized_ = true;
        ASSERT_NO_FATAL_FAILURE(expect_our_proxies_registered());
        ASSERT_NO_FATAL_FAILURE(register_probe_server());
        ASSERT_HRESULT_SUCCEEDED(
            CoCreateInstance(probe::kClsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCCommon, common_.PutVoid()));
    }

    void TearDown() override {
        release_everything();
        EXPECT_EQ(wait_for_probe_servers_to_exit(kServerExitTimeoutMs), 0)
            << "the probe server did not end after its last object was released";
        unregister_probe_server();
    }

    void release_everything() {
        common_.Reset();
        if (com_initialized_) {
            CoUninitialize();
            com_initialized_ = false;
        }
    }

    template <typename I>
    void query(ComPtr<I>& target, REFIID iid) {
        ASSERT_HRESULT_SUCCEEDED(common_->QueryInterface(iid, target.PutVoid()));
    }

    static void expect_our_proxies_registered() {
        for (const IID* iid : {&IID_IOPCCommon, &IID_IOPCServer, &IID_IOPCBrowseServerAddressSpace,
                               &IID_IOPCGroupStateMgt, &IID_IOPCItemProperties, &IID_IOPCBrowse}) {
            const std::wstring interface_key = L"Interface\\" + guid_string(*iid) + L"\\ProxyStubClsid32";
            const std::wstring clsid = read_default_value(HKEY_CLASSES_ROOT, interface_key);
            ASSERT_FALSE(clsid.empty()) << "no proxy/stub registered for " << testing::PrintToString(interface_key)
                                        << ": register QuillonPS.dll with regsvr32 first";
            const std::wstring dll =
                read_default_value(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InprocServer32");
            ASSERT_TRUE(ends_with_no_case(dll, L"QuillonPS.dll"))
                << "the proxy/stub registered for " << testing::PrintToString(interface_key)
                << " is not QuillonPS.dll";
        }
    }

    // Per user, as on Windows without elevation; Wine's COM reads only the
    // machine-wide classes, so there too where that is allowed.
    static void register_probe_server() {
        const std::wstring command = L"\"" + module_directory() + L"\\" + kServerName + L"\"";
        const auto size = static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t));
        const std::wstring key = probe_class_key() + L"\\LocalServer32";
        ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, REG_SZ, command.c_str(), size),
                  ERROR_SUCCESS);
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, REG_SZ, command.c_str(), size);
    }

    static void unregister_probe_server() {
        for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
            RegDeleteTreeW(root, probe_class_key().c_str());
        }
    }

    static std::wstring probe_class_key() { return std::wstring(L"Software\\Classes\\CLSID\\") + probe::kClsidString; }

    Watchdog watchdog_{kTestTimeout};
    bool com_initialized_ = false;
    ComPtr<IOPCCommon> common_;
};

TEST_F(Marshalling, CommonGetErrorStringReturnsTheText) {
    TaskString text;
    ASSERT_EQ(common_->GetErrorString(OPC_E_UNKNOWNITEMID, text.Put()), S_OK);
    ASSERT_NE(text.Get(), nullptr) << "[out, string] LPWSTR* arrived as NULL: the proxy's type offset is not corrected";
    EXPECT_EQ(std::wstring_view(text.Get()), probe::kCommonErrorText);
}

TEST_F(Marshalling, LocaleRoundTrip) {
    LCID locale = 0;
    ASSERT_EQ(common_->GetLocaleID(&locale), S_OK);
    EXPECT_EQ(locale, probe::kInitialLocale);
    ASSERT_EQ(common_->SetLocaleID(0x0409), S_OK);
    ASSERT_EQ(common_->GetLocaleID(&locale), S_OK);
    EXPECT_EQ(locale, 0x0409u);
    EXPECT_EQ(common_->SetLocaleID(0x0411), E_INVALIDARG);
}

TEST_F(Marshalling, QueryAvailableLocaleIDsReturnsTheArray) {
    DWORD count = 0;
    TaskMem<LCID> locales;
    ASSERT_EQ(common_->QueryAvailableLocaleIDs(&count, locales.Put()), S_OK);
    locales.SetCount(count);
    ASSERT_EQ(count, probe::kLocales.size());
    ASSERT_NE(locales.Get(), nullptr);
    for (DWORD i = 0; i < count; ++i) {
        EXPECT_EQ(locales[i], probe::kLocales[i]) << "index " << i;
    }
}

TEST_F(Marshalling, ServerGetErrorStringSeesTheClientName) {
    const std::wstring client = L"测试客户端";
    ASSERT_EQ(common_->SetClientName(client.c_str()), S_OK);
    ComPtr<IOPCServer> server;
    ASSERT_NO_FATAL_FAILURE(query(server, IID_IOPCServer));

    TaskString text;
    ASSERT_EQ(server->GetErrorString(OPC_E_UNKNOWNITEMID, 0x0804, text.Put()), S_OK);
    ASSERT_NE(text.Get(), nullptr);
    EXPECT_EQ(std::wstring_view(text.Get()), client + L"|" + hex(OPC_E_UNKNOWNITEMID) + L"|2052");
}

TEST_F(Marshalling, ServerGetStatusReturnsTheStructure) {
    ComPtr<IOPCServer> server;
    ASSERT_NO_FATAL_FAILURE(query(server, IID_IOPCServer));
    TaskPtr<OPCSERVERSTATUS> status;
    ASSERT_EQ(server->GetStatus(status.Put()), S_OK);
    ASSERT_NE(status.Get(), nullptr);
    const wchar_t* vendor = status->szVendorInfo;

    // An enum travels as 16 bits: the last value of the enumeration must survive.
    EXPECT_EQ(status->dwServerState, OPC_STATUS_COMM_FAULT);
    EXPECT_EQ(status->ftStartTime.dwLowDateTime, 0x11111111u);
    EXPECT_EQ(status->ftLastUpdateTime.dwHighDateTime, 0x01D00002u);
    EXPECT_EQ(status->dwGroupCount, probe::kGroupCount);
    EXPECT_EQ(status->dwBandWidth, 0xFFFFFFFFu);
    EXPECT_EQ(status->wMajorVersion, probe::kMajorVersion);
    EXPECT_EQ(status->wMinorVersion, probe::kMinorVersion);
    EXPECT_EQ(status->wBuildNumber, probe::kBuildNumber);
    ASSERT_NE(vendor, nullptr);
    EXPECT_EQ(std::wstring_view(vendor), probe::kVendorInfo);
}

TEST_F(Marshalling, GetItemIDReturnsTheItemID) {
    ComPtr<IOPCBrowseServerAddressSpace> browser;
    ASSERT_NO_FATAL_FAILURE(query(browser, IID_IOPCBrowseServerAddressSpace));
    std::wstring data_id = L"传感器.温度";
    TaskString item_id;
    ASSERT_EQ(browser->GetItemID(data_id.data(), item_id.Put()), S_OK);
    ASSERT_NE(item_id.Get(), nullptr);
    EXPECT_EQ(std::wstring_view(item_id.Get()), probe::kItemIdPrefix + data_id);
}

TEST_F(Marshalling, GroupGetStateReturnsTheName) {
    ComPtr<IOPCGroupStateMgt> group;
    ASSERT_NO_FATAL_FAILURE(query(group, IID_IOPCGroupStateMgt));
    DWORD update_rate = 0;
    BOOL active = FALSE;
    TaskString name;
    LONG time_bias = 0;
    FLOAT deadband = 0;
    DWORD locale = 0;
    OPCHANDLE client = 0;
    OPCHANDLE server = 0;
    ASSERT_EQ(group->GetState(&update_rate, &active, name.Put(), &time_bias, &deadband, &locale, &client, &server),
              S_OK);
    ASSERT_NE(name.Get(), nullptr);
    EXPECT_EQ(std::wstring_view(name.Get()), probe::kGroupName);
    EXPECT_EQ(update_rate, probe::kGroupUpdateRate);
    EXPECT_TRUE(active);
    EXPECT_EQ(time_bias, probe::kGroupTimeBias);
    EXPECT_EQ(deadband, probe::kGroupDeadband);
    EXPECT_EQ(locale, probe::kInitialLocale);
    EXPECT_EQ(client, probe::kGroupClientHandle);
    EXPECT_EQ(server, probe::kGroupServerHandle);
}

TEST_F(Marshalling, QueryAvailablePropertiesReturnsTheArrays) {
    ComPtr<IOPCItemProperties> properties;
    ASSERT_NO_FATAL_FAILURE(query(properties, IID_IOPCItemProperties));
    std::wstring item = L"锅炉1.压力";
    DWORD count = 0;
    TaskMem<DWORD> ids;
    TaskMem<LPWSTR> descriptions;
    TaskMem<VARTYPE> types;
    ASSERT_EQ(properties->QueryAvailableProperties(item.data(), &count, ids.Put(), descriptions.Put(), types.Put()),
              S_OK);
    ids.SetCount(count);
    descriptions.SetCount(count);
    types.SetCount(count);
    ASSERT_EQ(count, probe::kPropertyIds.size());
    ASSERT_NE(ids.Get(), nullptr);
    ASSERT_NE(descriptions.Get(), nullptr);
    ASSERT_NE(types.Get(), nullptr);
    for (DWORD i = 0; i < count; ++i) {
        EXPECT_EQ(ids[i], probe::kPropertyIds[i]) << "index " << i;
        ASSERT_NE(descriptions[i], nullptr) << "index " << i;
    }
    EXPECT_EQ(std::wstring_view(descriptions[0]), OPC_PROPERTY_DESC_DATATYPE);
    EXPECT_EQ(std::wstring_view(descriptions[1]), OPC_PROPERTY_DESC_VALUE);
    EXPECT_EQ(std::wstring_view(descriptions[2]), probe::kDescriptionPrefix + item);
    EXPECT_EQ(types[0], VT_I2);
    EXPECT_EQ(types[1], VT_VARIANT);
    EXPECT_EQ(types[2], VT_BSTR);
}

TEST_F(Marshalling, LookupItemIDsReturnsTheStringArray) {
    ComPtr<IOPCItemProperties> properties;
    ASSERT_NO_FATAL_FAILURE(query(properties, IID_IOPCItemProperties));
    std::wstring item = L"锅炉1.压力";
    DWORD ids[] = {OPC_PROPERTY_EU_UNITS, 0, OPC_PROPERTY_HIGH_EU};
    constexpr DWORD count = std::size(ids);
    TaskMem<LPWSTR> item_ids;
    TaskMem<HRESULT> errors;
    ASSERT_EQ(properties->LookupItemIDs(item.data(), count, ids, item_ids.Put(count), errors.Put(count)), S_FALSE);
    ASSERT_NE(item_ids.Get(), nullptr);
    ASSERT_NE(errors.Get(), nullptr);
    ASSERT_NE(item_ids[0], nullptr);
    EXPECT_EQ(std::wstring_view(item_ids[0]), item + probe::kLookupSeparator + L"100");
    EXPECT_EQ(errors[0], S_OK);
    EXPECT_EQ(item_ids[1], nullptr);
    EXPECT_EQ(errors[1], OPC_E_INVALID_PID);
    ASSERT_NE(item_ids[2], nullptr);
    EXPECT_EQ(std::wstring_view(item_ids[2]), item + probe::kLookupSeparator + L"102");
    EXPECT_EQ(errors[2], S_OK);
}

TEST_F(Marshalling, BrowseGetPropertiesReceivesTheItemIDs) {
    ComPtr<IOPCBrowse> browse;
    ASSERT_NO_FATAL_FAILURE(query(browse, IID_IOPCBrowse));
    std::wstring first = L"车间A.电机1";
    std::wstring second = L"车间B.阀门2";
    LPWSTR item_ids[] = {first.data(), second.data()};
    DWORD property_ids[] = {OPC_PROPERTY_DESCRIPTION, OPC_PROPERTY_EU_UNITS};
    TaskMem<OPCITEMPROPERTIES> items;
    ASSERT_EQ(browse->GetProperties(2, item_ids, TRUE, 2, property_ids, items.Put(2)), S_OK);
    ASSERT_NE(items.Get(), nullptr);
    for (DWORD i = 0; i < 2; ++i) {
        const OPCITEMPROPERTIES& item = items[i];
        EXPECT_EQ(item.hrErrorID, S_OK);
        ASSERT_EQ(item.dwNumProperties, 2u);
        ASSERT_NE(item.pItemProperties, nullptr);
        for (DWORD p = 0; p < 2; ++p) {
            const OPCITEMPROPERTY& property = item.pItemProperties[p];
            EXPECT_EQ(property.dwPropertyID, property_ids[p]);
            EXPECT_EQ(property.vtDataType, VT_BSTR);
            ASSERT_NE(property.szItemID, nullptr);
            EXPECT_EQ(std::wstring_view(property.szItemID), item_ids[i]);
            ASSERT_NE(property.szDescription, nullptr);
            EXPECT_EQ(std::wstring_view(property.szDescription),
                      probe::kPropertyDescriptionPrefix + std::to_wstring(property_ids[p]));
            ASSERT_EQ(property.vValue.vt, VT_BSTR);
            EXPECT_EQ(std::wstring_view(property.vValue.bstrVal), item_ids[i]);
        }
    }
}

TEST_F(Marshalling, BrowseReturnsANewContinuationPoint) {
    ComPtr<IOPCBrowse> browse;
    ASSERT_NO_FATAL_FAILURE(query(browse, IID_IOPCBrowse));
    std::wstring branch = L"工厂";
    std::wstring name_filter = L"泵";
    std::wstring vendor_filter;
    DWORD no_properties[1] = {};
    const auto browse_page = [&](TaskString& continuation) {
        BOOL more = FALSE;
        DWORD count = 0;
        TaskMem<OPCBROWSEELEMENT> elements;
        ASSERT_EQ(browse->Browse(branch.data(), continuation.InOut(), 0, OPC_BROWSE_FILTER_ITEMS, name_filter.data(),
                                 vendor_filter.data(), FALSE, FALSE, 0, no_properties, &more, &count, elements.Put()),
                  S_OK);
        elements.SetCount(count);
        EXPECT_TRUE(more);
        ASSERT_EQ(count, 1u);
        ASSERT_NE(elements.Get(), nullptr);
        const OPCBROWSEELEMENT& element = elements[0];
        ASSERT_NE(element.szName, nullptr);
        ASSERT_NE(element.szItemID, nullptr);
        EXPECT_EQ(std::wstring_view(element.szName), name_filter);
        EXPECT_EQ(std::wstring_view(element.szItemID), branch + L"." + name_filter);
        EXPECT_EQ(element.dwFlagValue, static_cast<DWORD>(OPC_BROWSE_ISITEM));
    };

    TaskString continuation;
    ASSERT_NO_FATAL_FAILURE(browse_page(continuation));
    ASSERT_NE(continuation.Get(), nullptr) << "[in, out, string] LPWSTR* came back as NULL";
    const std::wstring first = continuation.Get();
    EXPECT_EQ(first, probe::kFirstPagePrefix + branch);

    // The string passed in belongs to the call from now on (the callee or the
    // marshaller frees it); only the returned one is ours.
    ASSERT_NO_FATAL_FAILURE(browse_page(continuation));
    ASSERT_NE(continuation.Get(), nullptr);
    EXPECT_EQ(std::wstring_view(continuation.Get()), probe::kNextPagePrefix + first + L")");
}

TEST_F(Marshalling, BrowseRejectsAnotherFilter) {
    ComPtr<IOPCBrowse> browse;
    ASSERT_NO_FATAL_FAILURE(query(browse, IID_IOPCBrowse));
    std::wstring empty;
    DWORD no_properties[1] = {};
    TaskString continuation;
    BOOL more = FALSE;
    DWORD count = 0;
    TaskMem<OPCBROWSEELEMENT> elements;
    EXPECT_EQ(browse->Browse(empty.data(), continuation.InOut(), 0, OPC_BROWSE_FILTER_BRANCHES, empty.data(),
                             empty.data(), FALSE, FALSE, 0, no_properties, &more, &count, elements.Put()),
              E_INVALIDARG);
    elements.SetCount(count);
    EXPECT_EQ(continuation.Get(), nullptr);
    EXPECT_EQ(elements.Get(), nullptr);
}

TEST_F(Marshalling, BrowseRefusesANullPropertyIdArray) {
    // pdwPropertyIDs is a [ref] pointer: across apartments it must not be NULL,
    // even for zero properties.
    ComPtr<IOPCBrowse> browse;
    ASSERT_NO_FATAL_FAILURE(query(browse, IID_IOPCBrowse));
    std::wstring empty;
    TaskString continuation;
    BOOL more = FALSE;
    DWORD count = 0;
    TaskMem<OPCBROWSEELEMENT> elements;
    EXPECT_EQ(browse->Browse(empty.data(), continuation.InOut(), 0, OPC_BROWSE_FILTER_ITEMS, empty.data(),
                             empty.data(), FALSE, FALSE, 0, nullptr, &more, &count, elements.Put()),
              HRESULT_FROM_WIN32(RPC_X_NULL_REF_POINTER));
    elements.SetCount(count);
}

TEST_F(Marshalling, ServerEndsWhenTheLastObjectIsReleased) {
    EXPECT_EQ(probe_server_processes().size(), 1u);
    release_everything();
    EXPECT_EQ(wait_for_probe_servers_to_exit(kServerExitTimeoutMs), 0);
    EXPECT_TRUE(probe_server_processes().empty());
}

}  // namespace
