#include "app/OstrinFrm.h"

#include "app/CheckWinInetAndAdo.h"
#include "lib/LumLX/LumLXSetupUtils.h"
#include "lib/LumLX/LumLXUtils.h"
#include "rstr/OstrinFrm.h"
#include "toolkit/res/LumResourceStream.h"
#include "toolkit/win/LumResModule.h"

TOstrinForm* OstrinForm = nullptr;

namespace {

constexpr std::size_t kCapicomEntry = 2;

} // namespace

const TLumClass& TOstrinForm::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TOstrinForm>("TOstrinForm", &TLumForm::StaticClass())
            .Field("Timer1", &TOstrinForm::Timer1)
            .Method("Timer1Timer", &TOstrinForm::Timer1Timer)
            .Build();
    return cls;
}

void TOstrinForm::Timer1Timer(TLumPersistent*) {
    Timer1->SetEnabled(false);
    // Only major and minor count: an installed 2.0.0.1 is good enough.
    const TNeededComp& capicom = NeededComps()[kCapicomEntry];
    if (capicom.InstalledMajorMinor < capicom.Required) {
        std::u16string target = GetSystemDir() + u"\\capicom.dll";
        SetCaption(LoadResString(OstrinFrm::SInstalling));
        {
            TLumResourceStream library(MainInstance(), TResId(u"capicomdll"), TResId(u"FILE"));
            DeleteExistingFile(target);
            library.SaveToFile(target);
        }
        SetCaption(LoadResString(OstrinFrm::SRegistering));
        RegisterDll(target);
    }
    Application()->Terminate();
}
