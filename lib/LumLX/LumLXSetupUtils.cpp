#include "lib/LumLX/LumLXSetupUtils.h"

#include "rstr/LumLXSetupUtils.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/win/LumSystemWin.h"

#include <ole2.h>

namespace {

// COM and OLE for this thread while the object lives: many servers create objects or load
// type libraries while they register. A thread whose COM runs in another apartment keeps it.
class TOleInitialization {
  public:
    TOleInitialization() {
        HRESULT result = OleInitialize(nullptr);
        if (result != RPC_E_CHANGED_MODE) {
            OleCheck(result);
            initialized_ = true;
        }
    }
    ~TOleInitialization() {
        if (initialized_) {
            OleUninitialize();
        }
    }
    TOleInitialization(const TOleInitialization&) = delete;
    TOleInitialization& operator=(const TOleInitialization&) = delete;

  private:
    bool initialized_ = false;
};

} // namespace

void RegisterDll(const std::u16string& path) {
    TOleInitialization ole;
    // By full path, its own dependencies from its own folder and the system folder only: the
    // program runs elevated, often from a download folder where a planted library could wait.
    TScopedLibrary library = LoadLibraryByFullPath(path);
    auto entry = ProcAddress<HRESULT(STDAPICALLTYPE*)()>(library.Get(), "DllRegisterServer");
    if (!entry) {
        RaiseLastOSError();
    }
    try {
        OleCheck(entry());
    } catch (Exception& error) {
        error.SetMessage(error.Message() + u"\r\n\r\n" +
                         Format(LoadResString(LumLXSetupUtils::SRegisterError), path));
        throw;
    }
}
