#include "lib/LumTrx/LumDbgExceptDlg.h"

std::u16string SupportEmailAddress;
TSystemInfoHook SystemInfoHook = nullptr;

namespace {

void Stop() { SupportEmailAddress.clear(); }

} // namespace

TUnit LumDbgExceptDlgUnit("LumDbgExceptDlg", nullptr, &Stop);
