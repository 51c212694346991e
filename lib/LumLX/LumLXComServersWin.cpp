// The general utilities' COM servers: where a class or ProgID is registered, and the version
// of its file.
#include "lib/LumLX/LumLXUtilsSharedWin.h"

#include "lib/LumLX/LumLXRegistry.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/win/LumSystemWin.h"

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
    std::u16string path = UtilsShared::ReadPathValue(registry, u"");
    if (path.empty() || UtilsShared::IsFullPath(path)) {
        return path;
    }
    // A path that starts at the current drive's root or folder names a different file from
    // every current folder.
    if (path[0] == u'\\' || path[0] == u'/' || (path.size() >= 2 && path[1] == u':')) {
        return {};
    }
    // COM loads a server registered without a full path through the library search, which the
    // program keeps to the system folder: the file is there or nowhere, and never the one in
    // the current folder (often the download folder the program started from).
    std::u16string system = SystemFolder();
    return system.empty() ? std::u16string() : system + u"\\" + path;
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
