#include "lib/LumLX/LumLXChecks.h"

#include "rstr/LumLXUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/win/LumSystemWin.h"

void CheckFileExists(const std::u16string& path) {
    if (!FileExists(path)) {
        throw Exception(LoadResString(LumLXUtils::SFileDoesNotExist) + path);
    }
}
