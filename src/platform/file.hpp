// Files as owned resources: every open file is a File, closed when it goes out of scope.
//
// All files are opened in binary mode on every platform; text files are written with explicit CR LF
// line ends.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace bxa::platform {

// Why a file could not be opened, so that a message can say what is wrong.
enum class OpenFailure {
    None,
    Missing,        // nothing of that name (or a missing directory on the way)
    IsDirectory,    // a directory where a file was expected
    NotRegular,     // a FIFO, device or socket: never read, since a read could wait forever
    LinkInPath,     // a directory on the way is a symbolic link, which is never followed
    NameTooLong,    // the name is longer than the file system allows
    NameRefused,    // the file system takes no file of that name (on Windows: '?', '*', '<', ...)
    Other,          // permissions, a full or read-only file system, ...
};

// Why an open or a rename failed, from the system's error: errno on POSIX, GetLastError() on Windows.
OpenFailure openFailureOf(unsigned long error);
// Stores `value` as the reason when the caller asked for one (`failure` is not null).
inline void reportOpenFailure(OpenFailure* failure, OpenFailure value) {
    if (failure != nullptr) *failure = value;
}

class File {
public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();

    // Opens an existing regular file for reading. The file is opened without waiting (a FIFO with no
    // writer would block an ordinary open) and its type checked before anything is read; directories,
    // FIFOs, devices and sockets count as files that cannot be opened. Returns a closed File on failure,
    // with the reason in `failure` when given.
    static File openForReading(const std::string& path, OpenFailure* failure = nullptr);

    // Creates or truncates a file for writing, for tools and tests; the commands write through working
    // files (platform/directory.hpp). A symbolic link at `path` is replaced by a new file, never written
    // through. Returns a closed File on failure.
    static File createForWriting(const std::string& path);

    // Takes ownership of an open descriptor (POSIX) or C runtime handle (Windows); `mode` as for fdopen.
    // Returns a closed File, with the descriptor closed, on failure.
    static File adopt(int descriptor, const char* mode);

    // Takes ownership of a descriptor just opened for reading without waiting (O_NONBLOCK on POSIX) and
    // keeps it only when it is a regular file, which it then switches to blocking reads. Returns a closed
    // File, with the descriptor closed and the reason in `failure`, otherwise.
    static File adoptRegular(int descriptor, OpenFailure* failure);

    bool isOpen() const { return file_ != nullptr; }
    explicit operator bool() const { return isOpen(); }

    // Reads up to `size` bytes at the current position; returns how many were read (fewer only at the
    // end of the file or on error: readFailed() tells them apart).
    size_t read(void* buffer, size_t size);
    bool readFailed() const;

    // Reads up to `size` bytes at `offset` without using or moving the current position, so that several
    // threads may read one file at once. Returns how many were read, or nothing on a read error.
    std::optional<size_t> readAt(int64_t offset, void* buffer, size_t size);

    // Writes all `size` bytes. Returns false if the write failed; the failure is also remembered, so that
    // close() reports it.
    bool write(const void* data, size_t size);
    bool write(std::string_view text) { return write(text.data(), text.size()); }
    // True once a write since opening failed.
    bool writeFailed() const { return writeFailed_; }
    // Makes every write fail, as on a full disk, that would take the bytes written since opening past
    // `bytes`: for an output whose size has a bound that its input does not set (a model's binary form,
    // which a short text can make many times larger). writeLimitReached() then tells why writes failed.
    void limitWrites(int64_t bytes) { writeLimit_ = bytes; }
    bool writeLimitReached() const { return writeLimitReached_; }

    bool seek(int64_t offset);
    // The current position (buffered bytes counted), or nothing when it cannot be determined.
    std::optional<int64_t> position();
    // Cuts the file to `length` bytes (buffered data is written first); the position is not moved.
    bool truncate(int64_t length);
    // The file's length in bytes, or nothing when it cannot be determined. Keeps the current position.
    std::optional<int64_t> length();

    // Writes buffered data to the system. Returns false when this or any earlier write failed.
    bool flush();

    // Writes buffered data and asks the system to put the file's data on the disk (fsync on POSIX,
    // FlushFileBuffers on Windows). Returns false when either fails.
    bool sync();
    // Writes buffered data and has the system start putting the file's data on the disk without waiting
    // for it (Linux; elsewhere only the buffer is written), so that a later sync has less to wait for.
    // Failures show in writeFailed() and in sync().
    void startWriteBack();

    // Takes the exclusive update lock of the file: an advisory lock that the system drops when the process
    // ends, however it ends (flock on POSIX; on Windows LockFileEx of one byte far past any data, so that
    // readers, which take no lock, are never kept out). Without `wait`, returns false at once when another
    // process holds it.
    bool lockExclusive(bool wait);

    // Flushes and closes. Returns false when any write since opening failed or the flush/close failed.
    bool close();

    std::FILE* handle() { return file_; }
    // The descriptor (POSIX) or C runtime handle (Windows) under the stream, or -1 when closed.
    int descriptor() const;

private:
    // Takes ownership of `file` and gives it a large stream buffer of its own (stdio would size one by the
    // file system's block, and a record streamed in 4 KiB pieces would then cost a system call each).
    explicit File(std::FILE* file);
    std::FILE* file_ = nullptr;
    bool writeFailed_ = false;
    bool writeLimitReached_ = false;
    int64_t writeLimit_ = -1;  // none
    int64_t written_ = 0;      // bytes written since opening
    std::unique_ptr<char[]> buffer_;
};

// Copies exactly `length` bytes from offset `offset` of `from` to the current position of `to`, and leaves
// `to` positioned after them; the position of `from` is not used, so several copies may read one file
// at once. Uses the kernel's file-to-file copy where there is one (no trip through user memory), else
// fixed-size blocks. Returns false when `from` ends early or a read or write fails.
bool copyBytes(File& from, int64_t offset, int64_t length, File& to);

}  // namespace bxa::platform
