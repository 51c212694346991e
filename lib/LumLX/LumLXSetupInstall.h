#pragma once
// Replacing a COM server library without ever losing the one that works: the new file is
// written beside the target under a name of its own and checked, swapped in while the old one
// is kept as a backup, and registered; when the new one cannot be registered the backup goes
// back in its place and is registered again.

#include <cstdint>
#include <span>
#include <string>

/// How TLibraryInstall::SwapIn ended.
enum class TSwapResult {
    srSwapped,   ///< the new file is in the target's place
    srScheduled, ///< the target is in use: the system replaces it at the next restart
};

/// One replacement of a library file, from writing the new file to its registration. Whatever
/// is left undone when the object goes (an exception on the way) is undone: the written file
/// is removed unless it went in the target's place or is due to, and a swapped-in library that
/// was never registered gives way to the backup again.
class TLibraryInstall {
  public:
    /// Writes `image` into a new file beside `target`, created new under a name of its own,
    /// flushes it and checks that it holds image.size() bytes and the image's file version.
    /// Raises EFCreateError "Cannot create file %s" or EWriteError "Cannot write file %s" with
    /// the path and, on a line of its own, the system's reason; EWriteError when the check
    /// fails. The written file is removed again on failure; the target is not touched.
    TLibraryInstall(std::u16string target, std::span<const std::uint8_t> image);
    ~TLibraryInstall();
    TLibraryInstall(const TLibraryInstall&) = delete;
    TLibraryInstall& operator=(const TLibraryInstall&) = delete;

    /// Puts the written file in the target's place. An existing target is first copied to a
    /// backup beside it (a read-only one loses the attribute; the backup keeps it). When another
    /// process holds the target, the replacement is scheduled for the next restart, with the
    /// library's registration at the next logon (regsvr32 through RunOnce), and the answer is
    /// srScheduled. A failure raises EFCreateError "Cannot create file %s" with the target and
    /// the system's reason (EWriteError "Cannot write file %s" when the backup cannot be
    /// written) and leaves the target as it was.
    TSwapResult SwapIn();

    /// Registers the swapped-in library (RegisterDll) and removes the backup. When that fails
    /// the backup goes back to the target's place and is registered again, and the exception
    /// goes on; only when that undo fails too does a line saying so end its message.
    void Register();

    const std::u16string& Target() const { return target_; }
    /// The written file's path while it is not in the target's place; empty afterwards.
    const std::u16string& NewFile() const { return newFile_; }
    /// The old library's copy while it is kept; empty when there is none.
    const std::u16string& Backup() const { return backup_; }

  private:
    void WriteNewFile(std::span<const std::uint8_t> image);
    void CheckNewFile(std::span<const std::uint8_t> image, std::uint64_t size) const;
    void WriteBackup();
    bool ScheduleReplacement();
    std::u16string RestoreBackup();
    void DropBackup() noexcept;

    std::u16string target_;
    std::u16string newFile_;
    std::u16string backup_;
    bool swapped_ = false;
};

/// The file version of a library image held in memory: the fixed file version of its version
/// resource (major in the top 16 bits); 0 when it has none or is no 32-bit PE image.
std::uint64_t ImageFileVersion(std::span<const std::uint8_t> image);
