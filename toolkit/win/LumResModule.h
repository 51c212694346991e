#pragma once
// The runtime's module records: for each module, the module its resources are taken from (its
// resource instance). That is the module itself until a translation module is installed.

#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumUnits.h"
#include "toolkit/base/LumWin.h"

#include <memory>
#include <string>
#include <string_view>

class TPeImage;

/// The executable's own instance handle.
HINSTANCE MainInstance();

/// The resource instance of the module; the module itself when nothing else was set.
HINSTANCE FindResourceHInstance(HINSTANCE instance);

/// Makes `resource` the resource instance of `instance`. The previous resource module is not
/// freed here; whoever installs a translation module decides that.
void SetResourceHInstance(HINSTANCE instance, HINSTANCE resource);

/// Makes `module` the executable's resource module. A translation module installed before is
/// freed (the executable itself never is), so that its file can be replaced; from then on
/// forms and resource strings come from `module`.
void InstallResourceModule(HINSTANCE module);

/// The module file's name with its extension replaced by "." and `ext`: the name is cut after
/// the last ".", "\" or ":" only when that last delimiter is a ".", then the extension follows.
std::u16string ResourceModuleFileName(std::u16string_view moduleFile, std::u16string_view ext);

/// The translation extension configured for the executable: the first of the keys
/// "Software\LumRuntime\Locales" (current user, then local machine) and
/// "Software\LumRuntime\Toolkit\Locales" (current user) that can be opened for reading, its
/// string value named by the executable's long path, else its default value. Empty when none
/// is configured or the value is not a string; never raises.
std::u16string ConfiguredResourceExtension(const std::u16string& exeLongPath);

/// The three-letter language abbreviation of the thread's locale (DEU, ENU, ...).
std::u16string ThreadLocaleAbbreviation();

/// The path with every element in its long form; the path unchanged when the system cannot
/// expand it (an element does not exist).
std::u16string LongPathName(const std::u16string& path);

/// The translation module that belongs to the module file: of the candidates with the
/// configured extension (when there is one), the thread locale's three-letter abbreviation and
/// its first two letters, the first file that exists, is no folder and loads as a data module
/// (with `mustLoad` false: the first that exists and is no folder). Empty when there is none.
std::u16string FindResourceModuleFile(const std::u16string& moduleFile, bool mustLoad = true);

/// A module file mapped for reading, with its headers parsed by the bounds-checked PE reader:
/// only the pages a check reads are read from the disk.
class TLumModuleFile {
  public:
    /// Maps the file. Raises EFOpenError "Cannot open file %s" when it cannot be opened; a
    /// file that is empty or not a 32-bit PE image gives a file without image.
    explicit TLumModuleFile(const std::u16string& path);
    TLumModuleFile(const TLumModuleFile&) = delete;
    TLumModuleFile& operator=(const TLumModuleFile&) = delete;
    ~TLumModuleFile();

    /// The parsed image, or null when the file is not one.
    const TPeImage* Image() const { return image_.get(); }

  private:
    TScopedFile file_;
    TScopedKernelHandle mapping_;
    const void* view_ = nullptr;
    std::unique_ptr<TPeImage> image_;
};

/// Whether the image lies whole within its bytes: every section's data, the resource
/// directory and every resource's data (a file cut short is not). Never raises.
bool IsSoundImage(const TPeImage& image);

/// Whether the file is a PE image that IsSoundImage accepts, read whole with the bounds-checked
/// reader: only such a file is mapped as a resource module. Never raises.
bool IsSoundResourceModule(const std::u16string& path);

/// The translation module file that the runtime found at its start but did not take, because
/// it is not sound (IsSoundResourceModule) or does not load; empty when it took one or found
/// none.
const std::u16string& RefusedResourceModule();

/// The string from the executable's resource module's string tables; raises EResNotFound
/// "Resource %s not found" with the id when that module lacks it.
std::u16string LoadModuleResString(const TResStringRec& rec);

/// Its start chooses the executable's resource module: the first candidate file that exists
/// (FindResourceModuleFile), loaded as a data module, when it is sound and loads; the
/// executable itself otherwise, and a candidate that is refused is kept as
/// RefusedResourceModule, so that the translation check can report it. Then it makes LoadResString
/// read through LoadModuleResString. Its last stop puts the previous loader back, frees a
/// translation module that is still installed for the executable and forgets all records.
extern TUnit LumResModuleUnit;
