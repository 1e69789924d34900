// Helpers shared by the tests: scratch directories, whole-file reads and writes, raw archive building,
// and running the built bxa binary as a process.
#pragma once

#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace bxa::testing {

namespace fs = std::filesystem;

class ScratchDir {
public:
    ScratchDir() {
        std::random_device device;
        path_ = fs::temp_directory_path() / ("bxa-test-" + std::to_string(device()) + std::to_string(device()));
        fs::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const fs::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

inline std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string int32Bytes(int32_t value) {
    auto v = static_cast<uint32_t>(value);
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                       static_cast<char>((v >> 16) & 0xFF), static_cast<char>((v >> 24) & 0xFF)};
}

inline int32_t int32At(const std::string& bytes, size_t offset) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes.at(offset + static_cast<size_t>(i)));
    return static_cast<int32_t>(v);
}

// One table-of-contents record as raw bytes; `nameField` is padded with NUL bytes (or cut) to 32 bytes.
struct RawRecord {
    int32_t originalSize = 0;
    int32_t storedSize = 0;
    int32_t method = 0;
    int32_t dataOffset = 0;
    std::string nameField;
};

inline std::string recordBytes(const RawRecord& r) {
    std::string name = r.nameField;
    name.resize(32, '\0');
    return int32Bytes(r.originalSize) + int32Bytes(r.storedSize) + int32Bytes(r.method) +
           int32Bytes(r.dataOffset) + name;
}

inline std::string headerBytes(int32_t count) {
    return int32Bytes(16) + int32Bytes(1) + int32Bytes(1) + int32Bytes(count);
}

// A well-formed archive of stored records: (name, method, data) each, offsets back to back.
struct StoredRecord {
    std::string name;
    int32_t method = 0;
    std::string data;
};

inline std::string buildArchive(const std::vector<StoredRecord>& records) {
    std::string table;
    std::string data;
    int32_t offset = static_cast<int32_t>(16 + 48 * records.size());
    for (const auto& r : records) {
        table += recordBytes({static_cast<int32_t>(r.data.size()), static_cast<int32_t>(r.data.size()), r.method,
                              offset, r.name});
        data += r.data;
        offset += static_cast<int32_t>(r.data.size());
    }
    return headerBytes(static_cast<int32_t>(records.size())) + table + data;
}

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') quoted += "'\\''";
        else quoted += c;
    }
    return quoted + "'";
}

// Runs bxa with `args` in `cwd`; standard input is `input`. `prefix` is put before the command in the
// shell (for limits such as "ulimit -f 8;").
inline RunResult runBxa(const std::vector<std::string>& args, const fs::path& cwd, const std::string& input = "",
                        const std::string& prefix = "", const std::string& program = BXA_BINARY) {
    ScratchDir io;
    writeFile(io.path() / "in", input);
    std::string command = "cd " + shellQuote(cwd.string()) + " && " + prefix + " " + shellQuote(program);
    for (const auto& a : args) command += " " + shellQuote(a);
    command += " <" + shellQuote((io.path() / "in").string()) + " >" + shellQuote((io.path() / "out").string()) +
               " 2>" + shellQuote((io.path() / "err").string());
    int status = std::system(("sh -c " + shellQuote(command)).c_str());
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = readFile(io.path() / "out");
    result.err = readFile(io.path() / "err");
    return result;
}

inline const std::string ClosingPrompt = "\n\nPress any key to continue...";

// ---- The platform of the binary under test ----
// The same end-to-end tests drive the Linux binary and, built a second time, the Windows one under Wine
// (tests/windows). BXA_BINARY is then a script that runs BXA_EXECUTABLE, the exe itself.
inline constexpr bool TargetIsWindows = BXA_TARGET_WINDOWS != 0;
// The separator the binary joins a directory and a file name with, as its messages show it.
inline constexpr char TargetSeparator = TargetIsWindows ? '\\' : '/';

inline std::string joined(const std::string& directory, const std::string& name) {
    return directory + TargetSeparator + name;
}

// Skips the current test when the binary under test is the Windows one, saying why.
#define BXA_SKIP_ON_WINDOWS(why)                                                 \
    do {                                                                         \
        if (::bxa::testing::TargetIsWindows) GTEST_SKIP() << "Windows build: " << (why); \
    } while (false)

inline bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace bxa::testing
