#include "lib/LumTrx/LumTrxResourceUtilsWin.h"

#include "rstr/LumTrxResourceUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/ui/LumForms.h"
#include "toolkit/win/LumSystemWin.h"

#include <optional>
#include <utility>

namespace {

bool SystemHasWideFunctions() {
    return OSVersion().IsNT();
}

TWideSystemQuery wideSystemQuery = &SystemHasWideFunctions;

// The library that brings the wide update calls to systems without them; loaded once, freed
// when the program ends.
struct TUpdateLibrary {
    TSystemLibrary Library;
    TResourceUpdateCalls Calls;
};

const TResourceUpdateCalls& LibraryCalls() {
    static std::optional<TUpdateLibrary> loaded;
    if (!loaded) {
        try {
            TSystemLibrary library = LoadSystemLibrary(u"lum_unicows.dll");
            TResourceUpdateCalls calls{
                library.FindProc<decltype(TResourceUpdateCalls::Begin)>("BeginUpdateResourceW"),
                library.FindProc<decltype(TResourceUpdateCalls::Update)>("UpdateResourceW"),
                library.FindProc<decltype(TResourceUpdateCalls::End)>("EndUpdateResourceW")};
            if (calls.Begin && calls.Update && calls.End) {
                loaded.emplace(TUpdateLibrary{std::move(library), calls});
            }
        } catch (const EOSError&) {
            // Not there, or not loadable: the same as missing calls.
        }
        if (!loaded) {
            throw ELumGeneralError(LoadResString(LumTrxResourceUtils::SNoTranslationUpdates));
        }
    }
    return loaded->Calls;
}

} // namespace

TWideSystemQuery SetWideSystemQuery(TWideSystemQuery query) {
    return std::exchange(wideSystemQuery, query);
}

const TResourceUpdateCalls& ResourceUpdateCalls() {
    return wideSystemQuery() ? SystemResourceUpdateCalls() : LibraryCalls();
}

std::unique_ptr<TLumResourceUpdate> BeginResourceUpdate(const std::u16string& fileName,
                                                        bool deleteExisting) {
    auto update =
        std::make_unique<TLumResourceUpdate>(fileName, deleteExisting, ResourceUpdateCalls());
    TLumOwned<TLumForm> form(TLumCustomForm::CreateNew<TLumForm>(nullptr));
    form->SetBounds(0, 0, 0, 0);
    form->Show();
    return update;
}

void SaveRcText(TLumResourceUpdate& update, std::u16string_view name, std::u16string_view text) {
    CheckResourceTextName(name);
    update.Update(RcDataType(), TResId(name), 0, ResourceTextBytes(text));
}

void EnumerateResources(HMODULE module, std::vector<TResData>& list) {
    std::vector<TResData> found = EnumerateModuleResources(module);
    list.insert(list.end(), found.begin(), found.end());
}

namespace {

std::optional<std::span<const std::uint8_t>> RcData(HMODULE module, std::u16string_view name) {
    TResId id(name);
    HRSRC found = FindResourceW(module, ResourcePointer(id), MAKEINTRESOURCEW(kRtRcData));
    if (!found) {
        return std::nullopt;
    }
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    if (!data) {
        return std::nullopt;
    }
    return std::span(static_cast<const std::uint8_t*>(data), SizeofResource(module, found));
}

} // namespace

bool HasResourceText(HMODULE module, std::u16string_view name) {
    return RcData(module, name).has_value();
}

std::u16string ReadResourceText(HMODULE module, std::u16string_view name) {
    std::optional<std::span<const std::uint8_t>> data = RcData(module, name);
    return data ? ResourceTextOf(*data) : std::u16string();
}

void ReadStringTables(HMODULE module, TStringBlockLists& blocks) {
    blocks.clear();
    for (const TResData& resource : EnumerateModuleResources(module)) {
        if (resource.Type == TResId(kRtString) && resource.Name.IsNumber()) {
            blocks.push_back(ReadStringBlockList(resource.Name.Number(), resource.Data));
        }
    }
}

void WriteStringTables(TLumResourceUpdate& update, const TStringBlockLists& blocks) {
    for (const TStringBlockList& list : blocks) {
        if (list.empty()) {
            continue;
        }
        TStringBlockSlots block = StringBlockSlots(list);
        update.Update(TResId(kRtString), TResId(block.Block), 0, EncodeStringBlock(block.Slots));
    }
}

void ListFormResources(HMODULE module, std::vector<std::string>& names) {
    names.clear();
    for (const TResData& resource : EnumerateModuleResources(module)) {
        if (resource.Type == RcDataType() && resource.Name.IsName() &&
            IsFormStreamStart(resource.Data)) {
            names.push_back(WideToAnsi(resource.Name.Name()));
        }
    }
}

namespace {

// The text of the file's name map section, or nothing when the file has none.
std::optional<std::u16string> NameMapSectionText(const std::u16string& fileName) {
    TLumFileStream file(fileName, fmOpenRead);
    std::vector<std::uint8_t> bytes(static_cast<size_t>(file.Size()));
    file.ReadBuffer(bytes.data(), bytes.size());
    std::optional<TPeImage> image = TPeImage::Parse(bytes);
    const TPeSection* section = image ? image->FindSection("LUM.RSM") : nullptr;
    if (!section) {
        return std::nullopt;
    }
    return ResourceTextOf(image->SectionData(*section));
}

} // namespace

void CopyResources(const std::u16string& source, const std::u16string& target) {
    std::optional<std::u16string> nameMap = NameMapSectionText(source);
    TScopedLibrary module = LoadDataModule(source);
    std::vector<TResData> resources;
    EnumerateResources(module.Get(), resources);
    std::unique_ptr<TLumResourceUpdate> update = BeginResourceUpdate(target, true);
    for (const TResData& resource : resources) {
        update->Update(resource.Type, resource.Name, resource.Language, resource.Data);
    }
    if (nameMap) {
        SaveRcText(*update, u"LUM.RSM", *nameMap);
    }
    update->Commit();
}
