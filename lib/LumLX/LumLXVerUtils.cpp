#include "lib/LumLX/LumLXVerUtils.h"

#include "toolkit/base/LumFormat.h"

std::u16string VersionToStr(TVersionFormat format, TVersionNumber version) {
    unsigned major = (version >> 48) & 0xFFFF;
    unsigned minor = (version >> 32) & 0xFFFF;
    unsigned release = (version >> 16) & 0xFFFF;
    unsigned build = version & 0xFFFF;
    switch (format) {
    case vfRelease:
        return Format(u"%d.%d.%d", major, minor, release);
    case vfShortRelease:
        return Format(u"%d.%d r%d", major, minor, release);
    case vfMajorMinor:
        return Format(u"%d.%d", major, minor);
    case vfFull:
    default:
        return Format(u"%d.%d.%d.%d", major, minor, release, build);
    }
}
