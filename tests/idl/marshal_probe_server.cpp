// Out-of-process COM server for the marshalling test. Its one class
// implements the OPC methods whose parameters widl marshals badly when left
// alone (string pointers passed by reference, string arrays) and a few others,
// with the values of marshal_probe.h.
//
// It prints nothing: a COM-started server shares the client's stdout. It ends
// when its last object is released, or after kMaxLifetime whatever happens, so
// that a broken test never leaves it behind.

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include "marshal_probe.h"
#include "opc_common.h"
#include "opc_da.h"
#include "opc_error.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <new>
#include <string>
#include <string_view>

namespace {

constexpr DWORD kMaxLifetimeMs = 120'000;

std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};
HANDLE g_idle = nullptr;

void release_server_reference(std::atomic<long>& counter) {
    if (--counter == 0 && g_objects == 0 && g_locks == 0) {
        SetEvent(g_idle);
    }
}

LPWSTR co_string(std::wstring_view text) {
    auto* copy = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    if (copy != nullptr) {
        std::copy(text.begin(), text.end(), copy);
        copy[text.size()] = L'\0';
    }
    return copy;
}

template <typename T>
T* co_array(std::size_t count) {
    return static_cast<T*>(CoTaskMemAlloc(std::max<std::size_t>(count, 1) * sizeof(T)));
}

class Probe final : public IOPCCommon,
                    public IOPCServer,
                    public IOPCBrowseServerAddressSpace,
                    public IOPCGroupStateMgt,
                    public IOPCItemProperties,
                    public IOPCBrowse {
public:
    Probe() { ++g_objects; }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (riid == IID_IUnknown || riid == IID_IOPCCommon) {
            *ppv = static_cast<IOPCCommon*>(this);
        } else if (riid == IID_IOPCServer) {
            *ppv = static_cast<IOPCServer*>(this);
        } else if (riid == IID_IOPCBrowseServerAddressSpace) {
            *ppv = static_cast<IOPCBrowseServerAddressSpace*>(this);
        } else if (riid == IID_IOPCGroupStateMgt) {
            *ppv = static_cast<IOPCGroupStateMgt*>(this);
        } else if (riid == IID_IOPCItemProperties) {
            *ppv = static_cast<IOPCItemProperties*>(this);
        } else if (riid == IID_IOPCBrowse) {
            *ppv = static_cast<IOPCBrowse*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    // IOPCCommon
    STDMETHODIMP SetLocaleID(LCID dwLcid) override {
        if (std::ranges::find(probe::kLocales, dwLcid) == probe::kLocales.end()) {
            return E_INVALIDARG;
        }
        locale_ = dwLcid;
        return S_OK;
    }
    STDMETHODIMP GetLocaleID(LCID* pdwLcid) override {
        *pdwLcid = locale_;
        return S_OK;
    }
    STDMETHODIMP QueryAvailableLocaleIDs(DWORD* pdwCount, LCID** pdwLcid) override {
        *pdwCount = 0;
        *pdwLcid = co_array<LCID>(probe::kLocales.size());
        if (*pdwLcid == nullptr) {
            return E_OUTOFMEMORY;
        }
        std::ranges::copy(probe::kLocales, *pdwLcid);
        *pdwCount = static_cast<DWORD>(probe::kLocales.size());
        return S_OK;
    }
    STDMETHODIMP GetErrorString(HRESULT, LPWSTR* ppString) override {
        *ppString = co_string(probe::kCommonErrorText);
        return *ppString != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP SetClientName(LPCWSTR szName) override {
        client_name_ = szName;
        return S_OK;
    }

    // IOPCServer
    STDMETHODIMP AddGroup(LPCWSTR, BOOL, DWORD, OPCHANDLE, LONG*, FLOAT*, DWORD, OPCHANDLE*, DWORD*, REFIID,
                          LPUNKNOWN* ppUnk) override {
        *ppUnk = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetErrorString(HRESULT dwError, LCID dwLocale, LPWSTR* ppString) override {
        wchar_t text[256];
        std::swprintf(text, std::size(text), probe::kServerErrorFormat, client_name_.c_str(),
                      static_cast<unsigned long>(dwError), static_cast<unsigned long>(dwLocale));
        *ppString = co_string(text);
        return *ppString != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP GetGroupByName(LPCWSTR, REFIID, LPUNKNOWN* ppUnk) override {
        *ppUnk = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetStatus(OPCSERVERSTATUS** ppServerStatus) override {
        auto* status = co_array<OPCSERVERSTATUS>(1);
        if (status == nullptr) {
            return E_OUTOFMEMORY;
        }
        *status = {};
        status->ftStartTime = {0x11111111, 0x01D00000};
        status->ftCurrentTime = {0x22222222, 0x01D00001};
        status->ftLastUpdateTime = {0x33333333, 0x01D00002};
        status->dwServerState = OPC_STATUS_COMM_FAULT;
        status->dwGroupCount = probe::kGroupCount;
        status->dwBandWidth = 0xFFFFFFFF;
        status->wMajorVersion = probe::kMajorVersion;
        status->wMinorVersion = probe::kMinorVersion;
        status->wBuildNumber = probe::kBuildNumber;
        status->szVendorInfo = co_string(probe::kVendorInfo);
        *ppServerStatus = status;
        return S_OK;
    }
    STDMETHODIMP RemoveGroup(OPCHANDLE, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CreateGroupEnumerator(OPCENUMSCOPE, REFIID, LPUNKNOWN* ppUnk) override {
        *ppUnk = nullptr;
        return E_NOTIMPL;
    }

    // IOPCBrowseServerAddressSpace
    STDMETHODIMP QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) override {
        *pNameSpaceType = OPC_NS_HIERARCHIAL;
        return S_OK;
    }
    STDMETHODIMP ChangeBrowsePosition(OPCBROWSEDIRECTION, LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP BrowseOPCItemIDs(OPCBROWSETYPE, LPCWSTR, VARTYPE, DWORD, LPENUMSTRING* ppIEnumString) override {
        *ppIEnumString = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) override {
        *szItemID = co_string(std::wstring(probe::kItemIdPrefix) + szItemDataID);
        return *szItemID != nullptr ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP BrowseAccessPaths(LPCWSTR, LPENUMSTRING* ppIEnumString) override {
        *ppIEnumString = nullptr;
        return E_NOTIMPL;
    }

    // IOPCGroupStateMgt
    STDMETHODIMP GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName, LONG* pTimeBias,
                          FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup,
                          OPCHANDLE* phServerGroup) override {
        *ppName = co_string(probe::kGroupName);
        if (*ppName == nullptr) {
            return E_OUTOFMEMORY;
        }
        *pUpdateRate = probe::kGroupUpdateRate;
        *pActive = TRUE;
        *pTimeBias = probe::kGroupTimeBias;
        *pPercentDeadband = probe::kGroupDeadband;
        *pLCID = locale_;
        *phClientGroup = probe::kGroupClientHandle;
        *phServerGroup = probe::kGroupServerHandle;
        return S_OK;
    }
    STDMETHODIMP SetState(DWORD*, DWORD* pRevisedUpdateRate, BOOL*, LONG*, FLOAT*, DWORD*, OPCHANDLE*) override {
        *pRevisedUpdateRate = 0;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetName(LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP CloneGroup(LPCWSTR, REFIID, LPUNKNOWN* ppUnk) override {
        *ppUnk = nullptr;
        return E_NOTIMPL;
    }

    // IOPCItemProperties
    STDMETHODIMP QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount, DWORD** ppPropertyIDs,
                                          LPWSTR** ppDescriptions, VARTYPE** ppvtDataTypes) override {
        constexpr std::size_t count = probe::kPropertyIds.size();
        *pdwCount = 0;
        *ppPropertyIDs = co_array<DWORD>(count);
        *ppDescriptions = co_array<LPWSTR>(count);
        *ppvtDataTypes = co_array<VARTYPE>(count);
        if (*ppPropertyIDs == nullptr || *ppDescriptions == nullptr || *ppvtDataTypes == nullptr) {
            CoTaskMemFree(*ppPropertyIDs);
            CoTaskMemFree(*ppDescriptions);
            CoTaskMemFree(*ppvtDataTypes);
            *ppPropertyIDs = nullptr;
            *ppDescriptions = nullptr;
            *ppvtDataTypes = nullptr;
            return E_OUTOFMEMORY;
        }
        std::ranges::copy(probe::kPropertyIds, *ppPropertyIDs);
        (*ppDescriptions)[0] = co_string(OPC_PROPERTY_DESC_DATATYPE);
        (*ppDescriptions)[1] = co_string(OPC_PROPERTY_DESC_VALUE);
        (*ppDescriptions)[2] = co_string(std::wstring(probe::kDescriptionPrefix) + szItemID);
        (*ppvtDataTypes)[0] = VT_I2;
        (*ppvtDataTypes)[1] = VT_VARIANT;
        (*ppvtDataTypes)[2] = VT_BSTR;
        *pdwCount = static_cast<DWORD>(count);
        return S_OK;
    }
    STDMETHODIMP GetItemProperties(LPWSTR, DWORD, DWORD*, VARIANT** ppvData, HRESULT** ppErrors) override {
        *ppvData = nullptr;
        *ppErrors = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs, LPWSTR** ppszNewItemIDs,
                               HRESULT** ppErrors) override {
        *ppszNewItemIDs = co_array<LPWSTR>(dwCount);
        *ppErrors = co_array<HRESULT>(dwCount);
        if (*ppszNewItemIDs == nullptr || *ppErrors == nullptr) {
            CoTaskMemFree(*ppszNewItemIDs);
            CoTaskMemFree(*ppErrors);
            *ppszNewItemIDs = nullptr;
            *ppErrors = nullptr;
            return E_OUTOFMEMORY;
        }
        HRESULT result = S_OK;
        for (DWORD i = 0; i < dwCount; ++i) {
            if (pdwPropertyIDs[i] == 0) {
                (*ppszNewItemIDs)[i] = nullptr;
                (*ppErrors)[i] = OPC_E_INVALID_PID;
                result = S_FALSE;
                continue;
            }
            (*ppszNewItemIDs)[i] = co_string(std::wstring(szItemID) + probe::kLookupSeparator +
                                             std::to_wstring(pdwPropertyIDs[i]));
            (*ppErrors)[i] = S_OK;
        }
        return result;
    }

    // IOPCBrowse
    STDMETHODIMP GetProperties(DWORD dwItemCount, LPWSTR* pszItemIDs, BOOL bReturnPropertyValues,
                               DWORD dwPropertyCount, DWORD* pdwPropertyIDs,
                               OPCITEMPROPERTIES** ppItemProperties) override {
        auto* items = co_array<OPCITEMPROPERTIES>(dwItemCount);
        if (items == nullptr) {
            return E_OUTOFMEMORY;
        }
        for (DWORD i = 0; i < dwItemCount; ++i) {
            OPCITEMPROPERTIES& item = items[i];
            item = {};
            item.pItemProperties = co_array<OPCITEMPROPERTY>(dwPropertyCount);
            if (item.pItemProperties == nullptr) {
                item.hrErrorID = E_OUTOFMEMORY;
                continue;
            }
            item.dwNumProperties = dwPropertyCount;
            for (DWORD p = 0; p < dwPropertyCount; ++p) {
                OPCITEMPROPERTY& property = item.pItemProperties[p];
                property = {};
                property.vtDataType = VT_BSTR;
                property.dwPropertyID = pdwPropertyIDs[p];
                property.szItemID = co_string(pszItemIDs[i]);
                property.szDescription = co_string(std::wstring(probe::kPropertyDescriptionPrefix) +
                                                   std::to_wstring(pdwPropertyIDs[p]));
                VariantInit(&property.vValue);
                if (bReturnPropertyValues) {
                    property.vValue.vt = VT_BSTR;
                    property.vValue.bstrVal = SysAllocString(pszItemIDs[i]);
                }
            }
        }
        *ppItemProperties = items;
        return S_OK;
    }
    STDMETHODIMP Browse(LPWSTR szItemID, LPWSTR* pszContinuationPoint, DWORD, OPCBROWSEFILTER dwBrowseFilter,
                        LPWSTR szElementNameFilter, LPWSTR, BOOL, BOOL, DWORD, DWORD*, BOOL* pbMoreElements,
                        DWORD* pdwCount, OPCBROWSEELEMENT** ppBrowseElements) override {
        *pbMoreElements = FALSE;
        *pdwCount = 0;
        *ppBrowseElements = nullptr;
        if (dwBrowseFilter != OPC_BROWSE_FILTER_ITEMS) {
            return E_INVALIDARG;
        }
        const std::wstring next = *pszContinuationPoint == nullptr
                                      ? std::wstring(probe::kFirstPagePrefix) + szItemID
                                      : std::wstring(probe::kNextPagePrefix) + *pszContinuationPoint + L")";
        auto* element = co_array<OPCBROWSEELEMENT>(1);
        LPWSTR continuation = co_string(next);
        if (element == nullptr || continuation == nullptr) {
            CoTaskMemFree(element);
            CoTaskMemFree(continuation);
            return E_OUTOFMEMORY;
        }
        CoTaskMemFree(*pszContinuationPoint);
        *pszContinuationPoint = continuation;
        *element = {};
        element->szName = co_string(szElementNameFilter);
        element->szItemID = co_string(std::wstring(szItemID) + L"." + szElementNameFilter);
        element->dwFlagValue = OPC_BROWSE_ISITEM;
        *ppBrowseElements = element;
        *pdwCount = 1;
        *pbMoreElements = TRUE;
        return S_OK;
    }

private:
    ~Probe() { release_server_reference(g_objects); }

    std::atomic<ULONG> refs_{1};
    LCID locale_ = probe::kInitialLocale;
    std::wstring client_name_;
};

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IID_IUnknown || riid == IID_IClassFactory) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Lives on main()'s stack for the whole process.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        *ppv = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* probe = new (std::nothrow) Probe;
        if (probe == nullptr) {
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = probe->QueryInterface(riid, ppv);
        probe->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) {
            ++g_locks;
        } else {
            release_server_reference(g_locks);
        }
        return S_OK;
    }
};

}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        return 1;
    }
    g_idle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Factory factory;
    DWORD cookie = 0;
    int status = 1;
    if (g_idle != nullptr &&
        SUCCEEDED(CoRegisterClassObject(probe::kClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie))) {
        status = WaitForSingleObject(g_idle, kMaxLifetimeMs) == WAIT_OBJECT_0 ? 0 : 2;
        CoRevokeClassObject(cookie);
    }
    CoUninitialize();
    return status;
}
