#pragma once
// Writing resources into library files and reading the resources of loaded modules, for
// translation modules: resource updates through the system's wide calls (or, on systems
// without them, a library that has them), resource texts, enumeration, string tables, the
// list of form resources, copying every resource of one file into another, and making and
// remaking translation modules from the executable. Win32 only.

#include "lib/LumTrx/LumTrxResourceUtils.h"
#include "lib/LumTrx/LumTrxUtils.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumModuleResourcesWin.h"
#include "toolkit/res/LumResourceUpdateWin.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

/// One enumerated resource of a loaded module.
using TResData = TModuleResource;

/// Answers whether the system has the wide window functions (and so the wide update calls).
using TWideSystemQuery = bool (*)();
/// Replaces the query (tests stand in for a system without them); answers the one replaced.
TWideSystemQuery SetWideSystemQuery(TWideSystemQuery query);

/// The update calls of this system: the system's own where it has the wide functions, else
/// those of "lum_unicows.dll" from the system folder, loaded on first need and kept. Raises
/// ELumGeneralError "Translation resource editing is not available on this version of
/// Windows." when that library or one of its three calls is missing.
const TResourceUpdateCalls& ResourceUpdateCalls();

/// Begins an update of the file through ResourceUpdateCalls (nothing touches the file when
/// they are not available); with `deleteExisting` the file's resources are removed unless
/// written again. Then a plain zero-size form is shown and freed at once. A failed begin
/// raises EOSError.
std::unique_ptr<TLumResourceUpdate> BeginResourceUpdate(const std::u16string& fileName,
                                                        bool deleteExisting);

/// Writes the text as an RCDATA resource, language neutral: UTF-16LE without terminator.
/// A name that is not upper case raises (CheckResourceTextName); a failed update EOSError.
void SaveRcText(TLumResourceUpdate& update, std::u16string_view name, std::u16string_view text);

/// Appends every resource of the module, by type, name and language (EnumerateModuleResources).
void EnumerateResources(HMODULE module, std::vector<TResData>& list);

/// Whether the module has an RCDATA resource of that name.
bool HasResourceText(HMODULE module, std::u16string_view name);
/// The RCDATA resource of that name as text; empty when there is none.
std::u16string ReadResourceText(HMODULE module, std::u16string_view name);

/// Replaces the lists with the module's string tables, one list per RT_STRING resource in
/// enumeration order.
void ReadStringTables(HMODULE module, TStringBlockLists& blocks);
/// Writes each non-empty list as its RT_STRING block, language neutral, every string in the
/// slot of its own id and the other slots empty. Raises EOSError.
void WriteStringTables(TLumResourceUpdate& update, const TStringBlockLists& blocks);

/// Replaces the names with those of the module's form resources: RCDATA resources with a
/// text name whose data is a binary form stream (IsFormStreamStart), in enumeration order.
void ListFormResources(HMODULE module, std::vector<std::string>& names);

/// Makes the target's resources exactly the source's, plus the source's name map section
/// (LUM.RSM), when it has one, as the RCDATA resource text "LUM.RSM". The target's own
/// resources are all removed; a failure leaves the target as it was. Raises EOSError.
void CopyResources(const std::u16string& source, const std::u16string& target);

/// Makes the executable's translation module for the language (TranslationFileName): the
/// template library with every resource of the executable and its name map (CopyResources),
/// its format strings put into canonical form (CanonicalizeFormatStrings). Answers the
/// module's file name. Raises ELumInternalError "Internal Error: This translation already
/// exists (%s)." when a file of that name exists; a module that cannot be completed is removed
/// again.
std::u16string CreateTranslation(const std::u16string& exeFile, TLangId langId);

/// Gives every resource string of the module whose text is a format string with implicit
/// argument indexes its canonical form (%s %d becomes %0:s %1:d), so that a translator may
/// reorder the arguments; nothing is marked translated. Raises ELumGeneralError "Invalid
/// Format Specifier: %s" on a malformed specifier; the module is then left as it was.
void CanonicalizeFormatStrings(const std::u16string& exeFile, const std::u16string& moduleFile);

/// Brings the translations of the old module (first file) into a module just made from the
/// executable (second file), which is not yet in use.
using TCarryTranslations =
    std::function<void(const std::u16string& oldModule, const std::u16string& newModule)>;

/// The translations of an old module of the executable carried into a new one: every row of
/// the new module's table that the old one translated takes the old value (string rows in
/// canonical form) and comment and is marked translated; an untranslated string row takes the
/// old canonical form where it differs. The new module is saved without further marking; the
/// old one is only read.
void CarryTranslations(const std::u16string& exeFile, const std::u16string& oldModule,
                       const std::u16string& newModule);

/// Makes the module again from the executable while the flash message "Updating Translation
/// Resource (<module>)" is up: the new module is built beside the old one under the temporary
/// name <module>.tmp, `carry` brings the old translations into it, and only then does it
/// replace the old file, in one move written through to the disk. Any failure leaves the old
/// module as it was, removes the temporary file and passes the error on. Raises
/// EAssertionFailed when the module is not the executable's module for its own language.
void UpdateTranslation(const std::u16string& exeFile, const std::u16string& moduleFile,
                       const TCarryTranslations& carry);

/// UpdateTranslation carrying the old module's translations with CarryTranslations: what the
/// start-up check does with a module of another build.
void UpdateTranslation(const std::u16string& exeFile, const std::u16string& moduleFile);
