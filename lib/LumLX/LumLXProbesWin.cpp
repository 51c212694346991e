// The general utilities' component probes: the installed versions of shared libraries and
// COM servers, found the way the system would find them, and the kernel's version.
#include "lib/LumLX/LumLXUtils.h"

#include "lib/LumLX/LumLXUtilsSharedWin.h"
#include "toolkit/win/LumSystemWin.h"

#include <cstdint>
#include <vector>

namespace {

TVersionNumber LibraryVersion(const std::u16string& moduleName) {
    std::u16string path = GetModulePath(moduleName);
    return path.empty() ? 0 : GetFileVersion(path);
}

TVersionNumber FirstProgIDVersion(const std::u16string& progId, const std::u16string& fallback) {
    TVersionNumber version = GetProgIDVersion(progId);
    return version != 0 ? version : GetProgIDVersion(fallback);
}

// The version of the library the system's search finds for the module, and the named string
// of its version information; 0 and an empty text when there is no such library.
TVersionNumber LibraryVersion(const std::u16string& moduleName, std::u16string_view stringName,
                              std::u16string& text) {
    text.clear();
    std::u16string path = GetModulePath(moduleName);
    if (path.empty()) {
        return 0;
    }
    std::vector<std::uint8_t> block = ReadVersionInfo(path);
    text = VersionInfoString(block, stringName);
    return VersionInfoFileVersion(block);
}

TVersionNumber CrystalFileVersion(std::u16string_view fileName) {
    return UtilsShared::ExistingFileVersion(GetWindowsDir() + u"\\Crystal\\" +
                                            std::u16string(fileName));
}

} // namespace

// ---- Component probes ----

TVersionNumber GetWinInetVersion() {
    return LibraryVersion(u"wininet");
}

TVersionNumber GetMapiVersion() {
    return LibraryVersion(u"mapi32");
}

std::u16string GetMapiCompanyName() {
    std::u16string companyName;
    LibraryVersion(u"mapi32", u"CompanyName", companyName);
    return companyName;
}

TVersionNumber GetCapicomVersion() {
    return GetProgIDVersion(u"CAPICOM.EncryptedData");
}

TVersionNumber GetMdacVersion() {
    return FirstProgIDVersion(u"RowPosition.RowPosition", u"RowPosition.RowPosition.1");
}

TVersionNumber GetJetVersion() {
    return GetProgIDVersion(u"Microsoft.Jet.OLEDB.4.0");
}

TVersionNumber GetDaoVersion() {
    return FirstProgIDVersion(u"DAO.TableDef.36", u"DAO.TableDef");
}

TVersionNumber GetSqlDmoVersion() {
    return FirstProgIDVersion(u"SQLDMO.Application.7.0", u"SQLDMO.Application");
}

TVersionNumber GetCrystalVersion() {
    return LibraryVersion(u"Crpe32");
}

TVersionNumber GetCrystalOleDbVersion() {
    return CrystalFileVersion(u"p2soledb.dll");
}

TVersionNumber GetCrystalUflVersion() {
    return CrystalFileVersion(u"u2lcom.dll");
}

TVersionNumber GetCrystalXlsVersion() {
    return CrystalFileVersion(u"U2FXLS.DLL");
}

TVersionNumber GetRpaWInetVersion(std::u16string& companyName) {
    return LibraryVersion(u"Rpawinet", u"CompanyName", companyName);
}

// ---- Operating system descriptions ----

TVersionNumber GetKernelVersion(std::u16string& productName) {
    return LibraryVersion(u"kernel32", u"ProductName", productName);
}
