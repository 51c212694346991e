#pragma once
// Sections of module files on disk: whether a file has a section, and a section's contents as
// text (the name map of a prepared program). Files are parsed with the bounds-checked PE
// reader, so a truncated or damaged file cannot lead a read astray.

#include <string>
#include <string_view>

/// Whether the file is a 32-bit PE image with a section of that name. Any failure (no such
/// file, not a PE image, no such section) answers false; never raises.
bool FileHasSection(const std::u16string& file, std::string_view sectionName);

/// The section's contents as UTF-16LE text: min(virtual size, raw size) bytes from its raw
/// data, half as many characters. Empty when FileHasSection is false. A section that the file
/// ends inside raises ELumInternalError "%d bytes were requested.  %d bytes were returned."
std::u16string ReadSectionText(const std::u16string& file, std::string_view sectionName);
