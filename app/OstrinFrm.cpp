#include "app/OstrinFrm.h"

#include "app/OstrinSetup.h"
#include "rstr/OstrinFrm.h"
#include "toolkit/ui/LumApplication.h"

TOstrinForm* OstrinForm = nullptr;

const TLumClass& TOstrinForm::StaticClass() {
    static const TLumClass cls =
        TLumClassBuilder<TOstrinForm>("TOstrinForm", &TLumFormLX::StaticClass())
            .Field("Timer1", &TOstrinForm::Timer1)
            .Method("Timer1Timer", &TOstrinForm::Timer1Timer)
            .Build();
    return cls;
}

void TOstrinForm::Timer1Timer(TLumPersistent*) {
    Timer1->SetEnabled(false);
    TSetupResult result = RunCapicomSetup([this](TSetupStep step) {
        SetCaption(LoadResString(step == TSetupStep::ssInstalling ? OstrinFrm::SInstalling
                                                                  : OstrinFrm::SRegistering));
    });
    if (result == TSetupResult::srRestartRequired) {
        ShowMessage(RestartRequiredText());
    }
    Application()->Terminate();
}
