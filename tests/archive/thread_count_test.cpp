// Everything a user can observe is what one thread gives, whatever the thread count: the archive's bytes,
// every file of the work directory and of the current directory, the messages on both streams in their
// order, and the result, also when a run fails at a record in the middle. The commands run in-process, in a
// scratch current directory, on random work directories.
#include <gtest/gtest.h>

#include <random>

#include "archive/commands.hpp"
#include "faults/fault_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

constexpr unsigned ThreadCounts[] = {1, 2, 3, 8};

// What a command left and said.
struct Outcome {
    bool result = false;
    std::vector<std::pair<platform::Stream, std::string>> messages;
    std::map<std::string, std::string> files;  // the whole scratch directory

    bool operator==(const Outcome&) const = default;
};

class ThreadCount : public ::testing::Test {
protected:
    InScratchDirectory scratch;

    // Puts `start` in the scratch directory, runs `command` and reports what it left and said.
    template <typename Command>
    Outcome run(const std::map<std::string, std::string>& start, Command command) {
        for (const auto& item : fs::directory_iterator(".")) fs::remove_all(item.path());
        for (const auto& [name, bytes] : start) {
            if (name.ends_with("/")) {
                fs::create_directories(name);
                continue;
            }
            fs::create_directories(fs::path(name).parent_path().empty() ? fs::path(".") : fs::path(name).parent_path());
            writeFile(name, bytes);
        }
        platform::RecordingConsole console;
        TocList toc;
        Outcome outcome;
        outcome.result = command(toc, console);
        outcome.messages = console.messages();
        outcome.files = snapshotFiles(".");
        return outcome;
    }

    // Runs `command(threads)` from `start` with every thread count; each must give one thread's outcome.
    template <typename Command>
    Outcome expectSameForEveryThreadCount(const std::map<std::string, std::string>& start, Command command) {
        const Outcome single = run(start, [&](TocList& toc, platform::Console& console) { return command(toc, console, 1u); });
        for (unsigned threads : ThreadCounts) {
            const Outcome many = run(start, [&](TocList& toc, platform::Console& console) { return command(toc, console, threads); });
            EXPECT_EQ(many.result, single.result) << threads << " threads";
            EXPECT_EQ(many.messages, single.messages) << threads << " threads";
            EXPECT_EQ(differingNames(single.files, many.files), std::vector<std::string>{}) << threads << " threads";
        }
        return single;
    }
};

// A random work directory: tables, noise, models and one large record, with random methods.
std::map<std::string, std::string> randomWorkDirectory(uint32_t seed, std::vector<WorkFile>& files) {
    std::mt19937 random(seed);
    files.clear();
    const int count = 5 + static_cast<int>(random() % 20);
    for (int i = 0; i < count; ++i) {
        char name[32];
        switch (random() % 4) {
            case 0:
                std::snprintf(name, sizeof name, "T%02d.CSV", i);
                files.push_back({name, 2, tableText(random() % 200000, i)});
                break;
            case 1:
                std::snprintf(name, sizeof name, "N%02d.BIN", i);
                files.push_back({name, static_cast<int32_t>(random() % 2), noiseBytes(random() % 100000, seed + i)});
                break;
            case 2:
                std::snprintf(name, sizeof name, "M%02d.R7D", i);
                files.push_back({name, 1, largeR7dText(50 + static_cast<int>(random() % 2000), i)});
                break;
            default:
                std::snprintf(name, sizeof name, "B%02d.R7T", i);
                files.push_back({name, 1 + static_cast<int32_t>(random() % 2), exampleFile("BUSH.R7T")});
                break;
        }
    }
    // One record large enough to be coded on several threads.
    files.push_back({"LARGE.DAT", 2, tableText(3 << 20, static_cast<int>(seed))});
    std::shuffle(files.begin(), files.end(), random);
    std::map<std::string, std::string> start;
    for (const WorkFile& f : files) start["work/" + f.name] = f.bytes;
    start["work/catalog.dat"] = catalogFor(files);
    return start;
}

auto packCommand = [](TocList& toc, platform::Console& console, unsigned threads) {
    return packArchive(toc, "a.BXA", "work", console, threads);
};
auto unpackCommand = [](TocList& toc, platform::Console& console, unsigned threads) {
    return unpackArchive(toc, "a.BXA", "out", std::nullopt, console, threads);
};

TEST_F(ThreadCount, PackAndUnpackOfRandomWorkDirectories) {
    for (uint32_t seed = 1; seed <= 3; ++seed) {
        SCOPED_TRACE(seed);
        std::vector<WorkFile> files;
        std::map<std::string, std::string> start = randomWorkDirectory(seed, files);
        start["a.BXA"] = "old archive";
        const Outcome packed = expectSameForEveryThreadCount(start, packCommand);
        ASSERT_TRUE(packed.result);
        std::map<std::string, std::string> archive = {{"a.BXA", packed.files.at("a.BXA")}};
        const Outcome unpacked = expectSameForEveryThreadCount(archive, unpackCommand);
        ASSERT_TRUE(unpacked.result);
        // Data records come back byte for byte (models come back in the text form the converter writes).
        for (const WorkFile& f : files) {
            if (!f.name.ends_with(".R7D") && !f.name.ends_with(".R7T")) {
                EXPECT_TRUE(unpacked.files.at("out/" + f.name) == f.bytes) << f.name;
            }
        }
    }
}

TEST_F(ThreadCount, ARunThatFailsInTheMiddleShowsNothingOfTheRecordsBehind) {
    std::vector<WorkFile> files;
    std::map<std::string, std::string> start = randomWorkDirectory(7, files);
    // Pack: a member in the middle is missing.
    start.erase("work/" + files[files.size() / 2].name);
    start["a.BXA"] = "old archive";
    const Outcome pack = expectSameForEveryThreadCount(start, packCommand);
    EXPECT_FALSE(pack.result);
    EXPECT_EQ(pack.files.at("a.BXA"), "old archive");
    // Unpack: the file of a record in the middle is a directory.
    start = randomWorkDirectory(7, files);
    const Outcome packed = run(start, [](TocList& toc, platform::Console& console) { return packArchive(toc, "a.BXA", "work", console, 2); });
    ASSERT_TRUE(packed.result);
    const std::string middle = files[files.size() / 2].name;
    const Outcome unpack = expectSameForEveryThreadCount({{"a.BXA", packed.files.at("a.BXA")}, {"out/" + middle + "/", ""}},
                                                         unpackCommand);
    EXPECT_FALSE(unpack.result);
    for (size_t i = files.size() / 2 + 1; i < files.size(); ++i) {
        EXPECT_EQ(unpack.files.count("out/" + files[i].name), 0u) << files[i].name << " was written after the failure";
    }
}

TEST_F(ThreadCount, ReplaceAndAddOfALargeRecord) {
    std::vector<WorkFile> files;
    std::map<std::string, std::string> start = randomWorkDirectory(11, files);
    const Outcome packed = run(start, [](TocList& toc, platform::Console& console) { return packArchive(toc, "a.BXA", "work", console, 2); });
    ASSERT_TRUE(packed.result);
    std::map<std::string, std::string> edited = start;
    edited["a.BXA"] = packed.files.at("a.BXA");
    edited["work/LARGE.DAT"] = tableText(4 << 20, 99);
    edited["work/NEW.R7D"] = largeR7dText(3000, 5);
    EXPECT_TRUE(expectSameForEveryThreadCount(edited, [](TocList& toc, platform::Console& console, unsigned threads) {
                    return replaceRecord(toc, "a.BXA", "work", "LARGE.DAT", console, threads);
                }).result);
    EXPECT_TRUE(expectSameForEveryThreadCount(edited, [](TocList& toc, platform::Console& console, unsigned threads) {
                    return addFile(toc, "a.BXA", "work", "NEW.R7D", console, threads);
                }).result);
}

}  // namespace
}  // namespace bxa
