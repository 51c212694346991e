// Files through the wide Win32 API.
#include "toolkit/base/LumStreams.h"

#include "rstr/LumRtlConsts.h"
#include "rstr/LumSysConst.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumHandle.h"
#include "toolkit/base/LumOSErrors.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStrings.h"

#include <algorithm>
#include <string>

struct TLumFileStream::TPlatformFile {
    TScopedFile handle;
};

namespace {

struct TOpenMode {
    DWORD access;
    DWORD share;
    DWORD disposition;
};

TOpenMode OpenMode(TFileMode mode) {
    switch (mode) {
    case fmCreate:
        return {GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS};
    case fmOpenRead:
        return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING};
    case fmOpenWrite:
        return {GENERIC_WRITE, 0, OPEN_EXISTING};
    case fmOpenReadWrite:
        break;
    }
    return {GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING};
}

} // namespace

TLumFileStream::TLumFileStream(const std::u16string& path, TFileMode mode)
    : path_(path), file_(std::make_unique<TPlatformFile>()) {
    TOpenMode open = OpenMode(mode);
    file_->handle.Reset(CreateFileW(WinStr(path), open.access, open.share, nullptr,
                                    open.disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_->handle) {
        // The texts name the path only; the system's reason is not part of them.
        if (mode == fmCreate) {
            throw EFCreateError(Format(LoadResString(LumRtlConsts::SFCreateError), path));
        }
        throw EFOpenError(Format(LoadResString(LumRtlConsts::SFOpenError), path));
    }
}

TLumFileStream::~TLumFileStream() = default;

size_t TLumFileStream::Read(void* buffer, size_t count) {
    DWORD done = 0;
    // size_t is 32 bits on the target, so the count fits a DWORD.
    if (!ReadFile(file_->handle.Get(), buffer, static_cast<DWORD>(count), &done, nullptr)) {
        throw EReadError(LoadResString(LumRtlConsts::SReadError));
    }
    return done;
}

size_t TLumFileStream::Write(const void* buffer, size_t count) {
    DWORD done = 0;
    if (!WriteFile(file_->handle.Get(), buffer, static_cast<DWORD>(count), &done, nullptr)) {
        throw EWriteError(LoadResString(LumRtlConsts::SWriteError));
    }
    return done;
}

std::int64_t TLumFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    static constexpr DWORD kMethod[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    if (!SetFilePointerEx(file_->handle.Get(), distance, &position, kMethod[origin])) {
        throw EStreamError(LoadResString(LumRtlConsts::SSeekError));
    }
    return position.QuadPart;
}

void TLumFileStream::SetSize(std::int64_t size) {
    if (size < 0) {
        throw EStreamError(LoadResString(LumRtlConsts::SInvalidStreamSize));
    }
    std::int64_t position = Position();
    Seek(size, soBeginning);
    Win32Check(SetEndOfFile(file_->handle.Get()));
    Seek(std::min(position, size), soBeginning);
}
