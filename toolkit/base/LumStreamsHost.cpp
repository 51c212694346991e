// Host build: files through POSIX descriptors, paths in UTF-8. Sharing modes have no
// equivalent here and are not enforced.
#include "toolkit/base/LumStreams.h"

#include "rstr/LumRtlConsts.h"
#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumFormat.h"
#include "toolkit/base/LumResStrings.h"
#include "toolkit/base/LumStrings.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

struct TLumFileStream::TPlatformFile {
    explicit TPlatformFile(int fd) : descriptor(fd) {}
    TPlatformFile(const TPlatformFile&) = delete;
    TPlatformFile& operator=(const TPlatformFile&) = delete;
    ~TPlatformFile() { close(descriptor); }
    int descriptor;
};

namespace {

int OpenFlags(TFileMode mode) {
    switch (mode) {
    case fmCreate:
        return O_RDWR | O_CREAT | O_TRUNC;
    case fmOpenRead:
        return O_RDONLY;
    case fmOpenWrite:
        return O_WRONLY;
    case fmOpenReadWrite:
        break;
    }
    return O_RDWR;
}

bool IsFolder(int fd) {
    struct stat info {};
    return fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

TLumFileStream::TLumFileStream(const std::u16string& path, TFileMode mode) : path_(path) {
    int fd = open(WideToUtf8(path).c_str(), OpenFlags(mode) | O_CLOEXEC, 0644);
    // A folder opens for reading here, but it is no file to stream.
    if (fd >= 0 && IsFolder(fd)) {
        close(fd);
        fd = -1;
    }
    if (fd < 0) {
        if (mode == fmCreate) {
            throw EFCreateError(Format(LoadResString(LumRtlConsts::SFCreateError), path));
        }
        throw EFOpenError(Format(LoadResString(LumRtlConsts::SFOpenError), path));
    }
    file_ = std::make_unique<TPlatformFile>(fd);
}

TLumFileStream::~TLumFileStream() = default;

size_t TLumFileStream::Read(void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t part = read(file_->descriptor, static_cast<char*>(buffer) + done, count - done);
        if (part < 0 && errno == EINTR) {
            continue;
        }
        if (part < 0) {
            throw EReadError(LoadResString(LumRtlConsts::SReadError));
        }
        if (part == 0) {
            break;
        }
        done += static_cast<size_t>(part);
    }
    return done;
}

size_t TLumFileStream::Write(const void* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t part =
            write(file_->descriptor, static_cast<const char*>(buffer) + done, count - done);
        if (part < 0 && errno == EINTR) {
            continue;
        }
        if (part <= 0) {
            throw EWriteError(LoadResString(LumRtlConsts::SWriteError));
        }
        done += static_cast<size_t>(part);
    }
    return done;
}

std::int64_t TLumFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    off_t position = lseek(file_->descriptor, static_cast<off_t>(offset), kWhence[origin]);
    if (position < 0) {
        throw EStreamError(LoadResString(LumRtlConsts::SSeekError));
    }
    return position;
}

void TLumFileStream::SetSize(std::int64_t size) {
    if (size < 0 || ftruncate(file_->descriptor, static_cast<off_t>(size)) != 0) {
        throw EStreamError(LoadResString(LumRtlConsts::SInvalidStreamSize));
    }
    Seek(std::min(Position(), size), soBeginning);
}
