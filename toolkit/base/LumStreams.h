#pragma once
// Streams: a byte sequence with a position. The memory stream is portable; the file stream has
// a Win32 implementation and a host one. The resource stream is in toolkit/res.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TLumStream {
  public:
    TLumStream() = default;
    TLumStream(const TLumStream&) = delete;
    TLumStream& operator=(const TLumStream&) = delete;
    virtual ~TLumStream();

    /// Reads up to `count` bytes at the position and moves past them; returns how many were
    /// read (fewer only at the end of the stream).
    virtual size_t Read(void* buffer, size_t count) = 0;
    /// Writes `count` bytes at the position and moves past them; returns how many were
    /// written.
    virtual size_t Write(const void* buffer, size_t count) = 0;
    /// Moves the position and returns the new one. A position before the start raises
    /// EStreamError "Stream seek error"; one past the end is allowed.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

    std::int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, soBeginning); }
    /// The number of bytes in the stream; the position is kept.
    virtual std::int64_t Size();
    /// Truncates or extends the stream (a new tail holds zero bytes); the position stays,
    /// unless it was past the new end. Streams that cannot change size raise EStreamError.
    virtual void SetSize(std::int64_t size) = 0;

    /// Reads exactly `count` bytes or raises EReadError "Stream read error".
    void ReadBuffer(void* buffer, size_t count);
    /// Writes exactly `count` bytes or raises EWriteError "Stream write error".
    void WriteBuffer(const void* buffer, size_t count);
    /// Copies `count` bytes from the source's position, or the whole source from its start
    /// when `count` is 0 (nothing when it is negative); returns the number copied. A short
    /// source raises EReadError.
    std::int64_t CopyFrom(TLumStream& source, std::int64_t count);
};

/// A stream over a block of memory that it does not manage itself: reading and seeking.
class TLumCustomMemoryStream : public TLumStream {
  public:
    size_t Read(void* buffer, size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(size_); }

    const std::uint8_t* Memory() const { return memory_; }
    /// Writes every byte to the destination at its position.
    void SaveToStream(TLumStream& destination) const;
    /// Creates (or truncates) the file, exclusively, and writes every byte in one write. A
    /// file that cannot be created raises EFCreateError "Cannot create file %s"; a short
    /// write raises EWriteError. The file is closed on every path; a partial file stays.
    void SaveToFile(const std::u16string& path) const;

  protected:
    void SetPointer(const std::uint8_t* memory, size_t size);
    size_t position_ = 0;

  private:
    const std::uint8_t* memory_ = nullptr;
    size_t size_ = 0;
};

/// A growable stream in memory.
class TLumMemoryStream : public TLumCustomMemoryStream {
  public:
    TLumMemoryStream() = default;
    /// A stream holding a copy of the bytes, positioned at the start.
    explicit TLumMemoryStream(std::string_view bytes);

    size_t Write(const void* buffer, size_t count) override;
    void SetSize(std::int64_t size) override;

    std::uint8_t* Memory() { return data_.data(); }
    using TLumCustomMemoryStream::Memory;
    /// The contents as a byte string.
    std::string Bytes() const;
    /// Empties the stream.
    void Clear();
    /// Replaces the contents by the whole source (from its start); the position becomes 0.
    void LoadFromStream(TLumStream& source);
    /// Replaces the contents by the file's bytes; a file that cannot be opened raises
    /// EFOpenError "Cannot open file %s".
    void LoadFromFile(const std::u16string& path);

  private:
    void Resize(size_t size);
    std::vector<std::uint8_t> data_;
};

enum TFileMode {
    /// Create or truncate; read and write access; no sharing.
    fmCreate,
    /// Open an existing file for reading; others may read it too.
    fmOpenRead,
    /// Open an existing file for writing; no sharing.
    fmOpenWrite,
    /// Open an existing file for reading and writing; no sharing.
    fmOpenReadWrite,
};

/// A stream over a file. Opening fails with EFCreateError "Cannot create file %s" (fmCreate)
/// or EFOpenError "Cannot open file %s" (the other modes), with the path. A failed read or
/// write of the system raises EReadError or EWriteError.
class TLumFileStream : public TLumStream {
  public:
    TLumFileStream(const std::u16string& path, TFileMode mode);
    ~TLumFileStream() override;

    size_t Read(void* buffer, size_t count) override;
    size_t Write(const void* buffer, size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    void SetSize(std::int64_t size) override;

    const std::u16string& FileName() const { return path_; }

  private:
    // The open file of the platform (handle or descriptor), released by its destructor.
    struct TPlatformFile;
    std::u16string path_;
    std::unique_ptr<TPlatformFile> file_;
};
