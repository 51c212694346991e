// Prints what the machine has of CAPICOM: the registered server's path and its version.
// The main job's script runs it after Ostrin.exe to show the result.

#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumLX/LumLXVerUtils.h"
#include "toolkit/base/LumStrings.h"

#include <cstdio>

int main() {
    std::u16string path = GetProgIDServerPath(u"CAPICOM.EncryptedData");
    TVersionNumber version = GetCapicomVersion();
    if (path.empty()) {
        std::printf("CAPICOM.EncryptedData is not registered.\n");
        return 1;
    }
    std::printf("CAPICOM.EncryptedData is registered: %s\n", WideToUtf8(path).c_str());
    std::printf("Version of the registered library: %s\n",
                version ? WideToUtf8(VersionToStr(vfFull, version)).c_str() : "(no file there)");
    return version ? 0 : 1;
}
