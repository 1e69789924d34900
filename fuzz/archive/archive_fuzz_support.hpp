// Shared harness of the archive-level fuzz targets: the commands run in-process, on real files, inside a
// private sandbox, and after every input the harness checks that nothing was written where it must not be.
//
// Layout, made once per process with mkdtemp:
//
//   ROOT/u/u/.../u/sandbox/          the current directory while an input runs ("tmp.cmp" & co. land here)
//                         a.BXA      the archive
//                         work/      the work directory
//
// The chain of EscapeDepth single-child directories between ROOT and the sandbox catches any write that
// climbs out of the work directory with '..' components: a catalog name holds at most 127 characters, so it
// cannot climb past ROOT, and every directory of the chain must hold exactly its one child afterwards.
// Absolute record names are joined below the work directory ("work//x"), so they stay inside too.
//
// The process's own current directory is restored after each input, because libFuzzer reads and writes
// its corpus by relative paths between inputs. Its crash, timeout and out-of-memory reports are written
// while an input runs, so LLVMFuzzerInitialize gives them an absolute prefix (see absoluteArtifactPrefix).
//
// The commands print a lot; their console output goes to /dev/null by pointing the C streams elsewhere
// (libFuzzer and the sanitizers keep the original standard error, so their reports still show).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/byte_order.hpp"

namespace bxa::fuzz {

namespace fs = std::filesystem;

// Inputs beyond this are ignored: every command streams its files, so bigger inputs only slow the search.
inline constexpr size_t MaxInputSize = 1 << 16;
inline constexpr int EscapeDepth = 44;
inline constexpr const char* ArchiveName = "a.BXA";
inline constexpr const char* WorkDirName = "work";

// Reports a broken property on the original standard error and stops, so libFuzzer keeps the input.
[[noreturn]] inline void fail(const std::string& what);

class Sandbox {
public:
    static Sandbox& instance() {
        static Sandbox sandbox;
        return sandbox;
    }

    const fs::path& root() const { return root_; }
    const fs::path& dir() const { return dir_; }

    // Empties the sandbox, makes a fresh, empty work directory and makes the sandbox the current directory
    // until leave().
    void enter() {
        reset();
        if (::chdir(dir_.c_str()) != 0) std::abort();
    }

    void leave() {
        if (::fchdir(originalDir_) != 0) std::abort();
    }

    void reset() {
        std::error_code ec;
        for (const auto& item : fs::directory_iterator(dir_, ec)) fs::remove_all(item.path(), ec);
        fs::create_directory(dir_ / WorkDirName, ec);
    }

    // Fails unless the chain above the sandbox is untouched, and the sandbox holds nothing but the archive,
    // the work directory and the fixed temporary names of the commands. Leftover temporary files of an
    // atomic replacement (".bxa-PID-RANDOM.tmp") count too: a finished command must remove them, unless a
    // record or catalog line of the input is itself so named (`inputNames`).
    void checkNothingEscaped(std::initializer_list<const char*> allowedTemps,
                             const std::set<std::string>& inputNames = {}) const {
        fs::path level = root_;
        for (int i = 0; i <= EscapeDepth; ++i) {
            std::vector<std::string> names = listing(level);
            const char* expected = i < EscapeDepth ? "u" : "sandbox";
            if (names.size() != 1 || names[0] != expected) fail("a file appeared outside the work directory in " + level.string());
            level /= expected;
        }
        std::set<std::string> allowed{ArchiveName, WorkDirName};
        allowed.insert(allowedTemps.begin(), allowedTemps.end());
        for (const std::string& name : listing(dir_)) {
            if (allowed.count(name) == 0) fail("unexpected file in the current directory: " + name);
        }
        if (!fs::is_directory(dir_ / WorkDirName)) fail("the work directory is gone");
        std::error_code ec;
        const std::string tempMark = ".bxa-" + std::to_string(::getpid()) + "-";
        for (const auto& item : fs::recursive_directory_iterator(dir_ / WorkDirName, ec)) {
            std::string name = fs::relative(item.path(), dir_ / WorkDirName, ec).string();
            if (item.path().filename().string().starts_with(tempMark) && inputNames.count(name) == 0) {
                fail("working file left behind: " + item.path().string());
            }
            if (item.is_symlink()) fail("symbolic link made: " + item.path().string());
        }
    }

    std::FILE* report() const { return report_; }

private:
    Sandbox() {
        removeStaleSandboxes();
        std::string pattern = (scratchBase() / (SandboxPrefix + std::to_string(::getpid()) + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        root_ = pattern;
        dir_ = root_;
        for (int i = 0; i < EscapeDepth; ++i) dir_ /= "u";
        dir_ /= "sandbox";
        fs::create_directories(dir_);
        originalDir_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (originalDir_ < 0) std::abort();
        report_ = stderr;
        std::FILE* sink = std::fopen("/dev/null", "w");
        if (sink == nullptr) std::abort();
        stdout = sink;
        stderr = sink;
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(Sandbox::instance().root_, ec);
        });
    }

    // Every input creates, renames and removes a dozen files: a file system in memory makes that several
    // times faster than a disk and spares the disk the churn.
    static fs::path scratchBase() {
        std::error_code ec;
        if (fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0) return "/dev/shm";
        return fs::temp_directory_path();
    }

    static inline const std::string SandboxPrefix = "bxa-archive-fuzz-";

    // libFuzzer ends its runs with _Exit, so the atexit clean-up below does not run after a fuzzing session:
    // each new process removes the sandboxes of processes that are gone (their pid is in the name).
    static void removeStaleSandboxes() {
        std::error_code ec;
        for (const auto& item : fs::directory_iterator(scratchBase(), ec)) {
            std::string name = item.path().filename().string();
            if (!name.starts_with(SandboxPrefix)) continue;
            long pid = std::strtol(name.c_str() + SandboxPrefix.size(), nullptr, 10);
            if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) fs::remove_all(item.path(), ec);
        }
    }

    static std::vector<std::string> listing(const fs::path& dir) {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& item : fs::directory_iterator(dir, ec)) names.push_back(item.path().filename().string());
        return names;
    }

    fs::path root_;
    fs::path dir_;
    std::FILE* report_ = nullptr;
    int originalDir_ = -1;
};

// Runs an input inside the sandbox and always comes back out.
class SandboxVisit {
public:
    SandboxVisit() { Sandbox::instance().enter(); }
    ~SandboxVisit() { Sandbox::instance().leave(); }
    SandboxVisit(const SandboxVisit&) = delete;
    SandboxVisit& operator=(const SandboxVisit&) = delete;
};

// For LLVMFuzzerInitialize: adds -artifact_prefix=<current directory>/ to libFuzzer's arguments unless one
// is given, since a crash is written while the sandbox is the current directory (and would be lost there).
inline void absoluteArtifactPrefix(int* argc, char*** argv) {
    for (int i = 1; i < *argc; ++i) {
        if (std::string_view((*argv)[i]).starts_with("-artifact_prefix=")) return;
    }
    static std::string prefix = "-artifact_prefix=" + fs::current_path().string() + "/";
    static std::vector<char*> arguments;
    arguments.assign(*argv, *argv + *argc);
    arguments.push_back(prefix.data());
    arguments.push_back(nullptr);
    *argc += 1;
    *argv = arguments.data();
}

[[noreturn]] inline void fail(const std::string& what) {
    std::fprintf(Sandbox::instance().report(), "archive fuzz check failed: %s\n", what.c_str());
    std::fflush(Sandbox::instance().report());
    std::abort();
}

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool pathExists(const fs::path& path) {
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// Every file below `dir` with its bytes (directories as "name/").
inline std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& item : fs::recursive_directory_iterator(dir, ec)) {
        std::string name = fs::relative(item.path(), dir, ec).string();
        if (item.is_regular_file()) files[name] = readFile(item.path());
        else files[name + "/"] = "";
    }
    return files;
}

struct ArchiveRecord {
    std::string name;
    int32_t storedSize = 0;
    int32_t method = 0;
};

// The records of an archive exactly as the writers lay it out: header 16, 1, 1, count; records back to
// back from the end of the table; names NUL-terminated inside their field; the file ends after the last
// record, unless `trailing` is Kept: replace and add copy an old archive's bytes behind its last record
// along with that record. Fails (via fail()) when `bytes` is not such an archive.
enum class TrailingBytes { Refused, Kept };
inline std::vector<ArchiveRecord> parseWrittenArchive(const std::string& bytes, const std::string& context,
                                                      TrailingBytes trailing = TrailingBytes::Refused) {
    auto at = [&](size_t offset) { return loadInt32(reinterpret_cast<const uint8_t*>(bytes.data()) + offset); };
    if (bytes.size() < 16) fail(context + ": archive shorter than its header");
    if (at(0) != 16 || at(4) != 1 || at(8) != 1) fail(context + ": header is not 16, 1, 1");
    int32_t count = at(12);
    if (count < 0 || bytes.size() < 16 + 48ull * static_cast<uint64_t>(count)) fail(context + ": table cut short");
    std::vector<ArchiveRecord> records;
    int64_t expected = 16 + 48ll * count;
    for (int32_t i = 0; i < count; ++i) {
        size_t base = 16 + 48 * static_cast<size_t>(i);
        ArchiveRecord record;
        record.storedSize = at(base + 4);
        record.method = at(base + 8);
        if (at(base + 12) != expected || record.storedSize < 0) fail(context + ": records not back to back");
        std::string_view field(bytes.data() + base + 16, 32);
        size_t nul = field.find('\0');
        if (nul == std::string_view::npos) fail(context + ": name without its NUL");
        record.name = std::string(field.substr(0, nul));
        expected += record.storedSize;
        records.push_back(record);
    }
    if (static_cast<int64_t>(bytes.size()) < expected ||
        (trailing == TrailingBytes::Refused && static_cast<int64_t>(bytes.size()) != expected)) fail(context + ": archive does not end after its last record");
    return records;
}

// The input split at every occurrence of `separator`.
inline std::vector<std::string_view> splitInput(std::string_view input, std::string_view separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        size_t at = input.find(separator);
        if (at == std::string_view::npos) break;
        parts.push_back(input.substr(0, at));
        input.remove_prefix(at + separator.size());
    }
    parts.push_back(input);
    return parts;
}

// A file name the harness itself may create in the work directory: one plain component.
inline bool isPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace bxa::fuzz
