#include "lib/LumTrx/LumTrxFrmUtilsWin.h"

#include "lib/LumLX/LumLXFlashMsg.h"
#include "lib/LumTrx/LumTrxResourceUtilsWin.h"
#include "rstr/LumTrxFrmUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStreams.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"
#include "toolkit/res/LumResourceStream.h"
#include "toolkit/win/LumSystemWin.h"

#include <utility>

namespace {

constexpr char16_t kOriginalDump[] = u"Lum_Original_Form.txt";
constexpr char16_t kRenderedDump[] = u"Lum_Rendered_Form.txt";

void WriteDump(const std::u16string& path, std::string_view text) {
    DeleteFileW(WinStr(path));
    TLumFileStream file(path, fmCreate);
    file.WriteBuffer(text.data(), text.size());
}

// Writes both texts into the folder; false when either cannot be written.
bool WriteDumps(const std::u16string& folder, std::string_view original,
                std::string_view rendered) {
    try {
        WriteDump(folder + kOriginalDump, original);
        WriteDump(folder + kRenderedDump, rendered);
        return true;
    } catch (const Exception&) {
        return false;
    }
}

[[noreturn]] void RaiseRenderMismatch(std::string_view original, std::string_view rendered) {
    // The drive's root first, where developers look; users without rights there get them in
    // their temporary folder.
    std::u16string folder = u"c:\\";
    if (!WriteDumps(folder, original, rendered)) {
        folder = TempFolder();
        WriteDumps(folder, original, rendered);
    }
    throw ELumInternalError(Format(LoadResString(LumTrxFrmUtils::SRenderMismatch),
                                   folder + kOriginalDump, folder + kRenderedDump));
}

} // namespace

void LoadFormFromText(TFrmForm& form, std::string_view text, TFrmPropertyList* properties) {
    // The caller's list takes the properties only once the form is whole: a form that fails is
    // freed, and the list must not keep references into it.
    TFrmPropertyList parsed;
    form.Parse(text, &parsed);
    std::string rendered = form.Render();
    if (rendered != text) {
        RaiseRenderMismatch(text, rendered);
    }
    if (properties) {
        properties->insert(properties->end(), parsed.begin(), parsed.end());
    }
}

void LoadFormFromResource(TFrmForm& form, HMODULE module, std::u16string_view name,
                          TFrmPropertyList* properties) {
    TLumResourceStream resource(module, TResId(name), RcDataType());
    TLumMemoryStream text;
    ObjectBinaryToText(resource, text);
    LoadFormFromText(form, text.Bytes(), properties);
}

void ReadTranslationInfo(HMODULE module, const std::u16string& fileName, TFrmFormList& forms,
                         TFrmPropertyList& properties) {
    TLumOwned<TLumFlashForm> flash =
        ShowFlashMessage(Format(LoadResString(LumTrxFrmUtils::SReadingTranslationInfo), fileName));
    forms.clear();
    properties.clear();
    std::vector<std::string> names;
    ListFormResources(module, names);
    for (const std::string& name : names) {
        auto form = std::make_unique<TFrmForm>();
        LoadFormFromResource(*form, module, AnsiToWide(name), &properties);
        forms.push_back(std::move(form));
    }
}

void WriteForms(TLumResourceUpdate& update, const TFrmFormList& forms) {
    for (const std::unique_ptr<TFrmForm>& form : forms) {
        std::string binary = FormTextToBinary(form->Render());
        std::u16string name = u"T" + AsciiUpperCase(AnsiToWide(form->Name));
        update.Update(
            RcDataType(), TResId(name), 0,
            std::span(reinterpret_cast<const std::uint8_t*>(binary.data()), binary.size()));
    }
}
