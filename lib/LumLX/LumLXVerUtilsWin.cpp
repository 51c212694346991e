// Version information of files, read through the system folder's version.dll.
#include "lib/LumLX/LumLXVerUtils.h"

#include "lib/LumLX/LumLXUtils.h"
#include "toolkit/LumFormat.h"
#include "toolkit/LumHandle.h"
#include "toolkit/LumOSErrors.h"

#include <algorithm>
#include <cstring>
#include <span>

static_assert(sizeof(VS_FIXEDFILEINFO) == sizeof(TFixedFileInfo));

namespace {

class TVersionApi {
public:
    using GetSizeProc = DWORD(WINAPI*)(const wchar_t*, DWORD*);
    using GetInfoProc = BOOL(WINAPI*)(const wchar_t*, DWORD, DWORD, void*);
    using QueryProc = BOOL(WINAPI*)(const void*, const wchar_t*, void**, UINT*);

    // Loaded by full path from the system folder, never by the library search.
    TVersionApi() : library_(LoadLibraryW(WinStr(GetSystemDir() + u"\\version.dll"))) {
        Win32Check(library_.IsValid());
        GetSize = Resolve<GetSizeProc>("GetFileVersionInfoSizeW");
        GetInfo = Resolve<GetInfoProc>("GetFileVersionInfoW");
        Query = Resolve<QueryProc>("VerQueryValueW");
    }

    GetSizeProc GetSize;
    GetInfoProc GetInfo;
    QueryProc Query;

private:
    template <class Proc> Proc Resolve(const char* name) {
        FARPROC proc = GetProcAddress(library_.Get(), name);
        Win32Check(proc != nullptr);
        return reinterpret_cast<Proc>(reinterpret_cast<void*>(proc));
    }

    TScopedLibrary library_;
};

// Kept for the rest of the process once loaded; a failed load is tried again next time.
const TVersionApi& VersionApi() {
    static const TVersionApi api;
    return api;
}

// The bytes of the value at `subBlock`, bounded by the block: a damaged block cannot make a
// reader run past its end. Empty when the value is not there.
std::span<const std::uint8_t> QueryValue(const std::vector<std::uint8_t>& block,
                                         const std::u16string& subBlock, bool isText) {
    void* value = nullptr;
    UINT length = 0;
    if (block.empty() || !VersionApi().Query(block.data(), WinStr(subBlock), &value, &length) ||
        value == nullptr) {
        return {};
    }
    auto first = static_cast<const std::uint8_t*>(value);
    if (first < block.data() || first >= block.data() + block.size()) {
        return {};
    }
    // Text values are measured in characters, the others in bytes.
    size_t bytes = isText ? size_t(length) * 2 : length;
    size_t available = static_cast<size_t>(block.data() + block.size() - first);
    return {first, std::min(bytes, available)};
}

std::uint32_t FirstTranslation(const std::vector<std::uint8_t>& block) {
    std::span<const std::uint8_t> value = QueryValue(block, u"\\VarFileInfo\\Translation", false);
    std::uint32_t translation = 0;
    if (value.size() >= sizeof(translation)) {
        std::memcpy(&translation, value.data(), sizeof(translation));
    }
    return translation;
}

} // namespace

std::vector<std::uint8_t> ReadVersionInfo(const std::u16string& path) {
    CheckFileExists(path);
    const TVersionApi& api = VersionApi();
    DWORD ignored = 0;
    DWORD size = api.GetSize(WinStr(path), &ignored);
    if (size == 0) {
        return {};
    }
    std::vector<std::uint8_t> block(size, 0);
    if (!api.GetInfo(WinStr(path), 0, size, block.data())) {
        return {};
    }
    return block;
}

std::uint32_t GetFirstTranslation(const std::u16string& path) {
    return FirstTranslation(ReadVersionInfo(path));
}

std::u16string VersionInfoStringOf(const std::vector<std::uint8_t>& block, std::u16string_view name,
                                   std::uint16_t language, std::uint16_t codePage) {
    if (block.empty()) {
        return {};
    }
    if (language == 0 || codePage == 0) {
        std::uint32_t translation = FirstTranslation(block);
        language = translation & 0xFFFF;
        codePage = translation >> 16;
    }
    std::u16string subBlock =
        Format(u"%s\\%.4x%.4x\\%s", u"\\StringFileInfo", language, codePage, name);
    std::span<const std::uint8_t> value = QueryValue(block, subBlock, true);
    std::u16string text(value.size() / 2, u'\0');
    if (!text.empty()) {
        std::memcpy(text.data(), value.data(), text.size() * 2);
    }
    if (size_t nul = text.find(u'\0'); nul != std::u16string::npos) {
        text.resize(nul);
    }
    return text;
}

TFixedFileInfo FixedFileInfoOf(const std::vector<std::uint8_t>& block) {
    TFixedFileInfo info{};
    std::span<const std::uint8_t> value = QueryValue(block, u"\\", false);
    if (!value.empty()) {
        std::memcpy(&info, value.data(), std::min(value.size(), sizeof(info)));
    }
    return info;
}

TVersionNumber FileVersionOf(const std::vector<std::uint8_t>& block) {
    TFixedFileInfo info = FixedFileInfoOf(block);
    return (TVersionNumber(info.FileVersionMS) << 32) | info.FileVersionLS;
}

std::u16string GetVersionInfoString(std::u16string_view name, const std::u16string& path,
                                    std::uint16_t language, std::uint16_t codePage) {
    return VersionInfoStringOf(ReadVersionInfo(path), name, language, codePage);
}

TFixedFileInfo GetFixedFileInfo(const std::u16string& path) {
    return FixedFileInfoOf(ReadVersionInfo(path));
}

TVersionNumber GetFileVersion(const std::u16string& path) {
    return FileVersionOf(ReadVersionInfo(path));
}
