#pragma once
// Changing the resources of a PE file on disk through the system's update calls
// (BeginUpdateResourceW, UpdateResourceW, EndUpdateResourceW), as one object: the update
// begins when it is made, Commit ends it writing the changes, and an update that is never
// committed is ended discarding them, so that a failure half way leaves the file as it was.
// Win32 only.

#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumResId.h"

#include <cstdint>
#include <span>
#include <string>

/// The three update calls, for systems where they come from a library of their own rather than
/// from the system.
struct TResourceUpdateCalls {
    HANDLE(WINAPI* Begin)(LPCWSTR fileName, BOOL deleteExisting);
    BOOL(WINAPI* Update)
    (HANDLE update, LPCWSTR type, LPCWSTR name, WORD language, LPVOID data, DWORD size);
    BOOL(WINAPI* End)(HANDLE update, BOOL discard);
};

/// The system's own update calls.
const TResourceUpdateCalls& SystemResourceUpdateCalls();

class TLumResourceUpdate {
  public:
    /// Begins an update of the file through `calls`, which must outlive the update; with
    /// `deleteExisting` the file's resources are all removed unless put back. A failure raises
    /// EOSError.
    explicit TLumResourceUpdate(const std::u16string& fileName, bool deleteExisting = false,
                                const TResourceUpdateCalls& calls = SystemResourceUpdateCalls());
    TLumResourceUpdate(const TLumResourceUpdate&) = delete;
    TLumResourceUpdate& operator=(const TLumResourceUpdate&) = delete;
    /// Ends an uncommitted update discarding its changes; the file stays as it was.
    ~TLumResourceUpdate();

    /// Adds or replaces the resource of that type, name and language. Raises EOSError.
    void Update(const TResId& type, const TResId& name, std::uint16_t language,
                std::span<const std::uint8_t> data);
    /// Deletes the resource of that type, name and language. Raises EOSError.
    void Delete(const TResId& type, const TResId& name, std::uint16_t language);

    /// Ends the update writing the changes to the file. Raises EOSError; after a failure, and
    /// after success, the update is over and the destructor does nothing.
    void Commit();

    bool Active() const { return handle_ != nullptr; }

  private:
    const TResourceUpdateCalls& calls_;
    void* handle_ = nullptr;
};
