// A library's replacement: written beside the target and checked, swapped in with a backup of
// the old file, registered, and the backup put back when the registration fails.
#include "lib/LumLX/LumLXSetupInstall.h"

#include "lib/LumLX/LumLXSetupUtils.h"
#include "lib/LumLX/LumLXUtils.h"
#include "lib/LumLX/LumLXVerUtils.h"
#include "rstr/LumLXSetupInstall.h"
#include "rstr/LumRtlConsts.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumScopeGuard.h"
#include "toolkit/base/LumWin.h"
#include "toolkit/res/LumPeImage.h"
#include "toolkit/win/LumSystemWin.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace {

// Names beside the target that this process tries in turn. The files are created new, so a
// name that is taken (a leftover of an earlier run, say) is skipped, never reused.
constexpr int kNameTries = 100;

std::u16string SiblingName(const std::u16string& target, int attempt, const char16_t* extension) {
    return Format(u"%s.%x-%d.%s", target, GetCurrentProcessId(), attempt, extension);
}

bool NameTaken(DWORD error) {
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
}

// The first line of a failure, then the system's reason for the code on a line of its own.
std::u16string WithReason(const std::u16string& text, DWORD error) {
    std::u16string reason = SysErrorMessage(error);
    return reason.empty() ? text : text + u"\r\n" + reason;
}

[[noreturn]] void RaiseCreateError(const std::u16string& path, DWORD error) {
    throw EFCreateError(
        WithReason(Format(LoadResString(LumRtlConsts::SFCreateError), path), error));
}

[[noreturn]] void RaiseWriteError(const std::u16string& path, DWORD error) {
    throw EWriteError(
        WithReason(Format(LoadResString(LumLXSetupInstall::SWriteFileError), path), error));
}

// How a replacement by name fails while another process holds the target: opened without
// sharing its deletion, or mapped as a running library (which the system answers with
// "access denied"; the read-only attribute, the other cause, is cleared before).
bool HeldByAnotherProcess(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION || error == ERROR_USER_MAPPED_FILE;
}

constexpr wchar_t kRunOnceKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// The 32-bit regsvr32, from the folder a 64-bit system keeps 32-bit programs in: started from
// a 64-bit logon, it then sees the system folder as this program sees it.
std::u16string RegServerProgram() {
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemWow64DirectoryW(folder, MAX_PATH);
    std::u16string path =
        length > 0 && length < MAX_PATH ? FromWinStr(folder, length) : SystemFolder();
    return path + u"\\regsvr32.exe";
}

// A library replaced at the restart is in place but not registered: regsvr32 registers it
// when an administrator logs on next.
void RegisterAtNextLogon(const std::u16string& library) {
    HKEY key = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, nullptr, 0, KEY_SET_VALUE,
                                     nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        RaiseOSError(static_cast<std::uint32_t>(status));
    }
    TScopedRegKey owner(key);
    std::u16string name = u"Register " + library.substr(library.rfind(u'\\') + 1);
    std::u16string command = u"\"" + RegServerProgram() + u"\" /s \"" + library + u"\"";
    status =
        RegSetValueExW(key, WinStr(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(WinStr(command)),
                       static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    if (status != ERROR_SUCCESS) {
        RaiseOSError(static_cast<std::uint32_t>(status));
    }
}

} // namespace

std::uint64_t ImageFileVersion(std::span<const std::uint8_t> image) {
    std::optional<TPeImage> pe = TPeImage::Parse(image);
    if (!pe) {
        return 0;
    }
    constexpr std::uint16_t kRtVersion = 16;
    for (const TPeResource& resource : pe->Resources()) {
        if (resource.Type == TResId(kRtVersion)) {
            std::span<const std::uint8_t> data = pe->ResourceData(resource);
            return VersionInfoFileVersion(std::vector<std::uint8_t>(data.begin(), data.end()));
        }
    }
    return 0;
}

TLibraryInstall::TLibraryInstall(std::u16string target, std::span<const std::uint8_t> image)
    : target_(std::move(target)) {
    WriteNewFile(image);
}

TLibraryInstall::~TLibraryInstall() {
    // Only undo is left here, and an undo that fails has nobody to tell: what it could not
    // remove stays beside the target under its own name.
    if (!newFile_.empty()) {
        DeleteFileW(WinStr(newFile_));
    }
    if (swapped_ && !backup_.empty()) {
        MoveFileExW(WinStr(backup_), WinStr(target_),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
}

void TLibraryInstall::WriteNewFile(std::span<const std::uint8_t> image) {
    TScopedFile file;
    DWORD error = ERROR_FILE_EXISTS;
    std::u16string path;
    for (int attempt = 0; attempt < kNameTries && NameTaken(error); ++attempt) {
        path = SiblingName(target_, attempt, u"new");
        file.Reset(CreateFileW(WinStr(path), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
        error = file ? ERROR_SUCCESS : GetLastError();
    }
    if (!file) {
        RaiseCreateError(path, error);
    }
    newFile_ = path;
    auto removeOnFailure = OnScopeFailure([this] {
        DeleteFileW(WinStr(newFile_));
        newFile_.clear();
    });
    LARGE_INTEGER size{};
    {
        TScopedFile open = std::move(file);
        // A full disk may take part of a write and refuse the rest only on the next call.
        const std::uint8_t* next = image.data();
        size_t left = image.size();
        while (left > 0) {
            DWORD part = static_cast<DWORD>(std::min<size_t>(left, 1u << 20));
            DWORD written = 0;
            if (!WriteFile(open.Get(), next, part, &written, nullptr) || written == 0) {
                DWORD reason = GetLastError();
                RaiseWriteError(newFile_, reason != ERROR_SUCCESS ? reason : ERROR_WRITE_FAULT);
            }
            next += written;
            left -= written;
        }
        if (!FlushFileBuffers(open.Get())) {
            RaiseWriteError(newFile_, GetLastError());
        }
        if (!GetFileSizeEx(open.Get(), &size)) {
            RaiseWriteError(newFile_, GetLastError());
        }
    }
    // Closed first: the version is read through the file's name.
    CheckNewFile(image, static_cast<std::uint64_t>(size.QuadPart));
}

void TLibraryInstall::CheckNewFile(std::span<const std::uint8_t> image, std::uint64_t size) const {
    if (size != image.size()) {
        throw EWriteError(Format(LoadResString(LumLXSetupInstall::SSizeMismatch), newFile_, size,
                                 static_cast<std::uint64_t>(image.size())));
    }
    std::uint64_t expected = ImageFileVersion(image);
    std::uint64_t written = VersionInfoFileVersion(FileVersionInfo(newFile_));
    if (written != expected) {
        throw EWriteError(Format(LoadResString(LumLXSetupInstall::SVersionMismatch), newFile_,
                                 VersionToStr(vfFull, written), VersionToStr(vfFull, expected)));
    }
}

void TLibraryInstall::WriteBackup() {
    DWORD error = ERROR_FILE_EXISTS;
    std::u16string path;
    for (int attempt = 0; attempt < kNameTries && NameTaken(error); ++attempt) {
        path = SiblingName(target_, attempt, u"bak");
        // Fails rather than replaces when the name is taken.
        error = CopyFileW(WinStr(target_), WinStr(path), TRUE) ? ERROR_SUCCESS : GetLastError();
    }
    if (error != ERROR_SUCCESS) {
        RaiseWriteError(path, error);
    }
    backup_ = path;
}

TSwapResult TLibraryInstall::SwapIn() {
    DWORD attributes = GetFileAttributesW(WinStr(target_));
    bool replacing =
        attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    DWORD flags = MOVEFILE_WRITE_THROUGH;
    if (replacing) {
        WriteBackup();
        flags |= MOVEFILE_REPLACE_EXISTING;
    }
    auto dropBackupOnFailure = OnScopeFailure([this] { DropBackup(); });
    if (replacing && (attributes & FILE_ATTRIBUTE_READONLY)) {
        ClearReadOnly(target_);
    }
    if (MoveFileExW(WinStr(newFile_), WinStr(target_), flags)) {
        newFile_.clear();
        swapped_ = true;
        return TSwapResult::srSwapped;
    }
    DWORD error = GetLastError();
    if (replacing && HeldByAnotherProcess(error) && ScheduleReplacement()) {
        DropBackup();
        return TSwapResult::srScheduled;
    }
    if (replacing && (attributes & FILE_ATTRIBUTE_READONLY)) {
        SetFileAttributesW(WinStr(target_), attributes);
    }
    RaiseCreateError(target_, error);
}

bool TLibraryInstall::ScheduleReplacement() {
    if (!MoveFileExW(WinStr(newFile_), WinStr(target_),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) {
        return false;
    }
    // The file now belongs to the replacement at the restart.
    newFile_.clear();
    RegisterAtNextLogon(target_);
    return true;
}

void TLibraryInstall::Register() {
    try {
        RegisterDll(target_);
    } catch (Exception& error) {
        if (!backup_.empty()) {
            error.SetMessage(error.Message() + RestoreBackup());
        }
        throw;
    }
    DropBackup();
}

std::u16string TLibraryInstall::RestoreBackup() {
    // The library that failed was loaded for its registration and freed again: nothing holds
    // it, so the old file's copy can take its name.
    if (!MoveFileExW(WinStr(backup_), WinStr(target_),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        // Kept where the message says, not moved again on the way out.
        swapped_ = false;
        return u"\r\n" + Format(LoadResString(LumLXSetupInstall::SBackupKept), backup_);
    }
    backup_.clear();
    swapped_ = false;
    try {
        RegisterDll(target_);
    } catch (const Exception&) {
        return u"\r\n" + LoadResString(LumLXSetupInstall::SNotRegisteredAgain);
    }
    return {};
}

void TLibraryInstall::DropBackup() noexcept {
    if (backup_.empty()) {
        return;
    }
    // The copy keeps a read-only attribute of the old file.
    SetFileAttributesW(WinStr(backup_), FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileW(WinStr(backup_))) {
        MoveFileExW(WinStr(backup_), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    backup_.clear();
}
