#include "platform/file_system.hpp"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <vector>

#include "platform/file.hpp"

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace bxa::platform {

namespace {

std::optional<bool> statIsDirectory(const std::string& path, bool* isRegular) {
#if defined(_WIN32)
    struct _stat64 info;
    if (_stat64(path.c_str(), &info) != 0) return std::nullopt;
    if (isRegular != nullptr) *isRegular = (info.st_mode & _S_IFREG) != 0;
    return (info.st_mode & _S_IFDIR) != 0;
#else
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    if (isRegular != nullptr) *isRegular = S_ISREG(info.st_mode);
    return S_ISDIR(info.st_mode);
#endif
}

bool renameOver(const std::string& from, const std::string& to) {
#if defined(_WIN32)
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

bool copyContents(const std::string& from, const std::string& to) {
    File in = File::openForReading(from);
    if (!in) return false;
    File out = File::createForWriting(to);
    if (!out) return false;
    std::vector<char> block(1 << 16);
    for (;;) {
        size_t got = in.read(block.data(), block.size());
        if (got == 0) break;
        if (!out.write(block.data(), got)) return false;
    }
    bool readFailed = std::ferror(in.handle()) != 0;
    return out.close() && !readFailed;
}

long processId() {
#if defined(_WIN32)
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(::getpid());
#endif
}

}  // namespace

char pathSeparator() {
#if defined(_WIN32)
    return '\\';
#else
    return '/';
#endif
}

std::string joinPath(const std::string& directory, const std::string& name) {
    std::string path;
    path.reserve(directory.size() + 1 + name.size());
    path += directory;
    path += pathSeparator();
    path += name;
    return path;
}

bool makeDirectory(const std::string& path) {
#if defined(_WIN32)
    if (_mkdir(path.c_str()) == 0) return true;
#else
    if (::mkdir(path.c_str(), 0777) == 0) return true;
#endif
    return errno == EEXIST && isDirectory(path);
}

bool removeFile(const std::string& path) {
    if (std::remove(path.c_str()) == 0) return true;
    return errno == ENOENT;
}

bool makeWritable(const std::string& path) {
#if defined(_WIN32)
    return _chmod(path.c_str(), _S_IREAD | _S_IWRITE) == 0;
#else
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) return false;
    return ::chmod(path.c_str(), (info.st_mode & 07777) | S_IRUSR | S_IWUSR) == 0;
#endif
}

bool isDirectory(const std::string& path) { return statIsDirectory(path, nullptr).value_or(false); }

bool isRegularFile(const std::string& path) {
    bool regular = false;
    return statIsDirectory(path, &regular).has_value() && regular;
}

std::optional<int64_t> regularFileLength(const std::string& path) {
    File file = File::openForReading(path);
    if (!file) return std::nullopt;
    return file.length();
}

std::string temporaryPathBeside(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    return path + ".bxa-tmp-" + std::to_string(processId()) + "-" + std::to_string(counter++);
}

bool copyFileOver(const std::string& from, const std::string& to) {
    std::string temporary = temporaryPathBeside(to);
    if (!copyContents(from, temporary) || !renameOver(temporary, to)) {
        removeFile(temporary);
        return false;
    }
    return true;
}

bool replaceFileAtomically(const std::string& from, const std::string& to) {
    if (renameOver(from, to)) return true;
    // Another file system (or a rename the system refused): copy beside the target, then rename.
    if (!copyFileOver(from, to)) return false;
    removeFile(from);
    return true;
}

bool moveFileOver(const std::string& from, const std::string& to) {
    if (isRegularFile(to)) removeFile(to);
    return replaceFileAtomically(from, to);
}

}  // namespace bxa::platform
