// What the fault tests share: a work directory big enough that every command writes for a while (files of
// graded sizes, so a write limit stops each command at a different step), one model of each kind, and
// checks that a failed or interrupted command left the old archive alone.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "e2e/e2e_support.hpp"

namespace bxa::testing {

// A whole file in one read: the archives here run to megabytes, and reading them a character at a time
// dominates the run time in the unoptimised sanitizer build.
inline std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return {};
    std::string bytes(static_cast<size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

// Every file below `dir` with its bytes, directories as "name/".
inline std::map<std::string, std::string> snapshotFiles(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& item : fs::recursive_directory_iterator(dir)) {
        std::string name = fs::relative(item.path(), dir).string();
        if (item.is_regular_file()) files[name] = readBytes(item.path());
        else files[name + "/"] = "";
    }
    return files;
}

// Bytes that do not compress (a fixed linear congruential sequence), and text that does.
inline std::string noiseBytes(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return bytes;
}

inline std::string tableText(size_t size, int variant) {
    std::string text;
    for (int row = 0; text.size() < size; ++row) {
        text += std::to_string(row) + "," + std::to_string(row * 7 + variant) + ",item" + std::to_string(row % 13) +
                ",value " + std::to_string((row * 31 + variant) % 1000) + "\r\n";
    }
    text.resize(size);
    return text;
}

inline std::string exampleFile(const std::string& name) {
    return readBytes(fs::path(BXA_SOURCE_DIR) / "examples" / "work" / name);
}

// The text form of an R7D model of `vertices` vertices and as many faces, as unpack writes it: large
// enough that parsing it takes a while.
inline std::string largeR7dText(int vertices, int variant) {
    char line[160];
    std::string text;
    std::snprintf(line, sizeof line, "NumVertices: %6d\r\nNumFaces: %6d\r\nNumBitmaps: %6d\r\nNumEntities: %6d\r\n",
                  vertices, vertices, 1, 1);
    text += line;
    text += "// Vertex: X Y Z unused normalX normalY normalZ unused textureU textureV\r\n";
    for (int v = 0; v < vertices; ++v) {
        std::snprintf(line, sizeof line, "%8.4f %8.4f %8.4f   0.0000   0.0000   0.0000   1.0000   0.0000 %8.4f %8.4f\r\n",
                      (v % 97) * 0.25, (v / 97) * 0.5, variant * 0.125, (v % 7) / 7.0, (v % 11) / 11.0);
        text += line;
    }
    text += "// Face: vertexA vertexB vertexC bitmapIndex bitmapName(for information only)\r\n";
    for (int f = 0; f < vertices; ++f) {
        std::snprintf(line, sizeof line, "Face[%4d]:%3d %3d %3d %3d // crate.bmp\r\n", f, f % vertices,
                      (f + 1) % vertices, (f + 97) % vertices, 0);
        text += line;
    }
    text += "// Bitmaps\r\nBitmap[  0]:crate.bmp\r\n// Entities\r\n";
    text += "Entity[  0]:                           Panel:   1.0000   0.7500   0.0000   0.0000   0.0000   0.0000"
            "   0.7854      7      0     -1     -1      2      0      4    0        0        0        0\r\n";
    return text;
}

// Small files first, so that a small write limit fails early and a big one late.
inline std::vector<WorkFile> gradedWorkFiles() {
    return {{"PANEL.R7D", 1, exampleFile("PANEL.R7D")}, {"BOAT.R7P", 1, exampleFile("BOAT.R7P")},
            {"BUSH.R7T", 1, exampleFile("BUSH.R7T")},   {"PRICES.CSV", 2, exampleFile("PRICES.CSV")},
            {"S3K.DAT", 2, tableText(3000, 1)},         {"R10K.BIN", 0, noiseBytes(10000, 1)},
            {"T40K.CSV", 2, tableText(40000, 2)},       {"R150K.BIN", 1, noiseBytes(150000, 2)},
            {"R600K.BIN", 0, noiseBytes(600000, 3)},    {"R1500K.BIN", 0, noiseBytes(1500000, 4)}};
}

// Names a failed or interrupted command may leave in the current directory besides the archive and the
// work directory: the fixed temporary names. A temporary file of an atomic replacement must not stay.
inline bool onlyKnownLeftovers(const fs::path& cwd, const std::set<std::string>& expected) {
    static const std::set<std::string> temps = {"tmp.BXA", "tmp.cmp", "tmp.r7"};
    for (const auto& item : fs::directory_iterator(cwd)) {
        std::string name = item.path().filename().string();
        if (expected.count(name) == 0 && temps.count(name) == 0) {
            ADD_FAILURE() << "left behind: " << name;
            return false;
        }
    }
    return true;
}

// The names whose presence or bytes differ between two snapshots (comparing the maps themselves would
// print megabytes of file contents on a failure).
inline std::vector<std::string> differingNames(const std::map<std::string, std::string>& before,
                                               const std::map<std::string, std::string>& after) {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : before) {
        auto found = after.find(name);
        if (found == after.end() || found->second != bytes) names.push_back(name);
    }
    for (const auto& item : after) {
        if (before.count(item.first) == 0) names.push_back(item.first);
    }
    return names;
}

// Starts bxa in `cwd` with its console on /dev/null, without waiting; returns its process id.
inline pid_t startBxa(const std::vector<std::string>& args, const fs::path& cwd) {
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(cwd.c_str()) != 0) ::_exit(127);
        int sink = ::open("/dev/null", O_RDWR);
        ::dup2(sink, 0);
        ::dup2(sink, 1);
        ::dup2(sink, 2);
        std::vector<char*> argv;
        std::string program = BXA_BINARY;
        argv.push_back(program.data());
        std::vector<std::string> copies = args;
        for (std::string& a : copies) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

// Waits for a process of startBxa; returns its exit status (-1 when it did not exit).
inline int waitForBxa(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool failedWithPrompt(const RunResult& r) { return r.exitCode == 1 && endsWith(r.out, ClosingPrompt); }

inline bool printedAnError(const RunResult& r) {
    return r.out.find("Error") != std::string::npos || r.err.find("Error") != std::string::npos;
}

// Sends the console output of in-process commands to /dev/null while it lives (thousands of progress
// lines would bury the test's own report).
class Silenced {
public:
    Silenced() {
        std::fflush(stdout);
        std::fflush(stderr);
        savedOut_ = ::dup(1);
        savedErr_ = ::dup(2);
        int sink = ::open("/dev/null", O_WRONLY);
        ::dup2(sink, 1);
        ::dup2(sink, 2);
        ::close(sink);
    }
    ~Silenced() {
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(savedOut_, 1);
        ::dup2(savedErr_, 2);
        ::close(savedOut_);
        ::close(savedErr_);
    }
    Silenced(const Silenced&) = delete;
    Silenced& operator=(const Silenced&) = delete;

private:
    int savedOut_ = -1;
    int savedErr_ = -1;
};

// A scratch directory in memory when the machine has one: the interruption and flip tests create and
// remove many files, and the properties checked do not depend on the file system.
class MemoryScratchDir {
public:
    MemoryScratchDir() {
        std::error_code ec;
        fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        std::string pattern = (base / "bxa-faults-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~MemoryScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    MemoryScratchDir(const MemoryScratchDir&) = delete;
    MemoryScratchDir& operator=(const MemoryScratchDir&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// While it lives, a scratch directory in memory is the current directory: for tests that run the commands
// in-process, which write their files there.
class InScratchDirectory {
public:
    InScratchDirectory() : previous_(fs::current_path()) { fs::current_path(dir_.path()); }
    ~InScratchDirectory() { fs::current_path(previous_); }
    InScratchDirectory(const InScratchDirectory&) = delete;
    InScratchDirectory& operator=(const InScratchDirectory&) = delete;
    const fs::path& path() const { return dir_.path(); }

private:
    MemoryScratchDir dir_;
    fs::path previous_;
};

}  // namespace bxa::testing
