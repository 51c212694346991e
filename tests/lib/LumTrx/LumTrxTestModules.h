#pragma once
// Translation modules made by tests, the way a translator's tool makes them: a small library
// whose resources are all replaced by a copy of an executable's resources, with the name map
// as a resource and, where a test asks, a caption of the main form changed or the build
// identity replaced. Failures raise std::runtime_error (the benchmark makes modules too).

#include "tests/support/LumTestFiles.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TTestModuleOptions {
    /// The caption of the main form in the module (form resource TOSTRINFORM), marked
    /// translated as a translator's tool marks it (LUM.XRS).
    std::optional<std::u16string> Caption;
    /// The text of LUM_TRX_GUID in place of the executable's; dropped when empty.
    std::optional<std::u16string> Identity;
    /// Whether RCDATA LUM.RSM holds the executable's name map.
    bool NameMap = true;
    /// Whether the executable's string tables are copied.
    bool Strings = true;

    TTestModuleOptions& WithCaption(std::u16string caption) {
        Caption = std::move(caption);
        return *this;
    }
    TTestModuleOptions& WithIdentity(std::u16string identity) {
        Identity = std::move(identity);
        return *this;
    }
    TTestModuleOptions& WithoutNameMap() {
        NameMap = false;
        return *this;
    }
    TTestModuleOptions& WithoutStrings() {
        Strings = false;
        return *this;
    }
};

/// The form text of the main form with its caption replaced.
std::string OstrinFormWithCaption(const std::string& formBinary, const std::u16string& caption);

/// Makes `module` from the stand-in library `container` and the resources of `exe`.
void MakeTestModule(const std::u16string& container, const std::u16string& exe,
                    const std::u16string& module, const TTestModuleOptions& options = {});

/// Replaces the caption of the main form in a module that has the form resource; the
/// module's other resources stay.
void SetModuleCaption(const std::u16string& module, const std::u16string& caption);

/// Replaces the build identity (LUM_TRX_GUID) of a module that has one, as a module made for
/// another build of the program has it; the module's other resources stay.
void SetModuleIdentity(const std::u16string& module, const std::u16string& identity);

/// The id of the resource string with that qualified identifier ("Module_SIdentifier") in the
/// name map of the program.
std::uint16_t ResourceStringId(const std::u16string& exe, std::string_view identifier);

/// The string of that id in a module's string tables; empty when there is none.
std::u16string ModuleString(const std::u16string& module, std::uint16_t id);

/// The text of a module's RCDATA resource (UTF-16LE, no terminator); empty when there is none.
std::u16string ModuleText(const std::u16string& module, std::u16string_view name);

/// Configures the translation extension of the program at that long path under the current
/// user's locales key; nothing removes the value.
void ConfigureTranslation(const std::u16string& exeLongPath, std::optional<std::u16string> ext);

/// Writes the bytes as the file's whole content.
void WriteTestBytes(const std::u16string& path, const std::vector<std::uint8_t>& bytes);
