#include "tests/lib/LumTrx/LumTrxTestModules.h"

#include "lib/LumTrx/LumDbgUtils.h"
#include "lib/LumTrx/LumTrxResourceUtils.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/res/LumBuildIdentity.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/res/LumResourceUpdateWin.h"
#include "toolkit/res/LumStringTables.h"
#include "toolkit/win/LumRegistry.h"

#include <functional>
#include <span>
#include <stdexcept>

namespace {

bool IsRcData(const TPeResource& resource, std::u16string_view name) {
    return resource.Type == RcDataType() && resource.Name.IsName() &&
           SameAsciiText(resource.Name.Name(), name);
}

} // namespace

void ConfigureTranslation(const std::u16string& exeLongPath, std::optional<std::u16string> ext) {
    TLumRegistry registry;
    if (!registry.OpenKey(u"\\Software\\LumRuntime\\Locales", true)) {
        throw std::runtime_error("cannot open the locales key");
    }
    if (ext) {
        registry.WriteString(exeLongPath, *ext);
    } else {
        registry.DeleteValue(exeLongPath);
    }
}

void WriteTestBytes(const std::u16string& path, const std::vector<std::uint8_t>& bytes) {
    TScopedFile file(
        CreateFileW(WinStr(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    if (!file ||
        !WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
        written != bytes.size()) {
        throw std::runtime_error("cannot write " + WideToUtf8(path));
    }
}

std::string OstrinFormWithCaption(const std::string& formBinary, const std::u16string& caption) {
    std::string text = FormBinaryToText(formBinary);
    const std::string original = "Caption = 'CAPICOM 2.0 setup'";
    size_t at = text.find(original);
    if (at == std::string::npos) {
        throw std::runtime_error("the main form has another caption:\n" + text);
    }
    text.replace(at, original.size(), "Caption = " + FormStringLiteral(caption));
    return FormTextToBinary(text);
}

void MakeTestModule(const std::u16string& container, const std::u16string& exe,
                    const std::u16string& module, const TTestModuleOptions& options) {
    if (!CopyFileW(WinStr(container), WinStr(module), FALSE)) {
        throw std::runtime_error("cannot copy to " + WideToUtf8(module));
    }
    std::vector<std::uint8_t> exeBytes = ReadTestFile(exe);
    std::optional<TPeImage> image = TPeImage::Parse(exeBytes);
    if (!image) {
        throw std::runtime_error("no program at " + WideToUtf8(exe));
    }
    TLumResourceUpdate update(module, true);
    for (const TPeResource& resource : image->Resources()) {
        if (!options.Strings && resource.Type == TResId(6)) {
            continue;
        }
        std::span<const std::uint8_t> data = image->ResourceData(resource);
        std::vector<std::uint8_t> changed;
        if (options.Caption && IsRcData(resource, u"TOSTRINFORM")) {
            std::string form =
                OstrinFormWithCaption(std::string(data.begin(), data.end()), *options.Caption);
            changed.assign(form.begin(), form.end());
            data = changed;
        } else if (options.Identity && IsRcData(resource, kBuildIdentityName)) {
            if (options.Identity->empty()) {
                continue;
            }
            changed = ResourceTextBytes(*options.Identity);
            data = changed;
        }
        update.Update(resource.Type, resource.Name, resource.Language, data);
    }
    if (options.Caption) {
        update.Update(RcDataType(), TResId(u"LUM.XRS"), 0,
                      ResourceTextBytes(u"OstrinForm.Caption=TRUE\r\n"));
    }
    if (options.NameMap) {
        std::u16string nameMap = ReadSectionText(exe, "LUM.RSM");
        if (nameMap.empty()) {
            throw std::runtime_error("no name map in " + WideToUtf8(exe));
        }
        update.Update(RcDataType(), TResId(u"LUM.RSM"), 0, ResourceTextBytes(nameMap));
    }
    update.Commit();
}

namespace {

// The module's RCDATA resource `name` with a copy of its data, when it has one.
struct TFoundRcData {
    TPeResource Resource;
    std::vector<std::uint8_t> Data;
};

std::optional<TFoundRcData> FindModuleRcData(const std::u16string& module,
                                             std::u16string_view name) {
    std::vector<std::uint8_t> bytes = ReadTestFile(module);
    std::optional<TPeImage> image = TPeImage::Parse(bytes);
    if (!image) {
        throw std::runtime_error("no module at " + WideToUtf8(module));
    }
    for (const TPeResource& resource : image->Resources()) {
        if (IsRcData(resource, name)) {
            std::span<const std::uint8_t> data = image->ResourceData(resource);
            return TFoundRcData{resource, {data.begin(), data.end()}};
        }
    }
    return std::nullopt;
}

// Replaces the data of the module's RCDATA resource `name` with what `change` makes of it; the
// module's other resources stay.
void ChangeModuleResource(
    const std::u16string& module, std::u16string_view name,
    const std::function<std::vector<std::uint8_t>(std::span<const std::uint8_t>)>& change) {
    std::optional<TFoundRcData> found = FindModuleRcData(module, name);
    if (!found) {
        throw std::runtime_error("no " + WideToUtf8(name) + " in " + WideToUtf8(module));
    }
    std::vector<std::uint8_t> changed = change(found->Data);
    TLumResourceUpdate update(module, false);
    update.Update(found->Resource.Type, found->Resource.Name, found->Resource.Language, changed);
    update.Commit();
}

} // namespace

void SetModuleCaption(const std::u16string& module, const std::u16string& caption) {
    ChangeModuleResource(module, u"TOSTRINFORM", [&](std::span<const std::uint8_t> data) {
        std::string form = OstrinFormWithCaption(std::string(data.begin(), data.end()), caption);
        return std::vector<std::uint8_t>(form.begin(), form.end());
    });
}

void SetModuleIdentity(const std::u16string& module, const std::u16string& identity) {
    ChangeModuleResource(module, kBuildIdentityName, [&](std::span<const std::uint8_t>) {
        return ResourceTextBytes(identity);
    });
}

std::uint16_t ResourceStringId(const std::u16string& exe, std::string_view identifier) {
    std::vector<std::uint8_t> map = ResourceTextBytes(ReadSectionText(exe, "LUM.RSM"));
    for (const TNameMapEntry& entry : ReadNameMap(map)) {
        if (entry.Name == identifier) {
            return entry.Id;
        }
    }
    throw std::runtime_error("no string " + std::string(identifier) + " in the name map");
}

std::u16string ModuleString(const std::u16string& module, std::uint16_t id) {
    TScopedLibrary loaded(LoadLibraryExW(WinStr(module), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!loaded) {
        throw std::runtime_error("cannot load " + WideToUtf8(module));
    }
    const wchar_t* text = nullptr;
    // A length of 0 answers the string in place, which may be empty.
    int length = LoadStringW(loaded.Get(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? FromWinStr(text, static_cast<size_t>(length)) : std::u16string();
}

std::u16string ModuleText(const std::u16string& module, std::u16string_view name) {
    std::optional<TFoundRcData> found = FindModuleRcData(module, name);
    return found ? ResourceTextOf(found->Data) : std::u16string();
}
