#pragma once
// The program's exception dialog module: the support address that reports are mailed to and
// the hook that supplies the system information block of reports.

#include "toolkit/LumUnits.h"

#include <string>

class TLumStringList;

/// The maker's support address; the program entry assigns it first thing.
extern std::u16string SupportEmailAddress;

/// Fills a list with the system information lines of a report; empty unless a module has
/// registered its builder.
using TSystemInfoHook = void (*)(TLumStringList& lines);
extern TSystemInfoHook SystemInfoHook;

/// Stops: empties SupportEmailAddress.
extern TUnit LumDbgExceptDlgUnit;
