#include "lib/LumTrx/LumDbgUtils.h"

#include "rstr/LumDbgUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/win/LumResModule.h"

#include <algorithm>
#include <memory>

namespace {

// The file, or null when it cannot be opened.
std::unique_ptr<TLumModuleFile> ReadPeFile(const std::u16string& file) {
    try {
        return std::make_unique<TLumModuleFile>(file);
    } catch (const std::exception&) {
        return nullptr;
    }
}

const TPeSection* FindFileSection(const TLumModuleFile* pe, std::string_view sectionName) {
    return pe && pe->Image() ? pe->Image()->FindSection(sectionName) : nullptr;
}

} // namespace

bool FileHasSection(const std::u16string& file, std::string_view sectionName) {
    return FindFileSection(ReadPeFile(file).get(), sectionName) != nullptr;
}

std::u16string ReadSectionText(const std::u16string& file, std::string_view sectionName) {
    std::unique_ptr<TLumModuleFile> pe = ReadPeFile(file);
    const TPeSection* section = FindFileSection(pe.get(), sectionName);
    if (!section) {
        return {};
    }
    std::span<const std::uint8_t> data = pe->Image()->SectionData(*section);
    std::uint32_t requested = std::min(section->VirtualSize, section->SizeOfRawData);
    if (data.size() < requested) {
        throw ELumInternalError(Format(LoadResString(LumDbgUtils::SSectionShort),
                                       static_cast<int>(requested), static_cast<int>(data.size())));
    }
    std::u16string text(data.size() / 2, u'\0');
    for (size_t i = 0; i < text.size(); ++i) {
        text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    }
    return text;
}
