// The stand-in libraries keep the contracts the program and the tests rely on: the COM
// server's registration and objects, the failing registrations, the missing entry point.
#include "tests/standin/LumStandins.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/win/LumRegistry.h"

#include <objbase.h>

#include <gtest/gtest.h>

namespace {

using EntryProc = HRESULT(WINAPI*)();
using GetClassObjectProc = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

TScopedLibrary Load(std::u16string_view relative) {
    TScopedLibrary library(LoadLibraryW(WinStr(StandinPath(relative))));
    EXPECT_TRUE(library) << WideToUtf8(relative);
    return library;
}

// The string value of a key under HKEY_CLASSES_ROOT; "(none)" when the key is missing.
std::u16string ClassesValue(const std::u16string& key, std::u16string_view name = u"") {
    TLumRegistry registry(KEY_READ);
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    return registry.OpenKeyReadOnly(key) ? registry.ReadString(name) : u"(none)";
}

constexpr char16_t kClass2[] = u"{9FAF717D-5C33-47FB-8836-E610FCE8D39F}";
constexpr CLSID kClassId2 = {
    0x9faf717d, 0x5c33, 0x47fb, {0x88, 0x36, 0xe6, 0x10, 0xfc, 0xe8, 0xd3, 0x9f}};
constexpr char16_t kClass1[] = u"{884D085F-C219-4DD9-84CC-D770650526D4}";

} // namespace

TEST(Standins, CapicomRegistersItselfAndUnregisters) {
    THiddenProgID hidden(u"CAPICOM.EncryptedData");
    THiddenProgID hiddenVersioned(u"CAPICOM.EncryptedData.1");
    TScopedLibrary library = Load(u"capicom.dll");
    ASSERT_EQ(ProcAddress<EntryProc>(library.Get(), "DllRegisterServer")(), S_OK);

    const std::u16string classKey = u"CLSID\\" + std::u16string(kClass2);
    EXPECT_EQ(ClassesValue(u"CAPICOM.EncryptedData\\CLSID"), kClass2);
    EXPECT_EQ(ClassesValue(u"CAPICOM.EncryptedData\\CurVer"), u"CAPICOM.EncryptedData.1");
    EXPECT_EQ(ClassesValue(u"CAPICOM.EncryptedData.1\\CLSID"), kClass2);
    EXPECT_EQ(ClassesValue(classKey + u"\\ProgID"), u"CAPICOM.EncryptedData.1");
    EXPECT_EQ(ClassesValue(classKey + u"\\VersionIndependentProgID"), u"CAPICOM.EncryptedData");
    EXPECT_EQ(ClassesValue(classKey + u"\\InprocServer32", u"ThreadingModel"), u"Apartment");
    // Its own full path, as the loader reports it.
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(library.Get(), path, MAX_PATH);
    EXPECT_EQ(ClassesValue(classKey + u"\\InprocServer32"), FromWinStr(path));
    CLSID found{};
    EXPECT_EQ(CLSIDFromProgID(L"CAPICOM.EncryptedData", &found), S_OK);
    EXPECT_TRUE(IsEqualCLSID(found, kClassId2));

    ASSERT_EQ(ProcAddress<EntryProc>(library.Get(), "DllUnregisterServer")(), S_OK);
    EXPECT_EQ(ClassesValue(u"CAPICOM.EncryptedData\\CLSID"), u"(none)");
    EXPECT_EQ(ClassesValue(u"CAPICOM.EncryptedData.1\\CLSID"), u"(none)");
    EXPECT_EQ(ClassesValue(classKey), u"(none)");
    // Unregistering twice is no failure.
    EXPECT_EQ(ProcAddress<EntryProc>(library.Get(), "DllUnregisterServer")(), S_OK);
}

TEST(Standins, UnregisteringLeavesProgIDsThatAnotherClassTook) {
    THiddenProgID hidden(u"CAPICOM.EncryptedData");
    THiddenProgID hiddenVersioned(u"CAPICOM.EncryptedData.1");
    TScopedLibrary old = Load(u"capicom1\\capicom.dll");
    TScopedLibrary current = Load(u"capicom.dll");
    ASSERT_EQ(ProcAddress<EntryProc>(old.Get(), "DllRegisterServer")(), S_OK);
    EXPECT_EQ(ClassesValue(u"CAPICOM.EncryptedData\\CLSID"), kClass1);
    ASSERT_EQ(ProcAddress<EntryProc>(current.Get(), "DllRegisterServer")(), S_OK);
    EXPECT_EQ(ClassesValue(u"CAPICOM.EncryptedData\\CLSID"), kClass2);

    EXPECT_EQ(ProcAddress<EntryProc>(old.Get(), "DllUnregisterServer")(), S_OK);
    EXPECT_EQ(ClassesValue(u"CAPICOM.EncryptedData\\CLSID"), kClass2);
    EXPECT_EQ(ClassesValue(u"CLSID\\" + std::u16string(kClass1)), u"(none)");

    EXPECT_EQ(ProcAddress<EntryProc>(current.Get(), "DllUnregisterServer")(), S_OK);
    EXPECT_EQ(ClassesValue(u"CAPICOM.EncryptedData\\CLSID"), u"(none)");
}

TEST(Standins, CapicomObjectsAnswerIUnknownOnly) {
    TScopedLibrary library = Load(u"capicom.dll");
    auto getClassObject = ProcAddress<GetClassObjectProc>(library.Get(), "DllGetClassObject");
    auto canUnloadNow = ProcAddress<EntryProc>(library.Get(), "DllCanUnloadNow");
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);
    EXPECT_EQ(canUnloadNow(), S_OK);

    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(getClassObject(CLSID_NULL, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject(kClassId2, IID_IClassFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    IUnknown* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)),
              S_OK);
    IDispatch* dispatch = nullptr;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&dispatch)),
              E_NOINTERFACE);
    EXPECT_EQ(dispatch, nullptr);
    EXPECT_EQ(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)),
              E_NOINTERFACE);
    EXPECT_EQ(factory->CreateInstance(object, IID_IUnknown, reinterpret_cast<void**>(&dispatch)),
              CLASS_E_NOAGGREGATION);
    factory->Release();
    // The object still holds the server.
    EXPECT_EQ(canUnloadNow(), S_FALSE);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST(Standins, FailingRegistrations) {
    TScopedLibrary fails = Load(u"regfail.dll");
    TScopedLibrary unknown = Load(u"regunknown.dll");
    TScopedLibrary none = Load(u"noregister.dll");
    EXPECT_EQ(ProcAddress<EntryProc>(fails.Get(), "DllRegisterServer")(), E_FAIL);
    EXPECT_EQ(ProcAddress<EntryProc>(unknown.Get(), "DllRegisterServer")(),
              static_cast<HRESULT>(0xA0041234));
    EXPECT_EQ(ProcAddress<EntryProc>(none.Get(), "DllRegisterServer"), nullptr);
}
