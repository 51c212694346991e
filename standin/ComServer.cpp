// An in-process COM server of our own in place of the CAPICOM library: DllRegisterServer
// registers one class, with this file's full path as its InprocServer32, and the ProgIDs
// CAPICOM.EncryptedData and CAPICOM.EncryptedData.1; DllUnregisterServer removes them again.
// Its objects answer IUnknown only. STANDIN_CAPICOM_MAJOR (1 or 2) selects the class
// identifier, so that the 1.x and 2.0 stand-ins are different classes as the real ones are.

#include "toolkit/base/LumWin.h"

#include <objbase.h>

#include <new>
#include <string>

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

#if STANDIN_CAPICOM_MAJOR == 2
constexpr CLSID kClassId = {
    0x9faf717d, 0x5c33, 0x47fb, {0x88, 0x36, 0xe6, 0x10, 0xfc, 0xe8, 0xd3, 0x9f}};
#elif STANDIN_CAPICOM_MAJOR == 1
constexpr CLSID kClassId = {
    0x884d085f, 0xc219, 0x4dd9, {0x84, 0xcc, 0xd7, 0x70, 0x65, 0x05, 0x26, 0xd4}};
#else
#error "STANDIN_CAPICOM_MAJOR must be 1 or 2"
#endif

constexpr wchar_t kProgId[] = L"CAPICOM.EncryptedData";
constexpr wchar_t kVersionedProgId[] = L"CAPICOM.EncryptedData.1";
constexpr wchar_t kDescription[] = L"EncryptedData Class";

// Live objects and server locks; the server may be unloaded when there are none.
LONG gLocks = 0;

class TObject final : public IUnknown {
  public:
    TObject() { InterlockedIncrement(&gLocks); }
    TObject(const TObject&) = delete;
    TObject& operator=(const TObject&) = delete;
    ~TObject() { InterlockedDecrement(&gLocks); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (!IsEqualIID(iid, IID_IUnknown)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return static_cast<ULONG>(InterlockedIncrement(&refs_));
    }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG refs = InterlockedDecrement(&refs_);
        if (refs == 0) {
            delete this;
        }
        return static_cast<ULONG>(refs);
    }

  private:
    LONG refs_ = 1;
};

// One factory for the life of the module; its references count as server locks.
class TFactory final : public IClassFactory {
  public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory)) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        InterlockedIncrement(&gLocks);
        return 2;
    }
    ULONG STDMETHODCALLTYPE Release() override {
        InterlockedDecrement(&gLocks);
        return 1;
    }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out == nullptr) {
            return E_POINTER;
        }
        *out = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        auto object = new (std::nothrow) TObject;
        if (object == nullptr) {
            return E_OUTOFMEMORY;
        }
        HRESULT result = object->QueryInterface(iid, out);
        object->Release();
        return result;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) {
            InterlockedIncrement(&gLocks);
        } else {
            InterlockedDecrement(&gLocks);
        }
        return S_OK;
    }
};

TFactory gFactory;

std::wstring ClassIdText() {
    wchar_t text[40];
    StringFromGUID2(kClassId, text, 40);
    return text;
}

HRESULT FromWin32(LONG error) {
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
}

// Creates the key below HKEY_CLASSES_ROOT and sets one string value (empty name: the default).
HRESULT SetString(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle = nullptr;
    LONG error = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, &handle, nullptr);
    if (error != ERROR_SUCCESS) {
        return FromWin32(error);
    }
    error = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return FromWin32(error);
}

// A key that is already gone counts as deleted.
HRESULT DeleteKey(const std::wstring& key) {
    LONG error = RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    return error == ERROR_FILE_NOT_FOUND ? S_OK : FromWin32(error);
}

// The class a ProgID names, as registered text; empty when it has none.
std::wstring ProgIdClass(const std::wstring& progId) {
    wchar_t text[40] = {};
    LONG size = sizeof(text) - sizeof(wchar_t);
    if (RegQueryValueW(HKEY_CLASSES_ROOT, (progId + L"\\CLSID").c_str(), text, &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    return text;
}

// Removes a ProgID only while it still names this class: another server may have taken it.
HRESULT UnregisterProgId(const std::wstring& progId, const std::wstring& classId) {
    if (lstrcmpiW(ProgIdClass(progId).c_str(), classId.c_str()) != 0) {
        return S_OK;
    }
    for (const wchar_t* sub : {L"\\CLSID", L"\\CurVer", L""}) {
        if (HRESULT result = DeleteKey(progId + sub); FAILED(result)) {
            return result;
        }
    }
    return S_OK;
}

} // namespace

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
    wchar_t path[1024];
    DWORD length = GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path, 1024);
    if (length == 0 || length >= 1024) {
        return length == 0 ? HRESULT_FROM_WIN32(GetLastError())
                           : HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    std::wstring classKey = L"CLSID\\" + ClassIdText();
    struct Entry {
        std::wstring Key;
        const wchar_t* Name;
        std::wstring Value;
    };
    const Entry entries[] = {
        {classKey, L"", kDescription},
        {classKey + L"\\InprocServer32", L"", path},
        {classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {classKey + L"\\ProgID", L"", kVersionedProgId},
        {classKey + L"\\VersionIndependentProgID", L"", kProgId},
        {kProgId, L"", kDescription},
        {std::wstring(kProgId) + L"\\CLSID", L"", ClassIdText()},
        {std::wstring(kProgId) + L"\\CurVer", L"", kVersionedProgId},
        {kVersionedProgId, L"", kDescription},
        {std::wstring(kVersionedProgId) + L"\\CLSID", L"", ClassIdText()},
    };
    for (const Entry& entry : entries) {
        if (HRESULT result = SetString(entry.Key, entry.Name, entry.Value); FAILED(result)) {
            return result;
        }
    }
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
    std::wstring classId = ClassIdText();
    for (const wchar_t* progId : {kVersionedProgId, kProgId}) {
        if (HRESULT result = UnregisterProgId(progId, classId); FAILED(result)) {
            return result;
        }
    }
    std::wstring classKey = L"CLSID\\" + classId;
    for (const wchar_t* sub :
         {L"\\InprocServer32", L"\\ProgID", L"\\VersionIndependentProgID", L""}) {
        if (HRESULT result = DeleteKey(classKey + sub); FAILED(result)) {
            return result;
        }
    }
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI
    DllGetClassObject(REFCLSID classId, REFIID iid, void** out) {
    if (out == nullptr) {
        return E_POINTER;
    }
    *out = nullptr;
    if (!IsEqualCLSID(classId, kClassId)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return gFactory.QueryInterface(iid, out);
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllCanUnloadNow() {
    return gLocks == 0 ? S_OK : S_FALSE;
}
