// Pack, replace and add killed with SIGKILL part way: after every kill the archive is either the old one or
// the complete new one, byte for byte, every file of the work directory is as it was (catalog.dat, which
// add rewrites, is the old one or the new one), and running the command again gives the complete new
// archive and leaves no working file behind.
//
// The kill points are spread over the measured duration of an uninterrupted run of the same command on the
// same files (50 points each), so they fall in every phase: encoding, writing the new archive, moving it
// into place. Timing only places the kills; no assertion depends on it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "faults/fault_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

constexpr int KillPoints = 50;
// Every this many kills, the command is run again to its end.
constexpr int RerunEvery = 10;

// About two megabytes in 142 records: compressible tables, stored noise and models. Compression takes most
// of a run's time, so most of the bytes are stored noise, which keeps the test short under the sanitizer
// build while the archive stays large.
std::vector<WorkFile> largeWorkFiles() {
    std::vector<WorkFile> files;
    char name[32];
    for (int i = 0; i < 100; ++i) {
        std::snprintf(name, sizeof name, "T%03d.CSV", i);
        files.push_back({name, 2, tableText(4000, i)});
    }
    for (int i = 0; i < 30; ++i) {
        std::snprintf(name, sizeof name, "R%03d.BIN", i);
        files.push_back({name, 0, noiseBytes(60000, static_cast<uint32_t>(i))});
    }
    // Large text forms: a kill while one is parsed must never leave it changed.
    for (int i = 0; i < 4; ++i) {
        std::snprintf(name, sizeof name, "L%02d.R7D", i);
        files.push_back({name, 1, largeR7dText(4000, i)});
    }
    for (int i = 0; i < 4; ++i) {
        for (const char* kind : {"R7D", "R7P", "R7T"}) {
            std::snprintf(name, sizeof name, "M%02d.%s", i, kind);
            const char* example = kind[2] == 'D' ? "PANEL.R7D" : kind[2] == 'P' ? "BOAT.R7P" : "BUSH.R7T";
            files.push_back({name, 1, exampleFile(example)});
        }
    }
    return files;
}

struct Tally {
    int kills = 0;
    int old = 0;
    int complete = 0;
    int workIntact = 0;
};

// Working files of bxa anywhere below `dir` (".bxa-PID-RANDOM.tmp").
std::vector<std::string> workingFilesBelow(const fs::path& dir) {
    std::vector<std::string> found;
    for (const auto& item : fs::recursive_directory_iterator(dir)) {
        if (item.path().filename().string().starts_with(".bxa-")) found.push_back(item.path().string());
    }
    return found;
}

class Interruption : public ::testing::Test {
protected:
    MemoryScratchDir dir;
    fs::path cwd() const { return dir.path(); }
    std::string oldArchive;
    std::map<std::string, std::string> oldWork;

    void SetUp() override {
        writeWorkDir(cwd() / "work", largeWorkFiles());
        ASSERT_FALSE(failedWithPrompt(runBxa({"-p", "a.BXA", "work"}, cwd())));
        oldArchive = readBytes(cwd() / "a.BXA");
        oldWork = snapshotFiles(cwd() / "work");
    }

    // Puts back the old archive and work directory, applies `edit`, and removes what a killed run left.
    void restore(const std::map<std::string, std::string>& edit) {
        fs::remove_all(cwd());
        fs::create_directories(cwd() / "work");
        writeFile(cwd() / "a.BXA", oldArchive);
        for (const auto& [name, bytes] : oldWork) writeFile(cwd() / "work" / name, bytes);
        for (const auto& [name, bytes] : edit) writeFile(cwd() / "work" / name, bytes);
    }

    pid_t start(const std::vector<std::string>& args) { return startBxa(args, cwd()); }
    static void finish(pid_t pid) { waitForBxa(pid); }

    // Runs the command to its end and returns how long it took.
    std::chrono::microseconds runToEnd(const std::vector<std::string>& args) {
        auto begin = std::chrono::steady_clock::now();
        finish(start(args));
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin);
    }

    Tally killRepeatedly(const std::vector<std::string>& args, const std::map<std::string, std::string>& edit) {
        restore(edit);
        const auto duration = runToEnd(args);
        const std::string newArchive = readBytes(cwd() / "a.BXA");
        EXPECT_NE(newArchive, oldArchive) << "the command changed nothing";
        const std::string newCatalog = readBytes(cwd() / "work" / "catalog.dat");
        std::map<std::string, std::string> expectedWork = oldWork;
        for (const auto& [name, bytes] : edit) expectedWork[name] = bytes;
        Tally tally;
        for (int point = 0; point < KillPoints; ++point) {
            restore(edit);
            pid_t pid = start(args);
            // A little past the measured end too, so that some kills land around the final rename.
            std::this_thread::sleep_for(duration * point * 6 / (5 * KillPoints));
            ::kill(pid, SIGKILL);
            finish(pid);
            ++tally.kills;
            const std::string archive = readBytes(cwd() / "a.BXA");
            if (archive == oldArchive) ++tally.old;
            else if (archive == newArchive) ++tally.complete;
            else ADD_FAILURE() << "killed after " << (duration * point * 6 / (5 * KillPoints)).count()
                               << " us: the archive is neither the old nor the new one (" << archive.size() << " bytes)";
            // Every author file as it was; the side files the command rewrites are old or new.
            std::map<std::string, std::string> work = snapshotFiles(cwd() / "work");
            work.erase("header.dat");
            const auto catalog = work.find("catalog.dat");
            const bool catalogWhole = catalog != work.end() &&
                                      (catalog->second == expectedWork["catalog.dat"] || catalog->second == newCatalog);
            if (catalogWhole) work.erase("catalog.dat");
            std::map<std::string, std::string> expected = expectedWork;
            if (catalogWhole) expected.erase("catalog.dat");
            std::erase_if(work, [](const auto& item) { return item.first.starts_with(".bxa-"); });
            const std::vector<std::string> changed = differingNames(expected, work);
            if (changed.empty()) ++tally.workIntact;
            else ADD_FAILURE() << "killed at point " << point << ": work directory file changed: " << changed.front();
            if (point % RerunEvery == 0) {
                runToEnd(args);
                EXPECT_TRUE(readBytes(cwd() / "a.BXA") == newArchive) << "rerun after a kill at point " << point;
                EXPECT_EQ(workingFilesBelow(cwd()), std::vector<std::string>{}) << "after the rerun at point " << point;
            }
        }
        std::printf("%s killed %d times: %d old archive, %d complete new archive, %d with every work file intact\n",
                    args[0].c_str(), tally.kills, tally.old, tally.complete, tally.workIntact);
        RecordProperty("kills", tally.kills);
        RecordProperty("intact", tally.old + tally.complete);
        RecordProperty("workIntact", tally.workIntact);
        return tally;
    }
};

TEST_F(Interruption, KilledPackLeavesTheOldOrTheNewArchive) {
    Tally tally = killRepeatedly({"-p", "a.BXA", "work"}, {{"T050.CSV", tableText(100000, 999)}});
    EXPECT_EQ(tally.old + tally.complete, tally.kills);
    EXPECT_EQ(tally.workIntact, tally.kills);
}

TEST_F(Interruption, KilledReplaceLeavesTheOldOrTheNewArchive) {
    Tally tally = killRepeatedly({"-p", "-f", "T050.CSV", "a.BXA", "work"}, {{"T050.CSV", tableText(100000, 999)}});
    EXPECT_EQ(tally.old + tally.complete, tally.kills);
    EXPECT_EQ(tally.workIntact, tally.kills);
}

TEST_F(Interruption, KilledReplaceOfAModelLeavesTheOldOrTheNewArchive) {
    std::string edited = exampleFile("BUSH.R7T");
    edited.replace(edited.find("0.500000"), 8, "0.625000");
    Tally tally = killRepeatedly({"-p", "-f", "M02.R7T", "a.BXA", "work"}, {{"M02.R7T", edited}});
    EXPECT_EQ(tally.old + tally.complete, tally.kills);
    EXPECT_EQ(tally.workIntact, tally.kills);
}

TEST_F(Interruption, KilledReplaceOfALargeModelLeavesItsTextAsItWas) {
    Tally tally = killRepeatedly({"-p", "-f", "L01.R7D", "a.BXA", "work"}, {{"L01.R7D", largeR7dText(6000, 9)}});
    EXPECT_EQ(tally.old + tally.complete, tally.kills);
    EXPECT_EQ(tally.workIntact, tally.kills);
}

TEST_F(Interruption, KilledAddLeavesTheOldOrTheNewArchive) {
    Tally tally = killRepeatedly({"-a", "-f", "NEW.R7D", "a.BXA", "work"}, {{"NEW.R7D", largeR7dText(6000, 7)}});
    EXPECT_EQ(tally.old + tally.complete, tally.kills);
    EXPECT_EQ(tally.workIntact, tally.kills);
}

}  // namespace
}  // namespace bxa
