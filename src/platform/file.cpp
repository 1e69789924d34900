#include "platform/file.hpp"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <utility>

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

#if defined(_WIN32)
inline int getByte(std::FILE* in) { return _getc_nolock(in); }
#else
inline int getByte(std::FILE* in) { return getc_unlocked(in); }
#endif

// Large stdio buffers: records and models are streamed in blocks, and fewer system calls matter.
constexpr size_t StreamBufferSize = 1 << 16;

}  // namespace

File::File(File&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)), writeFailed_(other.writeFailed_) {}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        file_ = std::exchange(other.file_, nullptr);
        writeFailed_ = other.writeFailed_;
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
    std::setvbuf(file, nullptr, _IOFBF, StreamBufferSize);
    return File(file);
}

File File::createForWriting(const std::string& path) {
#if defined(_WIN32)
    std::FILE* file = std::fopen(path.c_str(), "wb");
#else
    int fd = openWithoutFollowing(path);
    if (fd < 0 && errno == ELOOP) {
        // A symbolic link in the file's place: replace the link itself, never what it points to.
        if (::unlink(path.c_str()) == 0) fd = openWithoutFollowing(path);
    }
    if (fd < 0) return File();
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        return File();
    }
#endif
    if (file == nullptr) return File();
    std::setvbuf(file, nullptr, _IOFBF, StreamBufferSize);
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

bool File::close() {
    if (file_ == nullptr) return !writeFailed_;
    bool ok = std::fflush(file_) == 0;
    ok = (std::fclose(file_) == 0) && ok;
    file_ = nullptr;
    if (!ok) writeFailed_ = true;
    return !writeFailed_;
}

LineReader::LineReader(File& file, size_t maxChars) : file_(file), maxChars_(maxChars) {}

bool LineReader::next(std::string& line) {
    line.clear();
    std::FILE* in = file_.handle();
    if (in == nullptr) {
        endOfFile_ = true;
        return false;
    }
    bool readAnything = false;
    for (;;) {
        int c = getByte(in);
        if (c == EOF) {
            endOfFile_ = true;
            break;
        }
        readAnything = true;
        if (c == '\n') {
            endOfFile_ = false;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
        if (line.size() < maxChars_) line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return readAnything;
}

}  // namespace bxa::platform
