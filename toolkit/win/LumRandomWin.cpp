// The cryptographic random source, loaded at run time: bcrypt.dll exists from Vista on, and
// linking either library would let the loader's search find a planted copy.
#include "toolkit/win/LumRandomWin.h"

#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/win/LumSystemWin.h"

#include <optional>

namespace {

// BCRYPT_USE_SYSTEM_PREFERRED_RNG: no algorithm handle needed (Vista SP2 and later).
constexpr ULONG kSystemPreferredRng = 0x00000002;

using BCryptGenRandomProc = LONG(WINAPI*)(void* algorithm, UCHAR* buffer, ULONG size, ULONG flags);
using RtlGenRandomProc = BOOLEAN(WINAPI*)(void* buffer, ULONG size);
using RtlNtStatusToDosErrorProc = ULONG(WINAPI*)(LONG status);

class TRandomApi {
  public:
    TRandomApi() : advapi_(LoadSystemLibrary(u"advapi32.dll")) {
        try {
            bcrypt_.emplace(LoadSystemLibrary(u"bcrypt.dll"));
            genRandom_ = bcrypt_->FindProc<BCryptGenRandomProc>("BCryptGenRandom");
        } catch (const EOSError&) {
            // Before Vista: RtlGenRandom alone.
        }
        rtlGenRandom_ = advapi_.FindProc<RtlGenRandomProc>("SystemFunction036");
    }

    void Fill(std::span<std::uint8_t> buffer) const {
        auto size = static_cast<ULONG>(buffer.size());
        LONG status = 0;
        if (genRandom_) {
            status = genRandom_(nullptr, buffer.data(), size, kSystemPreferredRng);
            if (status >= 0) {
                return;
            }
        }
        if (rtlGenRandom_ && rtlGenRandom_(buffer.data(), size)) {
            return;
        }
        RaiseOSError(status < 0 ? DosError(status) : ERROR_NOT_SUPPORTED);
    }

  private:
    // ntdll is in every process, so asking it by name loads nothing.
    static std::uint32_t DosError(LONG status) {
        auto toDos = ProcAddress<RtlNtStatusToDosErrorProc>(GetModuleHandleW(L"ntdll.dll"),
                                                            "RtlNtStatusToDosError");
        return toDos ? toDos(status) : ERROR_GEN_FAILURE;
    }

    TSystemLibrary advapi_;
    std::optional<TSystemLibrary> bcrypt_;
    BCryptGenRandomProc genRandom_ = nullptr;
    RtlGenRandomProc rtlGenRandom_ = nullptr;
};

// Kept for the rest of the process once loaded; a failed load is tried again next time.
const TRandomApi& RandomApi() {
    static const TRandomApi api;
    return api;
}

} // namespace

void SystemRandomBytes(std::span<std::uint8_t> buffer) {
    if (!buffer.empty()) {
        RandomApi().Fill(buffer);
    }
}
