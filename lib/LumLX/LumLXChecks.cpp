#include "lib/LumLX/LumLXChecks.h"

#include "rstr/LumLXUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"

void Check(bool condition, const std::u16string& message) {
    if (!condition) {
        throw Exception(message);
    }
}

void CheckAssigned(const void* object, std::u16string_view name) {
    if (!object) {
        throw ELumInternalError(Format(LoadResString(LumLXUtils::SNotAssigned), name));
    }
}
