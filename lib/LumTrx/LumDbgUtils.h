#pragma once
// Sections of module files on disk: whether a file has a section, and a section's contents as
// text (the name map of a prepared program). Files are read whole and parsed with the
// bounds-checked PE reader, so a truncated or damaged file cannot lead a read astray.

#include "toolkit/base/LumStreams.h"
#include "toolkit/res/LumPeImage.h"

#include <optional>
#include <string>
#include <string_view>

/// A module file read into memory with its parsed headers.
class TLumPeFile {
  public:
    /// Reads the file whole. Raises EFOpenError "Cannot open file %s" when it cannot be read;
    /// a file that is not a 32-bit PE image gives a file without image (Image() is null).
    explicit TLumPeFile(const std::u16string& path);
    TLumPeFile(const TLumPeFile&) = delete;
    TLumPeFile& operator=(const TLumPeFile&) = delete;

    /// The parsed image, or null when the file is not one.
    const TPeImage* Image() const { return image_ ? &*image_ : nullptr; }

  private:
    TLumMemoryStream bytes_;
    std::optional<TPeImage> image_;
};

/// Whether the file is a 32-bit PE image with a section of that name. Any failure (no such
/// file, not a PE image, no such section) answers false; never raises.
bool FileHasSection(const std::u16string& file, std::string_view sectionName);

/// The section's contents as UTF-16LE text: min(virtual size, raw size) bytes from its raw
/// data, half as many characters. Empty when FileHasSection is false. A section that the file
/// ends inside raises ELumInternalError "%d bytes were requested.  %d bytes were returned."
std::u16string ReadSectionText(const std::u16string& file, std::string_view sectionName);
