#pragma once
// Test helpers around the stand-in libraries: where the tests find them (<build>/standin,
// beside <build>/tests), and keeping the shared test prefix's COM registrations as they were.

#include "toolkit/base/LumWin.h"
#include "toolkit/win/LumRegistry.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

/// The full path of a stand-in, e.g. StandinPath(u"capicom1\\capicom.dll").
inline std::u16string StandinPath(std::u16string_view relative) {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::u16string path = FromWinStr(self, length);
    path.resize(path.rfind(u'\\'));
    path.resize(path.rfind(u'\\'));
    return path + u"\\standin\\" + std::u16string(relative);
}

/// Takes a ProgID (a key of string values under HKEY_CLASSES_ROOT) out of the registry, if it
/// is there, and at the end removes whatever the test left under that name and puts the saved
/// key back.
class THiddenProgID {
  public:
    explicit THiddenProgID(std::u16string progId) : progId_(std::move(progId)) {
        Save(progId_);
        TLumRegistry registry;
        registry.SetRootKey(HKEY_CLASSES_ROOT);
        registry.DeleteKey(progId_);
    }
    THiddenProgID(const THiddenProgID&) = delete;
    THiddenProgID& operator=(const THiddenProgID&) = delete;
    ~THiddenProgID() {
        TLumRegistry registry;
        registry.SetRootKey(HKEY_CLASSES_ROOT);
        registry.DeleteKey(progId_);
        for (const Value& value : values_) {
            EXPECT_TRUE(registry.OpenKey(u"\\" + value.Key, true));
            registry.WriteString(value.Name, value.Text);
        }
    }

  private:
    struct Value {
        std::u16string Key;
        std::u16string Name;
        std::u16string Text;
    };

    void Save(const std::u16string& key) {
        TLumRegistry registry(KEY_READ);
        registry.SetRootKey(HKEY_CLASSES_ROOT);
        if (!registry.OpenKeyReadOnly(key)) {
            return;
        }
        wchar_t name[256];
        DWORD length = 256;
        for (DWORD index = 0; RegEnumValueW(registry.CurrentKey(), index, name, &length, nullptr,
                                            nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             ++index, length = 256) {
            std::u16string valueName = FromWinStr(name, length);
            values_.push_back({key, valueName, registry.ReadString(valueName)});
        }
        std::vector<std::u16string> children;
        length = 256;
        for (DWORD index = 0; RegEnumKeyExW(registry.CurrentKey(), index, name, &length, nullptr,
                                            nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             ++index, length = 256) {
            children.push_back(key + u"\\" + FromWinStr(name, length));
        }
        for (const std::u16string& child : children) {
            Save(child);
        }
    }

    std::u16string progId_;
    std::vector<Value> values_;
};
