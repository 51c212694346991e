#pragma once
// The translation check at start-up: before any form exists, the translation module that the
// runtime chose is validated, and one that does not fit this build of the executable is put
// aside, so that the program runs with texts that belong to it.

#include "toolkit/base/LumUnits.h"

#include <string>

/// Tells the user something about the translation module. The default shows the text in a
/// system message box without owner and with an empty caption.
using TTranslationNoticeHook = void (*)(const std::u16string& text);

/// Makes `hook` the way notices reach the user (none: the default) and answers the one it
/// replaces.
TTranslationNoticeHook SetTranslationNoticeHook(TTranslationNoticeHook hook);

/// The check, on the active resource module:
/// - the executable's own resources: nothing, unless the runtime refused a damaged module
///   file, which is reported as not prepared;
/// - a module that cannot be found again, read or validated, or is not prepared (no name map
///   or no build identity): the notice "The translation resource was not properly prepared.
///   The application will run without a translation." and the executable's own resources;
/// - a module of the executable's build identity: the warning of WarnIfCodePageUnsupported
///   where it applies, and the module stays;
/// - a module of another build: it is freed and brought up to date from the executable,
///   then loaded again; when that fails with an Exception its message is the notice, and the
///   executable's own resources are used. Other exceptions pass on.
void StartupTranslationCheck();

/// Its start runs StartupTranslationCheck.
extern TUnit LumTrxSysInitUnit;
