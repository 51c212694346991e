#include "errors/LumSysFaults.h"

#include "rstr/LumSysFaults.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"

namespace {

const void* AsPointer(std::uint32_t address) {
    return reinterpret_cast<const void*>(static_cast<std::uintptr_t>(address));
}

std::u16string AccessText(std::uint32_t access) {
    switch (access) {
    case 1:
        return LoadResString(LumSysFaults::SWriteAccess);
    case 8:
        return LoadResString(LumSysFaults::SExecuteAccess);
    default:
        return LoadResString(LumSysFaults::SReadAccess);
    }
}

} // namespace

bool IsMappedFault(std::uint32_t code) {
    switch (code) {
    case kFaultAccessViolation:
    case kFaultIllegalInstruction:
    case kFaultIntDivideByZero:
    case kFaultIntOverflow:
    case kFaultPrivilegedInstruction:
    case kFaultStackOverflow:
        return true;
    default:
        return false;
    }
}

void RaiseProcessorFault(const TProcessorFault& fault) {
    std::uint32_t code = fault.Code;
    std::uint32_t at = fault.Address;
    switch (code) {
    case kFaultAccessViolation:
        if (fault.ModuleName.empty()) {
            throw EAccessViolation(Format(LoadResString(LumSysFaults::SAccessViolationNoModule),
                                          AsPointer(at), AccessText(fault.Access),
                                          AsPointer(fault.Target)),
                                   code, at);
        }
        throw EAccessViolation(Format(LoadResString(LumSysFaults::SAccessViolation), AsPointer(at),
                                      fault.ModuleName, AccessText(fault.Access),
                                      AsPointer(fault.Target)),
                               code, at);
    case kFaultIntDivideByZero:
        throw EDivByZero(LoadResString(LumSysFaults::SDivByZero), code, at);
    case kFaultIntOverflow:
        throw EIntOverflow(LoadResString(LumSysFaults::SIntOverflow), code, at);
    case kFaultStackOverflow:
        throw EStackOverflow(LoadResString(LumSysFaults::SStackOverflow), code, at);
    case kFaultPrivilegedInstruction:
        throw EPrivilege(LoadResString(LumSysFaults::SPrivilege), code, at);
    default:
        throw EExternalException(Format(LoadResString(LumSysFaults::SExternalException), code),
                                 code, at);
    }
}
