#include "platform/file.hpp"

#include <algorithm>
#include <cerrno>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <sys/file.h>
#include <unistd.h>
#endif

namespace bxa::platform {

namespace {

// Large stdio buffers: records and models are streamed in blocks, and fewer system calls matter.
constexpr size_t StreamBufferSize = 1 << 16;
// Blocks of the copy through memory, where the kernel cannot copy between the files itself.
constexpr size_t CopyBlockSize = 1 << 20;

}  // namespace

OpenFailure openFailureOf(unsigned long error) {
    switch (error) {
#if defined(_WIN32)
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return OpenFailure::Missing;
        case ERROR_FILENAME_EXCED_RANGE: return OpenFailure::NameTooLong;
        case ERROR_INVALID_NAME: return OpenFailure::NameRefused;
#else
        case ENOENT:
        case ENOTDIR: return OpenFailure::Missing;
        case EISDIR: return OpenFailure::IsDirectory;
        case ELOOP: return OpenFailure::LinkInPath;
        case ENAMETOOLONG: return OpenFailure::NameTooLong;
        case EILSEQ: return OpenFailure::NameRefused;
        case ENXIO: return OpenFailure::NotRegular;  // a FIFO without a reader, a device without its driver
#endif
        default: return OpenFailure::Other;
    }
}

File::File(std::FILE* file) : file_(file), buffer_(new char[StreamBufferSize]) {
    std::setvbuf(file_, buffer_.get(), _IOFBF, StreamBufferSize);
}

File::File(File&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      writeFailed_(other.writeFailed_),
      writeLimitReached_(other.writeLimitReached_),
      writeLimit_(other.writeLimit_),
      written_(other.written_),
      buffer_(std::move(other.buffer_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        file_ = std::exchange(other.file_, nullptr);
        writeFailed_ = other.writeFailed_;
        writeLimitReached_ = other.writeLimitReached_;
        writeLimit_ = other.writeLimit_;
        written_ = other.written_;
        buffer_ = std::move(other.buffer_);
    }
    return *this;
}

File::~File() { close(); }

File File::adopt(int descriptor, const char* mode) {
    if (descriptor < 0) return File();
#if defined(_WIN32)
    std::FILE* file = _fdopen(descriptor, mode);
    if (file == nullptr) _close(descriptor);
#else
    std::FILE* file = ::fdopen(descriptor, mode);
    if (file == nullptr) ::close(descriptor);
#endif
    if (file == nullptr) return File();
    return File(file);
}

File File::openForReading(const std::string& path, OpenFailure* failure) {
    reportOpenFailure(failure, OpenFailure::None);
#if defined(_WIN32)
    // Shared for deletion, so that the file can be replaced by a rename while it is read, as on POSIX.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        const bool directory =
            error == ERROR_ACCESS_DENIED && (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0;
        reportOpenFailure(failure, directory ? OpenFailure::IsDirectory : openFailureOf(error));
        return File();
    }
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(handle);
        reportOpenFailure(failure, OpenFailure::Other);
        return File();
    }
#else
    // Non-blocking first: opening a FIFO without a writer would otherwise wait forever.
    int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        reportOpenFailure(failure, openFailureOf(errno));
        return File();
    }
#endif
    return adoptRegular(descriptor, failure);
}

File File::adoptRegular(int descriptor, OpenFailure* failure) {
#if defined(_WIN32)
    struct _stat64 info {};
    if (_fstat64(descriptor, &info) != 0 || (info.st_mode & _S_IFREG) == 0) {
        reportOpenFailure(failure, (info.st_mode & _S_IFDIR) != 0 ? OpenFailure::IsDirectory : OpenFailure::NotRegular);
        _close(descriptor);
        return File();
    }
#else
    struct stat info;
    if (::fstat(descriptor, &info) != 0) {
        reportOpenFailure(failure, OpenFailure::Other);
        ::close(descriptor);
        return File();
    }
    if (!S_ISREG(info.st_mode)) {
        reportOpenFailure(failure, S_ISDIR(info.st_mode) ? OpenFailure::IsDirectory : OpenFailure::NotRegular);
        ::close(descriptor);
        return File();
    }
    int flags = ::fcntl(descriptor, F_GETFL);
    if (flags >= 0) ::fcntl(descriptor, F_SETFL, flags & ~O_NONBLOCK);
#endif
    File file = adopt(descriptor, "rb");
    if (!file) reportOpenFailure(failure, OpenFailure::Other);
    return file;
}

File File::createForWriting(const std::string& path) {
#if defined(_WIN32)
    return adopt(_open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE), "wb");
#else
    struct stat existing;
    if (::lstat(path.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode)) ::unlink(path.c_str());
    return adopt(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666), "wb");
#endif
}

int File::descriptor() const {
    if (file_ == nullptr) return -1;
#if defined(_WIN32)
    return _fileno(file_);
#else
    return fileno(file_);
#endif
}

size_t File::read(void* buffer, size_t size) {
    if (file_ == nullptr || size == 0) return 0;
    return std::fread(buffer, 1, size, file_);
}

bool File::readFailed() const { return file_ == nullptr || std::ferror(file_) != 0; }

std::optional<size_t> File::readAt(int64_t offset, void* buffer, size_t size) {
    if (file_ == nullptr || offset < 0) return std::nullopt;
    size_t done = 0;
    auto* bytes = static_cast<char*>(buffer);
    while (done < size) {
#if defined(_WIN32)
        HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor()));
        OVERLAPPED at{};
        const uint64_t position = static_cast<uint64_t>(offset) + done;
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        DWORD want = static_cast<DWORD>(std::min<size_t>(size - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(handle, bytes + done, want, &got, &at)) {
            if (GetLastError() == ERROR_HANDLE_EOF) break;
            return std::nullopt;
        }
#else
        ssize_t got = ::pread(descriptor(), bytes + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
#endif
        if (got == 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

bool File::write(const void* data, size_t size) {
    if (file_ == nullptr) return false;
    if (writeLimit_ >= 0 && size > static_cast<uint64_t>(writeLimit_ - std::min(written_, writeLimit_))) {
        writeLimitReached_ = true;
        writeFailed_ = true;
        return false;
    }
    if (size != 0 && std::fwrite(data, 1, size, file_) != size) writeFailed_ = true;
    written_ += static_cast<int64_t>(size);
    return !writeFailed_;
}

bool File::seek(int64_t offset) {
    if (file_ == nullptr || offset < 0) return false;
#if defined(_WIN32)
    return _fseeki64(file_, offset, SEEK_SET) == 0;
#else
    return fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

std::optional<int64_t> File::position() {
    if (file_ == nullptr) return std::nullopt;
#if defined(_WIN32)
    const int64_t at = _ftelli64(file_);
#else
    const int64_t at = ftello(file_);
#endif
    if (at < 0) return std::nullopt;
    return at;
}

bool File::truncate(int64_t length) {
    if (file_ == nullptr || length < 0 || std::fflush(file_) != 0) return false;
#if defined(_WIN32)
    return _chsize_s(descriptor(), length) == 0;
#else
    return ::ftruncate(descriptor(), static_cast<off_t>(length)) == 0;
#endif
}

std::optional<int64_t> File::length() {
    if (file_ == nullptr) return std::nullopt;
    std::fflush(file_);
#if defined(_WIN32)
    struct _stat64 info;
    if (_fstat64(descriptor(), &info) != 0) return std::nullopt;
#else
    struct stat info;
    if (::fstat(descriptor(), &info) != 0) return std::nullopt;
#endif
    return static_cast<int64_t>(info.st_size);
}

bool File::flush() {
    if (file_ == nullptr) return false;
    if (std::fflush(file_) != 0) writeFailed_ = true;
    return !writeFailed_;
}

bool File::sync() {
    if (file_ == nullptr) return false;
    if (std::fflush(file_) != 0) writeFailed_ = true;
    if (writeFailed_) return false;
#if defined(_WIN32)
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(descriptor()))) != 0;
#else
    return ::fsync(descriptor()) == 0;
#endif
}

void File::startWriteBack() {
    if (file_ == nullptr) return;
    if (std::fflush(file_) != 0) writeFailed_ = true;
#if defined(__linux__)
    // The whole file: pages already clean or on their way cost nothing.
    if (!writeFailed_) ::sync_file_range(descriptor(), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

bool File::lockExclusive(bool wait) {
    if (file_ == nullptr) return false;
#if defined(_WIN32)
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor()));
    OVERLAPPED at{};
    at.Offset = 0xFFFFFFFEu;
    at.OffsetHigh = 0x7FFFFFFFu;
    DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    return LockFileEx(handle, flags, 0, 1, 0, &at) != 0;
#else
    for (;;) {
        if (::flock(descriptor(), LOCK_EX | (wait ? 0 : LOCK_NB)) == 0) return true;
        if (errno != EINTR) return false;
    }
#endif
}

bool File::close() {
    if (file_ == nullptr) return !writeFailed_;
    bool ok = std::fflush(file_) == 0;
    ok = (std::fclose(file_) == 0) && ok;
    file_ = nullptr;
    // The stream buffer goes with the stream: a closed File kept for later holds no memory.
    buffer_.reset();
    if (!ok) writeFailed_ = true;
    return !writeFailed_;
}

namespace {

bool copyBytesThroughMemory(File& from, int64_t offset, int64_t length, File& to) {
    std::vector<char> block(static_cast<size_t>(std::min<int64_t>(length, CopyBlockSize)));
    while (length > 0) {
        size_t want = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(block.size())));
        std::optional<size_t> got = from.readAt(offset, block.data(), want);
        if (got != want || !to.write(block.data(), want)) return false;
        offset += static_cast<int64_t>(want);
        length -= static_cast<int64_t>(want);
    }
    return true;
}

#if defined(__linux__)
// The kernel copies between the two descriptors; the stdio stream of `to` is flushed first and moved past
// the copied bytes afterwards, so buffered and direct writes never interleave.
std::optional<bool> copyBytesInKernel(File& from, int64_t offset, int64_t length, File& to) {
    if (std::fflush(to.handle()) != 0) return false;
    off_t inOffset = static_cast<off_t>(offset);
    off_t outOffset = ::lseek(to.descriptor(), 0, SEEK_CUR);
    if (outOffset < 0) return std::nullopt;
    const off_t outStart = outOffset;
    while (length > 0) {
        size_t chunk = static_cast<size_t>(std::min<int64_t>(length, int64_t{1} << 30));
        ssize_t copied = ::copy_file_range(from.descriptor(), &inOffset, to.descriptor(), &outOffset, chunk, 0);
        if (copied < 0) {
            if (errno == EINTR) continue;
            // Nothing copied yet and the kernel cannot do it for these files: fall back to memory.
            if (outOffset == outStart && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                                          errno == EOPNOTSUPP || errno == EBADF)) {
                return std::nullopt;
            }
            return false;
        }
        if (copied == 0) return false;  // `from` ended early
        length -= copied;
    }
    return to.seek(static_cast<int64_t>(outOffset));
}
#endif

}  // namespace

bool copyBytes(File& from, int64_t offset, int64_t length, File& to) {
    if (offset < 0 || length < 0 || !from.isOpen() || !to.isOpen()) return false;
    if (length == 0) return true;
#if defined(__linux__)
    if (std::optional<bool> done = copyBytesInKernel(from, offset, length, to)) return *done;
#endif
    return copyBytesThroughMemory(from, offset, length, to);
}

}  // namespace bxa::platform
