// Files as owned resources: every open file is a File, closed when it goes out of scope.
//
// All files are opened in binary mode on every platform; text files are written with explicit CR LF
// line ends, and read through LineReader (platform/line_reader.hpp), which accepts both CR LF and LF.
#pragma once

#include "platform/printf_format.hpp"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace bxa::platform {

class File {
public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();

    // Opens an existing regular file for reading. Directories, devices and other non-regular files
    // count as files that cannot be opened. Returns a closed File on failure.
    static File openForReading(const std::string& path);

    // Creates or truncates a file for writing. A symbolic link at `path` is replaced by a new file,
    // never written through. Returns a closed File on failure (a directory at `path`, a missing parent).
    static File createForWriting(const std::string& path);

    bool isOpen() const { return file_ != nullptr; }
    explicit operator bool() const { return isOpen(); }

    // Reads up to `size` bytes; returns how many were read (fewer only at the end of the file or on error).
    size_t read(void* buffer, size_t size);

    // Writes all `size` bytes. Returns false if the write failed; the failure is also remembered, so that
    // close() reports it.
    bool write(const void* data, size_t size);
    bool write(std::string_view text) { return write(text.data(), text.size()); }

    // printf-style formatted output; a failure is remembered like a failed write.
    bool print(const char* format, ...) BXA_PRINTF_LIKE(2, 3);

    bool seek(int64_t offset);
    int64_t tell();
    // The file's length in bytes, or nothing when it cannot be determined. Keeps the current position.
    std::optional<int64_t> length();
    bool atEnd() const;
    bool writeFailed() const { return writeFailed_; }
    // True once a read failed for another reason than the end of the file (an I/O error).
    bool readFailed() const;

    // Flushes and closes. Returns false when any write since opening failed or the flush/close failed.
    bool close();

    std::FILE* handle() { return file_; }

private:
    // Takes ownership of `file` and gives it a large stream buffer of its own (stdio would size one by the
    // file system's block, and a record streamed in 4 KiB pieces would then cost a system call each).
    explicit File(std::FILE* file);
    std::FILE* file_ = nullptr;
    bool writeFailed_ = false;
    std::unique_ptr<char[]> buffer_;
};

// Copies exactly `length` bytes from offset `offset` of `from` to the current position of `to`, and leaves
// `to` positioned after them. Uses the kernel's file-to-file copy where there is one (no trip through user
// memory), else fixed-size blocks. Returns false when `from` ends early or a read or write fails.
bool copyBytes(File& from, int64_t offset, int64_t length, File& to);

}  // namespace bxa::platform
