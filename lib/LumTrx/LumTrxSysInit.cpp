#include "lib/LumTrx/LumTrxSysInit.h"

#include "lib/LumTrx/LumTrxResourceUtilsWin.h"
#include "lib/LumTrx/LumTrxUtils.h"
#include "rstr/LumTrxSysInit.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/win/LumResModule.h"
#include "toolkit/win/LumSystemWin.h"

#include <utility>

namespace {

void ShowSystemMessage(const std::u16string& text) {
    MessageBoxW(nullptr, WinStr(text), L"", MB_OK);
}

TTranslationNoticeHook noticeHook = nullptr;

void Notify(const std::u16string& text) {
    (noticeHook ? noticeHook : &ShowSystemMessage)(text);
}

// The executable's own resources first: the notice's text must not come from the module that
// is put aside.
void NotifyNotPrepared() {
    InstallResourceModule(MainInstance());
    Notify(LoadResString(LumTrxSysInit::SNotPrepared));
}

// Whether the module can be trusted to be this build's translation; an unreadable, truncated
// or damaged file is not, and must not keep the program from starting.
bool IsUsableModule(const std::u16string& module) {
    try {
        return IsModulePrepared(module);
    } catch (const Exception&) {
        return false;
    }
}

bool FitsThisBuild(const std::u16string& exeFile, const std::u16string& module) {
    try {
        return SameBuildIdentity(exeFile, module);
    } catch (const Exception&) {
        return false;
    }
}

void Start() {
    StartupTranslationCheck();
}

} // namespace

TUnit LumTrxSysInitUnit("LumTrxSysInit", &Start, nullptr);

TTranslationNoticeHook SetTranslationNoticeHook(TTranslationNoticeHook hook) {
    return std::exchange(noticeHook, hook);
}

void StartupTranslationCheck() {
    HINSTANCE exe = MainInstance();
    if (FindResourceHInstance(exe) == exe) {
        if (!RefusedResourceModule().empty()) {
            NotifyNotPrepared();
        }
        return;
    }
    std::u16string exeFile = OwnModuleFileName();
    std::u16string module;
    try {
        module = ActiveResourceModuleFileName();
    } catch (const Exception&) {
        // The file went away or cannot be mapped any more since the runtime took it.
        NotifyNotPrepared();
        return;
    }
    if (!IsUsableModule(module)) {
        NotifyNotPrepared();
        return;
    }
    WarnIfCodePageUnsupported(TranslationLanguage(exeFile, module));
    if (FitsThisBuild(exeFile, module)) {
        return;
    }
    // Frees the old module, so that its file can be replaced.
    InstallResourceModule(exe);
    if (module.empty()) {
        return;
    }
    try {
        UpdateTranslation(exeFile, module);
    } catch (const Exception& error) {
        Notify(error.Message());
        return;
    }
    if (!IsSoundResourceModule(module)) {
        NotifyNotPrepared();
        return;
    }
    if (HMODULE updated = LoadLibraryExW(WinStr(module), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        InstallResourceModule(updated);
    }
}
