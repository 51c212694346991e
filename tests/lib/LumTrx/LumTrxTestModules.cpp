#include "tests/lib/LumTrx/LumTrxTestModules.h"

#include "lib/LumTrx/LumDbgUtils.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/res/LumBuildIdentity.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/res/LumResourceUpdateWin.h"
#include "toolkit/win/LumRegistry.h"

#include <stdexcept>

namespace {

std::vector<std::uint8_t> Utf16Bytes(std::u16string_view text) {
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return bytes;
}

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
            changed = Utf16Bytes(*options.Identity);
            data = changed;
        }
        update.Update(resource.Type, resource.Name, resource.Language, data);
    }
    if (options.NameMap) {
        std::u16string nameMap = ReadSectionText(exe, "LUM.RSM");
        if (nameMap.empty()) {
            throw std::runtime_error("no name map in " + WideToUtf8(exe));
        }
        update.Update(RcDataType(), TResId(u"LUM.RSM"), 0, Utf16Bytes(nameMap));
    }
    update.Commit();
}

void SetModuleCaption(const std::u16string& module, const std::u16string& caption) {
    std::vector<std::uint8_t> bytes = ReadTestFile(module);
    std::optional<TPeImage> image = TPeImage::Parse(bytes);
    if (!image) {
        throw std::runtime_error("no module at " + WideToUtf8(module));
    }
    for (const TPeResource& resource : image->Resources()) {
        if (IsRcData(resource, u"TOSTRINFORM")) {
            std::span<const std::uint8_t> data = image->ResourceData(resource);
            std::string form =
                OstrinFormWithCaption(std::string(data.begin(), data.end()), caption);
            TLumResourceUpdate update(module, false);
            update.Update(
                resource.Type, resource.Name, resource.Language,
                std::span(reinterpret_cast<const std::uint8_t*>(form.data()), form.size()));
            update.Commit();
            return;
        }
    }
    throw std::runtime_error("no main form in " + WideToUtf8(module));
}
