// The general utilities' COM servers: where a class or ProgID is registered, and the version
// of its file.
#include "lib/LumLX/LumLXUtilsSharedWin.h"

#include "lib/LumLX/LumLXRegistry.h"
#include "toolkit/base/LumFormat.h"

#include <objbase.h>

namespace {

std::u16string ClassIdText(const GUID& id) {
    return Format(u"{%.8x-%.4x-%.4x-%.2x%.2x-%.2x%.2x%.2x%.2x%.2x%.2x}", id.Data1, id.Data2,
                  id.Data3, id.Data4[0], id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4],
                  id.Data4[5], id.Data4[6], id.Data4[7]);
}

} // namespace

std::u16string GetInprocServerPath(const GUID& classId) {
    TLumRegistryLX registry(KEY_READ);
    registry.SetRootKey(HKEY_CLASSES_ROOT);
    if (!registry.OpenKeyReadOnly(u"CLSID\\" + ClassIdText(classId) + u"\\InprocServer32")) {
        return {};
    }
    return registry.ReadString(u"");
}

std::u16string GetProgIDServerPath(const std::u16string& progId) {
    CLSID classId;
    if (FAILED(CLSIDFromProgID(WinStr(progId), &classId))) {
        return {};
    }
    return GetInprocServerPath(classId);
}

TVersionNumber GetProgIDVersion(const std::u16string& progId) {
    std::u16string path = GetProgIDServerPath(progId);
    return path.empty() ? 0 : UtilsShared::ExistingFileVersion(path);
}
