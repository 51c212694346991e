// The hooks of the exception route: each module installs its own over the one before it and
// its stop puts back exactly what its start replaced, whatever that was.

#include "errors/ExceptDlg.h"

#include "app/CheckWinInetAndAdo.h"
#include "errors/LumStackTraceWin.h"
#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumTrx/LumDbgExceptDlg.h"
#include "tests/support/LumTestUnits.h"
#include "toolkit/base/LumStringList.h"
#include "toolkit/ui/LumBasicControls.h"
#include "toolkit/win/LumResModule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TUnit* const kUnits[] = {&LumResModuleUnit, &LumLXUtilsUnit, &LumFormsUnit, &LumBasicControlsUnit,
                         &LumStackTraceUnit};

std::vector<std::u16string> seenByHook;

void RecordingHook(TLumPersistent*, Exception& error) {
    seenByHook.push_back(error.Message());
}

using THookFunction = void (*)(TLumPersistent*, Exception&);

// The function the application's hook is, or null when it is none or something else.
THookFunction InstalledHook() {
    auto target = Application()->ExceptionHook().target<THookFunction>();
    return target ? *target : nullptr;
}

void RaiseAndHandle(const char16_t* message) {
    try {
        throw ELumGeneralError(message);
    } catch (...) {
        Application()->HandleException(nullptr);
    }
}

TExceptionDialog* CreateTestDialog(TLumComponent* owner) {
    return CreateBaseExceptionDialog(owner);
}

void TestSystemInfo(TLumStringList& lines) {
    lines.Add(u"from the test");
}

TSystemInfoHook InstalledSystemInfoHook() {
    TSystemInfoHook installed = SetSystemInfoHook(nullptr);
    SetSystemInfoHook(installed);
    return installed;
}

class ExceptionRoute : public TUnitsTest<kUnits> {
  protected:
    void SetUp() override { seenByHook.clear(); }
    void TearDown() override { Application()->SetExceptionHook(nullptr); }
};

} // namespace

TEST_F(ExceptionRoute, EachStopPutsBackTheHookItsStartReplaced) {
    Application()->SetExceptionHook(&RecordingHook);
    ExceptDlgUnit.Start();
    EXPECT_EQ(InstalledHook(), &HandleApplicationException);
    LumDbgExceptDlgUnit.Start();
    EXPECT_EQ(InstalledHook(), &HandleSecondaryException);
    LumDbgExceptDlgUnit.Stop();
    EXPECT_EQ(InstalledHook(), &HandleApplicationException);
    ExceptDlgUnit.Stop();
    EXPECT_EQ(InstalledHook(), &RecordingHook);
}

// The program dialog's hook over another one, without the base dialog's in between.
TEST_F(ExceptionRoute, SecondaryHookHandsOnToTheOneItReplaced) {
    Application()->SetExceptionHook(&RecordingHook);
    LumDbgExceptDlgUnit.Start();
    RaiseAndHandle(u"while no dialog is open");
    LumDbgExceptDlgUnit.Stop();
    EXPECT_EQ(seenByHook, std::vector<std::u16string>{u"while no dialog is open"});
    EXPECT_EQ(InstalledHook(), &RecordingHook);
    RaiseAndHandle(u"after the stop");
    EXPECT_EQ(seenByHook.size(), 2u);
}

TEST_F(ExceptionRoute, DialogClassAndSystemInformationComeBack) {
    EXPECT_EQ(SetExceptionDialogClass(&CreateTestDialog), &CreateBaseExceptionDialog);
    LumDbgExceptDlgUnit.Start();
    LumDbgExceptDlgUnit.Stop();
    EXPECT_EQ(SetExceptionDialogClass(&CreateBaseExceptionDialog), &CreateTestDialog);

    SetSystemInfoHook(&TestSystemInfo);
    CheckWinInetAndAdoUnit.Start();
    EXPECT_EQ(InstalledSystemInfoHook(), &AddSystemInfo);
    CheckWinInetAndAdoUnit.Stop();
    EXPECT_EQ(InstalledSystemInfoHook(), &TestSystemInfo);
    SetSystemInfoHook(nullptr);
}
