#include "platform/directory.hpp"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#if defined(_WIN32)
#include <direct.h>
#include <io.h>
#include <process.h>
#include <windows.h>
#else
#include <dirent.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>
#endif
#if defined(__linux__)
#include <sys/random.h>
#endif

namespace bxa::platform {

namespace {

constexpr std::string_view WorkingPrefix = ".bxa-";
constexpr std::string_view WorkingSuffix = ".tmp";
// Temporary files of earlier versions: "<name>.bxa-tmp-PID-N".
constexpr std::string_view EarlierMarker = ".bxa-tmp-";
constexpr int WorkingNameAttempts = 16;

bool allDigits(std::string_view text) {
    if (text.empty() || text.size() > 10) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

bool allHexDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

// The process that made a working file of this name, or nothing when the name is not one.
std::optional<long> workingFileOwner(std::string_view name) {
    if (name.size() > WorkingPrefix.size() + WorkingSuffix.size() && name.starts_with(WorkingPrefix) &&
        name.ends_with(WorkingSuffix)) {
        std::string_view middle = name.substr(WorkingPrefix.size(),
                                              name.size() - WorkingPrefix.size() - WorkingSuffix.size());
        size_t dash = middle.find('-');
        if (dash != std::string_view::npos && allDigits(middle.substr(0, dash)) &&
            allHexDigits(middle.substr(dash + 1))) {
            return std::strtol(std::string(middle.substr(0, dash)).c_str(), nullptr, 10);
        }
    }
    size_t marker = name.rfind(EarlierMarker);
    if (marker != std::string_view::npos && marker > 0) {
        std::string_view rest = name.substr(marker + EarlierMarker.size());
        size_t dash = rest.find('-');
        if (dash != std::string_view::npos && allDigits(rest.substr(0, dash)) && allDigits(rest.substr(dash + 1))) {
            return std::strtol(std::string(rest.substr(0, dash)).c_str(), nullptr, 10);
        }
    }
    return std::nullopt;
}

long currentProcess() {
#if defined(_WIN32)
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(::getpid());
#endif
}

bool processIsRunning(long process) {
#if defined(_WIN32)
    HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process));
    if (handle == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    bool running = GetExitCodeProcess(handle, &code) != 0 && code == STILL_ACTIVE;
    CloseHandle(handle);
    return running;
#else
    if (process <= 0) return false;
    return ::kill(static_cast<pid_t>(process), 0) == 0 || errno == EPERM;
#endif
}

// 32 unpredictable bits. On Linux they come from the kernel's generator: a std::random_device there may
// use the processor's seed instruction, which costs tens of microseconds under a hypervisor, and an unpack
// names a working file for every record.
uint32_t randomBits() {
#if defined(__linux__)
    uint32_t bits = 0;
    if (::getrandom(&bits, sizeof bits, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof bits)) return bits;
#endif
    std::random_device random;
    return static_cast<uint32_t>(random());
}

std::string newWorkingName() {
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(randomBits()));
    return std::string(WorkingPrefix) + std::to_string(currentProcess()) + "-" + hex + std::string(WorkingSuffix);
}

bool isUnsafeComponent(std::string_view component) { return component.empty() || component == "." || component == ".."; }

// The directories on the way to the last component of a relative name, which goes to `leaf`; nothing when
// a component is empty, "." or "..", or (on Windows) the name starts with a drive letter.
std::optional<std::vector<std::string>> directoriesOf(std::string_view name, std::string& leaf) {
    if (pathSeparator() == '\\' && name.size() >= 2 && name[1] == ':') return std::nullopt;
    std::vector<std::string> components;
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < name.size() && !isPathSeparator(name[end])) ++end;
        std::string component(name.substr(start, end - start));
        if (isUnsafeComponent(component)) return std::nullopt;
        if (end == name.size()) {
            leaf = std::move(component);
            return components;
        }
        components.push_back(std::move(component));
        start = end + 1;
    }
}

}  // namespace

char pathSeparator() {
#if defined(_WIN32)
    return '\\';
#else
    return '/';
#endif
}

bool isPathSeparator(char c) { return c == '/' || c == pathSeparator(); }

std::string joinPath(const std::string& directory, std::string_view name) {
    std::string path;
    path.reserve(directory.size() + 1 + name.size());
    path += directory;
    path += pathSeparator();
    path += name;
    return path;
}

bool isWorkingFileName(std::string_view name) { return workingFileOwner(name).has_value(); }

namespace {

std::optional<FileIdentity> identityAtPath(const std::string& path) {
    File file = File::openForReading(path);
    return file ? identityOf(file) : std::nullopt;
}

}  // namespace

File openLockedForUpdate(const std::string& path, const std::function<void()>& beforeWaiting, OpenFailure* failure) {
    bool waited = false;
    for (;;) {
        File file = File::openForReading(path, failure);
        if (!file) return file;
        if (!file.lockExclusive(false)) {
            if (!waited && beforeWaiting) beforeWaiting();
            waited = true;
            if (!file.lockExclusive(true)) {
                reportOpenFailure(failure, OpenFailure::Other);
                return File();
            }
        }
        if (identityAtPath(path) == identityOf(file)) return file;
    }
}

std::string Directory::pathOf(std::string_view name) const {
    if (path_.empty()) return std::string(name);
    return joinPath(path_, name);
}

// ---- WorkingFile --------------------------------------------------------------------------------------

WorkingFile& WorkingFile::operator=(WorkingFile&& other) noexcept {
    if (this != &other) {
        discard();
        directory_ = std::move(other.directory_);
        name_ = std::move(other.name_);
        file_ = std::move(other.file_);
        kept_ = other.kept_;
        other.kept_ = true;
    }
    return *this;
}

WorkingFile::~WorkingFile() { discard(); }

void WorkingFile::discard() {
    file_.close();
    if (!kept_ && !name_.empty() && directory_.isOpen()) directory_.remove(name_);
    kept_ = true;
}

#if !defined(_WIN32)
// =======================================================================================================
// POSIX
// =======================================================================================================

namespace {

std::optional<FileIdentity> identityFromStat(const struct stat& info) {
    return FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

}  // namespace

std::optional<FileIdentity> identityOf(File& file) {
    struct stat info;
    if (!file.isOpen() || ::fstat(file.descriptor(), &info) != 0) return std::nullopt;
    return identityFromStat(info);
}

std::optional<FilePermissions> permissionsOf(File& file) {
    struct stat info;
    if (!file.isOpen() || ::fstat(file.descriptor(), &info) != 0) return std::nullopt;
    return FilePermissions{static_cast<uint32_t>(info.st_mode & 07777), static_cast<int64_t>(info.st_uid),
                           static_cast<int64_t>(info.st_gid)};
}

std::string followLinks(const std::string& path) {
    constexpr int MaxLinks = 40;
    std::string current = path;
    for (int hop = 0; hop < MaxLinks; ++hop) {
        struct stat info;
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        std::string target(static_cast<size_t>(info.st_size > 0 ? info.st_size : 255) + 1, '\0');
        ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<size_t>(length) >= target.size()) return current;
        target.resize(static_cast<size_t>(length));
        if (target.front() != '/') {
            size_t slash = current.rfind('/');
            if (slash != std::string::npos) target = current.substr(0, slash + 1) + target;
        }
        current = target;
    }
    return current;
}

Directory::Directory(Directory&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), path_(std::move(other.path_)) {}

Directory& Directory::operator=(Directory&& other) noexcept {
    if (this != &other) {
        if (descriptor_ >= 0) ::close(descriptor_);
        descriptor_ = std::exchange(other.descriptor_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

Directory::~Directory() {
    if (descriptor_ >= 0) ::close(descriptor_);
}

bool Directory::isOpen() const { return descriptor_ >= 0; }

Directory Directory::open(const std::string& path, OpenFailure* failure) {
    reportOpenFailure(failure, OpenFailure::None);
    Directory directory;
    if (path.empty()) {
        reportOpenFailure(failure, OpenFailure::Missing);
        return directory;
    }
    directory.descriptor_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory.descriptor_ < 0) {
        reportOpenFailure(failure, errno == ENOTDIR ? OpenFailure::NotRegular : openFailureOf(errno));
        return directory;
    }
    directory.path_ = path;
    return directory;
}

Directory Directory::current() {
    Directory directory;
    directory.descriptor_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return directory;
}

Directory Directory::temporary() {
    const char* configured = std::getenv("TMPDIR");
    return open(configured != nullptr && configured[0] != '\0' ? configured : "/tmp");
}

bool Directory::make(const std::string& path) {
    if (path.empty()) return false;
    if (::mkdir(path.c_str(), 0777) == 0) return true;
    if (errno != EEXIST) return false;
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::optional<FileIdentity> Directory::identity() const {
    struct stat info;
    if (descriptor_ < 0 || ::fstat(descriptor_, &info) != 0) return std::nullopt;
    return identityFromStat(info);
}

Directory Directory::duplicate() const {
    Directory copy;
    if (descriptor_ >= 0) copy.descriptor_ = ::fcntl(descriptor_, F_DUPFD_CLOEXEC, 0);
    if (copy.descriptor_ >= 0) copy.path_ = path_;
    return copy;
}

Directory Directory::parentOf(std::string_view name, std::string& leaf, OpenFailure* failure) const {
    reportOpenFailure(failure, OpenFailure::None);
    leaf.clear();
    Directory parent = duplicate();
    if (!parent.isOpen()) {
        reportOpenFailure(failure, OpenFailure::Other);
        return Directory();
    }
    std::optional<std::vector<std::string>> directories = directoriesOf(name, leaf);
    if (!directories) {
        reportOpenFailure(failure, OpenFailure::Missing);
        return Directory();
    }
    for (const std::string& component : *directories) {
        parent = parent.child(component, failure);
        if (!parent.isOpen()) return Directory();
    }
    return parent;
}

Directory Directory::child(const std::string& component, OpenFailure* failure) const {
    Directory next;
    next.descriptor_ = ::openat(descriptor_, component.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (next.descriptor_ < 0) {
        int error = errno;
        struct stat info;
        // O_NOFOLLOW on a link gives ELOOP on Linux but ENOTDIR with O_DIRECTORY on some systems.
        if (::fstatat(descriptor_, component.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode)) {
            reportOpenFailure(failure, OpenFailure::LinkInPath);
        } else {
            reportOpenFailure(failure, openFailureOf(error));
        }
        return next;
    }
    next.path_ = pathOf(component);
    return next;
}

Directory Directory::makeSubdirectory(std::string_view leaf, OpenFailure* failure) const {
    reportOpenFailure(failure, OpenFailure::None);
    const std::string name(leaf);
    if (::mkdirat(descriptor_, name.c_str(), 0777) != 0 && errno != EEXIST) {
        reportOpenFailure(failure, openFailureOf(errno));
        return Directory();
    }
    return child(name, failure);
}

File Directory::openForReading(std::string_view name, OpenFailure* failure) const {
    std::string leaf;
    Directory parent = parentOf(name, leaf, failure);
    if (!parent.isOpen()) return File();
    int descriptor = ::openat(parent.descriptor_, leaf.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        reportOpenFailure(failure, openFailureOf(errno));
        return File();
    }
    return File::adoptRegular(descriptor, failure);
}

EntryType Directory::typeOf(std::string_view leaf) const {
    struct stat info;
    if (::fstatat(descriptor_, std::string(leaf).c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? EntryType::Missing : EntryType::Unknown;
    }
    if (S_ISREG(info.st_mode)) return EntryType::Regular;
    if (S_ISDIR(info.st_mode)) return EntryType::Directory;
    if (S_ISLNK(info.st_mode)) return EntryType::SymbolicLink;
    return EntryType::Other;
}

std::optional<FileIdentity> Directory::identityOf(std::string_view leaf) const {
    struct stat info;
    if (::fstatat(descriptor_, std::string(leaf).c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
    return identityFromStat(info);
}

bool Directory::nameFits(std::string_view leaf) const {
    const long longest = descriptor_ >= 0 ? ::fpathconf(descriptor_, _PC_NAME_MAX) : -1;
    return longest < 0 || leaf.size() <= static_cast<size_t>(longest);
}

bool Directory::remove(std::string_view leaf) const {
    if (descriptor_ < 0) return false;
    if (::unlinkat(descriptor_, std::string(leaf).c_str(), 0) == 0) return true;
    return errno == ENOENT;
}

WorkingFile Directory::createWorkingFile(OpenFailure* failure) const {
    reportOpenFailure(failure, OpenFailure::None);
    WorkingFile working;
    working.kept_ = true;  // nothing to remove until the file exists
    if (descriptor_ < 0) {
        reportOpenFailure(failure, OpenFailure::Other);
        return working;
    }
    for (int attempt = 0; attempt < WorkingNameAttempts; ++attempt) {
        std::string name = newWorkingName();
        int descriptor = ::openat(descriptor_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (descriptor < 0) {
            if (errno == EEXIST) continue;
            reportOpenFailure(failure, openFailureOf(errno));
            return working;
        }
        // The lock tells a later run that this file's run is alive; the system drops it with the process.
        ::flock(descriptor, LOCK_EX | LOCK_NB);
        working.directory_ = duplicate();
        working.name_ = std::move(name);
        working.kept_ = false;
        working.file_ = File::adopt(descriptor, "w+b");
        if (!working.file_ || !working.directory_.isOpen()) {
            ::unlinkat(descriptor_, working.name_.c_str(), 0);
            working.kept_ = true;
            reportOpenFailure(failure, OpenFailure::Other);
        }
        return working;
    }
    reportOpenFailure(failure, OpenFailure::Other);
    return working;
}

int Directory::removeLeftovers() const {
    if (descriptor_ < 0) return 0;
    int listing = ::openat(descriptor_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) return 0;
    DIR* entries = ::fdopendir(listing);
    if (entries == nullptr) {
        ::close(listing);
        return 0;
    }
    int removed = 0;
    const long self = currentProcess();
    while (struct dirent* entry = ::readdir(entries)) {
        std::string_view name = entry->d_name;
        std::optional<long> owner = workingFileOwner(name);
        if (!owner || *owner == self || processIsRunning(*owner)) continue;
        int descriptor = ::openat(descriptor_, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (descriptor < 0) continue;
        struct stat info;
        // A lock held means a live run (of another machine, say, whose process numbers mean nothing here).
        if (::fstat(descriptor, &info) == 0 && S_ISREG(info.st_mode) && ::flock(descriptor, LOCK_EX | LOCK_NB) == 0) {
            if (::unlinkat(descriptor_, entry->d_name, 0) == 0) ++removed;
        }
        ::close(descriptor);
    }
    ::closedir(entries);
    return removed;
}

bool Directory::sync() const { return descriptor_ >= 0 && ::fsync(descriptor_) == 0; }

void WorkingFile::restrictPermissionsTo(File& source) {
    const std::optional<FilePermissions> own = permissionsOf(file_);
    const std::optional<FilePermissions> theirs = permissionsOf(source);
    if (own && theirs) (void)::fchmod(file_.descriptor(), static_cast<mode_t>(own->mode & (theirs->mode | 0600)));
}

bool WorkingFile::setPermissions(const FilePermissions& permissions) {
    if (!file_.isOpen()) return false;
    // Owner and group first: changing them may clear the set-id bits that the mode then restores.
    if (permissions.owner >= 0 && permissions.group >= 0) {
        if (::fchown(file_.descriptor(), static_cast<uid_t>(permissions.owner), static_cast<gid_t>(permissions.group)) != 0) {
            // Not allowed to give the file away: keep the group if that much is allowed.
            (void)::fchown(file_.descriptor(), static_cast<uid_t>(-1), static_cast<gid_t>(permissions.group));
        }
    }
    return ::fchmod(file_.descriptor(), static_cast<mode_t>(permissions.mode)) == 0;
}

namespace {

// A file about to be replaced, held across the rename (never read). The system then frees its blocks when
// this lets it go, after the rename, rather than within the rename, which holds the directory's lock: on a
// file system that discards freed blocks at once, freeing waits for the disk, and every file created in the
// directory meanwhile (by the other threads of an unpack, say) would wait with it. Where the system has
// them, a path-only descriptor holds it without opening it, so that nothing put there in the meantime (a
// device, say) is opened.
class ReplacedFile {
public:
#if defined(O_PATH)
    static constexpr int HoldFlags = O_PATH | O_NOFOLLOW | O_CLOEXEC;
#else
    static constexpr int HoldFlags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
#endif
    ReplacedFile(int directory, const std::string& leaf) : descriptor_(::openat(directory, leaf.c_str(), HoldFlags)) {}
    ReplacedFile(const ReplacedFile&) = delete;
    ReplacedFile& operator=(const ReplacedFile&) = delete;
    ~ReplacedFile() {
        if (descriptor_ >= 0) ::close(descriptor_);
    }

private:
    int descriptor_;
};

}  // namespace

bool WorkingFile::commit(std::string_view leaf, bool durable, OpenFailure* failure) {
    if (!putInPlace(leaf, durable, failure)) return false;
    // The lock goes with the close, after the rename: until then the file is a live run's.
    bool closed = file_.close();
    if (durable && !directory_.sync()) closed = false;
    if (!closed) reportOpenFailure(failure, OpenFailure::Other);
    return closed;
}

bool WorkingFile::commitAndHold(std::string_view leaf, bool durable, OpenFailure* failure) {
    if (!putInPlace(leaf, durable, failure)) return false;
    if (durable && !directory_.sync()) {
        reportOpenFailure(failure, OpenFailure::Other);
        return false;
    }
    return true;
}

bool WorkingFile::putInPlace(std::string_view leaf, bool durable, OpenFailure* failure) {
    reportOpenFailure(failure, OpenFailure::None);
    if (!file_.isOpen()) {
        reportOpenFailure(failure, OpenFailure::Other);
        return false;
    }
    if (durable ? !file_.sync() : !file_.flush()) {
        reportOpenFailure(failure, OpenFailure::Other);
        return false;
    }
    const std::string target(leaf);
    std::optional<ReplacedFile> replaced;
    switch (directory_.typeOf(leaf)) {
        case EntryType::Directory: reportOpenFailure(failure, OpenFailure::IsDirectory); return false;
        case EntryType::Other: reportOpenFailure(failure, OpenFailure::NotRegular); return false;
        case EntryType::Regular: replaced.emplace(directory_.descriptor_, target); break;
        default: break;
    }
    if (::renameat(directory_.descriptor_, name_.c_str(), directory_.descriptor_, target.c_str()) != 0) {
        reportOpenFailure(failure, openFailureOf(errno));
        return false;
    }
    kept_ = true;
    return true;
}

bool WorkingFile::keepAs(std::string_view leaf) {
    file_.close();
    const std::string target(leaf);
    // A hard link never replaces an existing name.
    if (::linkat(directory_.descriptor_, name_.c_str(), directory_.descriptor_, target.c_str(), 0) != 0) return false;
    ::unlinkat(directory_.descriptor_, name_.c_str(), 0);
    name_ = target;
    kept_ = true;
    return true;
}

#else
// =======================================================================================================
// Windows: directories travel as paths; every component on the way is checked for a reparse point.
// =======================================================================================================

namespace {

std::optional<FileIdentity> identityOfHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info)) return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace

std::optional<FileIdentity> identityOf(File& file) {
    if (!file.isOpen()) return std::nullopt;
    return identityOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(file.descriptor())));
}

std::optional<FilePermissions> permissionsOf(File& file) {
    struct _stat64 info;
    if (!file.isOpen() || _fstat64(file.descriptor(), &info) != 0) return std::nullopt;
    return FilePermissions{static_cast<uint32_t>(info.st_mode & 0777), -1, -1};
}

std::string followLinks(const std::string& path) { return path; }

Directory::Directory(Directory&& other) noexcept
    : open_(std::exchange(other.open_, false)), path_(std::move(other.path_)) {}

Directory& Directory::operator=(Directory&& other) noexcept {
    if (this != &other) {
        open_ = std::exchange(other.open_, false);
        path_ = std::move(other.path_);
    }
    return *this;
}

Directory::~Directory() = default;

bool Directory::isOpen() const { return open_; }

std::string Directory::fullPathOf(std::string_view leaf) const {
    if (path_.empty()) return std::string(leaf);
    return joinPath(path_, leaf);
}

Directory Directory::open(const std::string& path, OpenFailure* failure) {
    reportOpenFailure(failure, OpenFailure::None);
    Directory directory;
    if (path.empty()) {
        reportOpenFailure(failure, OpenFailure::Missing);
        return directory;
    }
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        reportOpenFailure(failure, openFailureOf(GetLastError()));
        return directory;
    }
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        reportOpenFailure(failure, OpenFailure::NotRegular);
        return directory;
    }
    directory.open_ = true;
    directory.path_ = path;
    return directory;
}

Directory Directory::current() {
    Directory directory;
    directory.open_ = true;
    return directory;
}

Directory Directory::temporary() {
    char path[MAX_PATH + 1];
    DWORD length = GetTempPathA(sizeof path, path);
    if (length == 0 || length > MAX_PATH) return open(".");
    std::string directory(path, length);
    while (directory.size() > 3 && isPathSeparator(directory.back())) directory.pop_back();
    return open(directory);
}

bool Directory::make(const std::string& path) {
    if (path.empty()) return false;
    if (_mkdir(path.c_str()) == 0) return true;
    if (errno != EEXIST) return false;
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<FileIdentity> Directory::identity() const {
    if (!open_) return std::nullopt;
    HANDLE handle = CreateFileA(path_.empty() ? "." : path_.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<FileIdentity> identity = identityOfHandle(handle);
    CloseHandle(handle);
    return identity;
}

Directory Directory::duplicate() const {
    Directory copy;
    copy.open_ = open_;
    copy.path_ = path_;
    return copy;
}

Directory Directory::parentOf(std::string_view name, std::string& leaf, OpenFailure* failure) const {
    reportOpenFailure(failure, OpenFailure::None);
    leaf.clear();
    Directory parent = duplicate();
    std::optional<std::vector<std::string>> directories = directoriesOf(name, leaf);
    if (!directories) {
        reportOpenFailure(failure, OpenFailure::Missing);
        return Directory();
    }
    for (const std::string& component : *directories) {
        parent = parent.child(component, failure);
        if (!parent.isOpen()) return Directory();
    }
    return parent;
}

Directory Directory::child(const std::string& component, OpenFailure* failure) const {
    switch (typeOf(component)) {
        case EntryType::Directory: break;
        case EntryType::SymbolicLink: reportOpenFailure(failure, OpenFailure::LinkInPath); return Directory();
        default: reportOpenFailure(failure, OpenFailure::Missing); return Directory();
    }
    Directory next = duplicate();
    next.path_ = pathOf(component);
    return next;
}

Directory Directory::makeSubdirectory(std::string_view leaf, OpenFailure* failure) const {
    reportOpenFailure(failure, OpenFailure::None);
    const std::string name(leaf);
    if (_mkdir(fullPathOf(name).c_str()) != 0 && errno != EEXIST) {
        reportOpenFailure(failure, OpenFailure::Other);
        return Directory();
    }
    return child(name, failure);
}

File Directory::openForReading(std::string_view name, OpenFailure* failure) const {
    std::string leaf;
    Directory parent = parentOf(name, leaf, failure);
    if (!parent.isOpen()) return File();
    return File::openForReading(parent.fullPathOf(leaf), failure);
}

EntryType Directory::typeOf(std::string_view leaf) const {
    DWORD attributes = GetFileAttributesA(fullPathOf(leaf).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? EntryType::Missing
                                                                              : EntryType::Unknown;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return EntryType::SymbolicLink;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EntryType::Directory;
    if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return EntryType::Other;
    return EntryType::Regular;
}

std::optional<FileIdentity> Directory::identityOf(std::string_view leaf) const {
    HANDLE handle = CreateFileA(fullPathOf(leaf).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    std::optional<FileIdentity> identity = identityOfHandle(handle);
    CloseHandle(handle);
    return identity;
}

bool Directory::nameFits(std::string_view leaf) const { return leaf.size() <= MAX_PATH; }

bool Directory::remove(std::string_view leaf) const {
    if (!open_) return false;
    std::string path = fullPathOf(leaf);
    if (DeleteFileA(path.c_str())) return true;
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

WorkingFile Directory::createWorkingFile(OpenFailure* failure) const {
    reportOpenFailure(failure, OpenFailure::None);
    WorkingFile working;
    working.kept_ = true;
    if (!open_) {
        reportOpenFailure(failure, OpenFailure::Other);
        return working;
    }
    for (int attempt = 0; attempt < WorkingNameAttempts; ++attempt) {
        std::string name = newWorkingName();
        // Open without sharing deletion: while the run lives, no other run can remove the file.
        int descriptor = _open(fullPathOf(name).c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
        if (descriptor < 0) {
            if (errno == EEXIST) continue;
            reportOpenFailure(failure, errno == ENOENT ? OpenFailure::Missing : OpenFailure::Other);
            return working;
        }
        working.directory_ = duplicate();
        working.name_ = std::move(name);
        working.kept_ = false;
        working.file_ = File::adopt(descriptor, "w+b");
        if (!working.file_) {
            remove(working.name_);
            working.kept_ = true;
            reportOpenFailure(failure, OpenFailure::Other);
        }
        return working;
    }
    reportOpenFailure(failure, OpenFailure::Other);
    return working;
}

int Directory::removeLeftovers() const {
    if (!open_) return 0;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(fullPathOf("*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    int removed = 0;
    const long self = currentProcess();
    do {
        std::string_view name = found.cFileName;
        std::optional<long> owner = workingFileOwner(name);
        if (!owner || *owner == self || processIsRunning(*owner)) continue;
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) continue;
        // A file still open in a live run cannot be deleted.
        if (DeleteFileA(fullPathOf(name).c_str())) ++removed;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return removed;
}

bool Directory::sync() const { return true; }

void WorkingFile::restrictPermissionsTo(File&) {}

bool WorkingFile::setPermissions(const FilePermissions& permissions) {
    if (!file_.isOpen()) return false;
    // Windows keeps only the read-only attribute, which a file being replaced must not get: it is set
    // after the rename, by the caller, if at all.
    (void)permissions;
    return true;
}

bool WorkingFile::commit(std::string_view leaf, bool durable, OpenFailure* failure) {
    reportOpenFailure(failure, OpenFailure::None);
    // A file closed by an earlier attempt that failed at the rename is complete; it is renamed as it is.
    if (kept_ || name_.empty()) {
        reportOpenFailure(failure, OpenFailure::Other);
        return false;
    }
    if (file_.isOpen()) {
        if (durable ? !file_.sync() : !file_.flush()) {
            reportOpenFailure(failure, OpenFailure::Other);
            return false;
        }
        // An open file cannot be renamed here.
        if (!file_.close()) {
            reportOpenFailure(failure, OpenFailure::Other);
            return false;
        }
    }
    switch (directory_.typeOf(leaf)) {
        case EntryType::Directory: reportOpenFailure(failure, OpenFailure::IsDirectory); return false;
        case EntryType::Other: reportOpenFailure(failure, OpenFailure::NotRegular); return false;
        default: break;
    }
    const std::string target = directory_.fullPathOf(leaf);
    DWORD attributes = GetFileAttributesA(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesA(target.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
    if (!MoveFileExA(directory_.fullPathOf(name_).c_str(), target.c_str(), flags)) {
        reportOpenFailure(failure, openFailureOf(GetLastError()));
        return false;
    }
    kept_ = true;
    return true;
}

bool WorkingFile::commitAndHold(std::string_view leaf, bool durable, OpenFailure* failure) {
    return commit(leaf, durable, failure);
}

bool WorkingFile::keepAs(std::string_view leaf) {
    file_.close();
    if (!MoveFileExA(directory_.fullPathOf(name_).c_str(), directory_.fullPathOf(leaf).c_str(), 0)) return false;
    name_ = std::string(leaf);
    kept_ = true;
    return true;
}

#endif

}  // namespace bxa::platform
