#pragma once
// Form resources of a module as form text models, and the models written back as form
// resources. Win32 only.

#include "lib/LumTrx/LumTrxFrmUtils.h"
#include "toolkit/base/LumWin.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TLumResourceUpdate;

using TFrmFormList = std::vector<std::unique_ptr<TFrmForm>>;
using TFrmPropertyList = std::vector<TFrmProperty*>;

/// Parses the form text into the empty form (TFrmForm::Parse) and checks that it renders back
/// byte for byte. When it does not, the text and the rendering are written (ANSI, CR LF) to
/// "c:\Lum_Original_Form.txt" and "c:\Lum_Rendered_Form.txt", or, when that folder cannot be
/// written, under the same names in the temporary folder, and ELumInternalError "Internal
/// Error: Form text did not render correctly.  See the files: " with the two files is raised;
/// a failure to write them does not hide that error. The properties are appended to the list
/// only when the form loads.
void LoadFormFromText(TFrmForm& form, std::string_view text, TFrmPropertyList* properties);

/// Loads the module's form resource (RCDATA `name`) as form text into the empty form
/// (LoadFormFromText). A missing resource raises EResNotFound; a corrupt one EReadError.
void LoadFormFromResource(TFrmForm& form, HMODULE module, std::u16string_view name,
                          TFrmPropertyList* properties);

/// Replaces the lists with every form resource of the module (ListFormResources), loaded in
/// enumeration order, and every property of them; shows "Reading Translation Info for " and
/// the file name in a flash message meanwhile. A form that does not load raises, and the lists
/// then hold the forms loaded before it.
void ReadTranslationInfo(HMODULE module, const std::u16string& fileName, TFrmFormList& forms,
                         TFrmPropertyList& properties);

/// Writes each form, rendered and converted to a binary form stream, as RCDATA resource "T"
/// and its root's Name in upper case, language neutral. Raises EOSError.
void WriteForms(TLumResourceUpdate& update, const TFrmFormList& forms);
