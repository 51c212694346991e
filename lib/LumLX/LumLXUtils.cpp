#include "lib/LumLX/LumLXUtils.h"

#include "toolkit/LumFormat.h"

std::u16string PlatformName(std::uint32_t platformId) {
    switch (platformId) {
    case 0:
        return u"Win32s";
    case 1:
        return u"Win9x";
    case 2:
        return u"NT";
    default:
        return Format(u"%u", platformId);
    }
}

std::u16string OSVersionText(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                             std::uint32_t build, std::u16string_view servicePack) {
    return Format(u"%s %d.%d (Build %d) %s", PlatformName(platformId), major, minor, build,
                  servicePack);
}

std::u16string CodePageIsoName(std::uint32_t codePage) {
    switch (codePage) {
    case 1250:
        return u"ISO 8859-2,  Latin 2 (Central Europe)";
    case 1251:
        return u"ISO 8859-5,  Cyrillic (Slavic)";
    case 1252:
        return u"ISO 8859-1,  Latin 1 (ANSI)";
    case 1253:
        return u"ISO 8859-7,  Greek";
    case 1254:
        return u"ISO 8859-9,  Latin 5 (Turkish)";
    case 1255:
        return u"ISO 8859-8,  Hebrew";
    case 1256:
        return u"ISO 8859-6,  Arabic";
    case 1257:
        return u"ISO 8859-4,  Scandinavia and Baltic Rim";
    default:
        return u"(Unknown ISO equivalent)";
    }
}

std::u16string_view OfficeAppName(TOfficeApps app) {
    switch (app) {
    case oaExcel:
        return u"Excel";
    case oaOutlook:
        return u"Outlook";
    case oaAccess:
        return u"Access";
    case oaWord:
    default:
        return u"Word";
    }
}
