#include "toolkit/win/LumResModule.h"

#include "rstr/LumRtlConsts.h"
#include "rstr/LumSysConst.h"
#include "toolkit/base/LumByteIO.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/res/LumStringTables.h"
#include "toolkit/win/LumRegistry.h"
#include "toolkit/win/LumSystemWin.h"

#include <algorithm>
#include <vector>

namespace {

struct ModuleRecord {
    HINSTANCE Instance;
    HINSTANCE ResInstance;
};

std::vector<ModuleRecord>& Records() {
    static std::vector<ModuleRecord> records;
    return records;
}

ModuleRecord* FindRecord(HINSTANCE instance) {
    for (ModuleRecord& record : Records()) {
        if (record.Instance == instance) {
            return &record;
        }
    }
    return nullptr;
}

TResStringLoader previousLoader = nullptr;

std::u16string& Refused() {
    static std::u16string refused;
    return refused;
}

// A broken translation module must not keep the program from starting: it then runs with its
// own texts, and the translation check reports the refused file.
void ChooseResourceModule() {
    try {
        std::u16string file = FindResourceModuleFile(OwnModuleFileName(), false);
        if (file.empty()) {
            return;
        }
        HMODULE module = IsSoundResourceModule(file)
                             ? LoadLibraryExW(WinStr(file), nullptr, LOAD_LIBRARY_AS_DATAFILE)
                             : nullptr;
        if (module) {
            SetResourceHInstance(MainInstance(), module);
        } else {
            Refused() = file;
        }
    } catch (const std::exception&) {
    }
}

void Start() {
    ChooseResourceModule();
    previousLoader = SetResStringLoader(&LoadModuleResString);
}

void Stop() {
    SetResStringLoader(previousLoader);
    HINSTANCE exe = MainInstance();
    if (HINSTANCE resource = FindResourceHInstance(exe); resource != exe) {
        FreeLibrary(resource);
    }
    Records().clear();
    Refused().clear();
}

} // namespace

TUnit LumResModuleUnit("LumResModule", &Start, &Stop);

HINSTANCE MainInstance() {
    return GetModuleHandleW(nullptr);
}

HINSTANCE FindResourceHInstance(HINSTANCE instance) {
    ModuleRecord* record = FindRecord(instance);
    return record ? record->ResInstance : instance;
}

void SetResourceHInstance(HINSTANCE instance, HINSTANCE resource) {
    if (ModuleRecord* record = FindRecord(instance)) {
        record->ResInstance = resource;
    } else {
        Records().push_back({instance, resource});
    }
}

void InstallResourceModule(HINSTANCE module) {
    HINSTANCE exe = MainInstance();
    HINSTANCE current = FindResourceHInstance(exe);
    if (current != exe && current != module) {
        FreeLibrary(current);
    }
    SetResourceHInstance(exe, module);
}

std::u16string ResourceModuleFileName(std::u16string_view moduleFile, std::u16string_view ext) {
    size_t delimiter = moduleFile.find_last_of(u".\\:");
    std::u16string name(moduleFile);
    if (delimiter != std::u16string_view::npos && moduleFile[delimiter] == u'.') {
        name.resize(delimiter);
    }
    return name + u"." + std::u16string(ext);
}

std::u16string ConfiguredResourceExtension(const std::u16string& exeLongPath) {
    static const std::pair<HKEY, std::u16string_view> kKeys[] = {
        {HKEY_CURRENT_USER, u"\\Software\\LumRuntime\\Locales"},
        {HKEY_LOCAL_MACHINE, u"\\Software\\LumRuntime\\Locales"},
        {HKEY_CURRENT_USER, u"\\Software\\LumRuntime\\Toolkit\\Locales"},
    };
    try {
        TLumRegistry registry(KEY_READ);
        for (const auto& [root, key] : kKeys) {
            registry.SetRootKey(root);
            if (registry.OpenKeyReadOnly(key)) {
                std::u16string ext = registry.ReadString(exeLongPath);
                return ext.empty() ? registry.ReadString(u"") : ext;
            }
        }
    } catch (const Exception&) {
        // A value that is not a string configures nothing.
    }
    return {};
}

std::u16string ThreadLocaleAbbreviation() {
    wchar_t name[16] = {};
    if (!GetLocaleInfoW(GetThreadLocale(), LOCALE_SABBREVLANGNAME, name, 16)) {
        return {};
    }
    return FromWinStr(name);
}

std::u16string LongPathName(const std::u16string& path) {
    DWORD size = GetLongPathNameW(WinStr(path), nullptr, 0);
    if (size == 0) {
        return path;
    }
    std::wstring buffer(size, L'\0');
    DWORD length = GetLongPathNameW(WinStr(path), buffer.data(), size);
    if (length == 0 || length >= size) {
        return path;
    }
    return FromWinStr(buffer.c_str(), length);
}

namespace {

bool IsCandidateAccepted(const std::u16string& file, bool mustLoad) {
    if (!FileExists(file)) {
        return false;
    }
    if (!mustLoad) {
        return true;
    }
    TScopedLibrary module(LoadLibraryExW(WinStr(file), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    return static_cast<bool>(module);
}

} // namespace

std::u16string FindResourceModuleFile(const std::u16string& moduleFile, bool mustLoad) {
    std::u16string longFile = LongPathName(moduleFile);
    std::u16string configured = ConfiguredResourceExtension(longFile);
    std::u16string abbreviation = ThreadLocaleAbbreviation();
    std::vector<std::u16string> extensions;
    if (!configured.empty()) {
        extensions.push_back(configured);
    }
    if (!abbreviation.empty()) {
        extensions.push_back(abbreviation);
        extensions.push_back(abbreviation.substr(0, 2));
    }
    for (const std::u16string& ext : extensions) {
        std::u16string candidate = ResourceModuleFileName(longFile, ext);
        if (IsCandidateAccepted(candidate, mustLoad)) {
            return candidate;
        }
    }
    return {};
}

TLumModuleFile::TLumModuleFile(const std::u16string& path)
    : file_(CreateFileW(WinStr(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                        nullptr)) {
    if (!file_) {
        throw EFOpenError(Format(LoadResString(LumRtlConsts::SFOpenError), path));
    }
    LARGE_INTEGER size{};
    // An empty file cannot be mapped, and a file beyond 2 GB is no module.
    if (!GetFileSizeEx(file_.Get(), &size) || size.QuadPart == 0 || size.QuadPart > 0x7FFFFFFF) {
        return;
    }
    mapping_.Reset(CreateFileMappingW(file_.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    view_ = mapping_ ? MapViewOfFile(mapping_.Get(), FILE_MAP_READ, 0, 0, 0) : nullptr;
    if (!view_) {
        return;
    }
    std::optional<TPeImage> image = TPeImage::Parse(
        {static_cast<const std::uint8_t*>(view_), static_cast<size_t>(size.QuadPart)});
    if (image) {
        image_ = std::make_unique<TPeImage>(std::move(*image));
    }
}

TLumModuleFile::~TLumModuleFile() {
    image_.reset();
    if (view_) {
        UnmapViewOfFile(view_);
    }
}

bool IsSoundImage(const TPeImage& image) {
    for (const TPeSection& section : image.Sections()) {
        if (image.SectionData(section).size() <
            std::min(section.VirtualSize, section.SizeOfRawData)) {
            return false;
        }
    }
    try {
        // Checks every directory entry and every resource's data against the bytes.
        image.Resources();
        return true;
    } catch (const EByteReadError&) {
        return false;
    }
}

bool IsSoundResourceModule(const std::u16string& path) {
    try {
        TLumModuleFile file(path);
        return file.Image() && IsSoundImage(*file.Image());
    } catch (const Exception&) {
        return false;
    }
}

const std::u16string& RefusedResourceModule() {
    return Refused();
}

namespace {

[[noreturn]] void RaiseStringNotFound(std::uint16_t id) {
    // The declared text, not the module's: the module just failed to supply a string.
    throw EResNotFound(Format(LumSysConst::SResNotFound.Text, AsciiToWide(std::to_string(id))));
}

} // namespace

std::u16string LoadModuleResString(const TResStringRec& rec) {
    HINSTANCE module = FindResourceHInstance(MainInstance());
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(StringBlockOf(rec.Id)), RT_STRING);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    auto block = loaded ? static_cast<const std::uint8_t*>(LockResource(loaded)) : nullptr;
    if (!block) {
        RaiseStringNotFound(rec.Id);
    }
    std::vector<std::u16string> strings = DecodeStringBlock({block, SizeofResource(module, found)});
    if (StringIndexOf(rec.Id) >= strings.size()) {
        RaiseStringNotFound(rec.Id);
    }
    return std::move(strings[StringIndexOf(rec.Id)]);
}
