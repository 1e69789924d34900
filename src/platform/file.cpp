#include "platform/file.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <algorithm>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <sys/stat.h>
#include <sys/types.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace bxa::platform {

namespace {

bool isRegularFile(std::FILE* file) {
#if defined(_WIN32)
    struct _stat64 info;
    return _fstat64(_fileno(file), &info) == 0 && (info.st_mode & _S_IFREG) != 0;
#else
    struct stat info;
    return fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
#endif
}

#if !defined(_WIN32)
int openWithoutFollowing(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
}
#endif

// Large stdio buffers: records and models are streamed in blocks, and fewer system calls matter.
constexpr size_t StreamBufferSize = 1 << 16;

}  // namespace

File::File(std::FILE* file) : file_(file), buffer_(new char[StreamBufferSize]) {
    std::setvbuf(file_, buffer_.get(), _IOFBF, StreamBufferSize);
}

File::File(File&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      writeFailed_(other.writeFailed_),
      buffer_(std::move(other.buffer_)) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        file_ = std::exchange(other.file_, nullptr);
        writeFailed_ = other.writeFailed_;
        buffer_ = std::move(other.buffer_);
    }
    return *this;
}

File::~File() { close(); }

File File::openForReading(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return File();
    if (!isRegularFile(file)) {
        std::fclose(file);
        return File();
    }
    return File(file);
}

File File::createForWriting(const std::string& path) {
#if defined(_WIN32)
    std::FILE* file = std::fopen(path.c_str(), "wb");
#else
    // An existing file or symbolic link is replaced by a new file rather than truncated: a link is never
    // written through, and a file system that flushes truncated files on close is spared that flush.
    struct stat existing;
    if (::lstat(path.c_str(), &existing) == 0 && (S_ISREG(existing.st_mode) || S_ISLNK(existing.st_mode))) {
        ::unlink(path.c_str());
    }
    int fd = openWithoutFollowing(path);
    if (fd < 0) return File();
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        return File();
    }
#endif
    if (file == nullptr) return File();
    return File(file);
}

size_t File::read(void* buffer, size_t size) {
    if (file_ == nullptr || size == 0) return 0;
    return std::fread(buffer, 1, size, file_);
}

bool File::write(const void* data, size_t size) {
    if (file_ == nullptr) return false;
    if (size != 0 && std::fwrite(data, 1, size, file_) != size) writeFailed_ = true;
    return !writeFailed_;
}

bool File::print(const char* format, ...) {
    if (file_ == nullptr) return false;
    va_list args;
    va_start(args, format);
    if (std::vfprintf(file_, format, args) < 0) writeFailed_ = true;
    va_end(args);
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

int64_t File::tell() {
    if (file_ == nullptr) return -1;
#if defined(_WIN32)
    return _ftelli64(file_);
#else
    return static_cast<int64_t>(ftello(file_));
#endif
}

std::optional<int64_t> File::length() {
    if (file_ == nullptr) return std::nullopt;
    std::fflush(file_);
#if defined(_WIN32)
    struct _stat64 info;
    if (_fstat64(_fileno(file_), &info) != 0) return std::nullopt;
#else
    struct stat info;
    if (fstat(fileno(file_), &info) != 0) return std::nullopt;
#endif
    return static_cast<int64_t>(info.st_size);
}

bool File::atEnd() const { return file_ == nullptr || std::feof(file_) != 0; }

bool File::readFailed() const { return file_ != nullptr && std::ferror(file_) != 0; }

bool File::close() {
    if (file_ == nullptr) return !writeFailed_;
    bool ok = std::fflush(file_) == 0;
    ok = (std::fclose(file_) == 0) && ok;
    file_ = nullptr;
    if (!ok) writeFailed_ = true;
    return !writeFailed_;
}

namespace {

bool copyBytesThroughMemory(File& from, int64_t offset, int64_t length, File& to) {
    if (!from.seek(offset)) return false;
    std::vector<char> block(1 << 20);
    while (length > 0) {
        size_t want = static_cast<size_t>(std::min<int64_t>(length, static_cast<int64_t>(block.size())));
        size_t got = from.read(block.data(), want);
        if (got != want || !to.write(block.data(), got)) return false;
        length -= static_cast<int64_t>(got);
    }
    return true;
}

#if defined(__linux__)
// The kernel copies between the two descriptors; the stdio stream of `to` is flushed first and moved past
// the copied bytes afterwards, so buffered and direct writes never interleave.
std::optional<bool> copyBytesInKernel(File& from, int64_t offset, int64_t length, File& to) {
    if (std::fflush(to.handle()) != 0) return false;
    int in = fileno(from.handle());
    int out = fileno(to.handle());
    off_t inOffset = static_cast<off_t>(offset);
    off_t outOffset = ::lseek(out, 0, SEEK_CUR);
    if (outOffset < 0) return std::nullopt;
    const off_t outStart = outOffset;
    while (length > 0) {
        size_t chunk = static_cast<size_t>(std::min<int64_t>(length, int64_t{1} << 30));
        ssize_t copied = ::copy_file_range(in, &inOffset, out, &outOffset, chunk, 0);
        if (copied < 0) {
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
    if (std::optional<bool> done = copyBytesInKernel(from, offset, length, to)) {
        if (!*done) return false;
        return true;
    }
#endif
    return copyBytesThroughMemory(from, offset, length, to);
}

}  // namespace bxa::platform
