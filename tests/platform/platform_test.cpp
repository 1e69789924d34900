#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/byte_order.hpp"
#include "platform/file.hpp"
#include "platform/directory.hpp"
#include "support/test_support.hpp"

namespace bxa::platform {
namespace {

using bxa::testing::readFile;
using bxa::testing::ScratchDir;
using bxa::testing::writeFile;
namespace fs = std::filesystem;

TEST(ByteOrder, RoundTripsSignedAndUnsignedFieldsLittleEndian) {
    uint8_t bytes[4];
    storeInt32(bytes, -2);
    EXPECT_EQ(bytes[0], 0xFE);
    EXPECT_EQ(bytes[3], 0xFF);
    EXPECT_EQ(loadInt32(bytes), -2);
    storeUint16(bytes, 40000);
    EXPECT_EQ(loadUint16(bytes), 40000);
    EXPECT_EQ(loadInt16(bytes), static_cast<int16_t>(40000 - 65536));
    storeFloat32(bytes, 1.5f);
    EXPECT_EQ(loadFloat32(bytes), 1.5f);
}

TEST(FileSystem, JoinsWithTheSeparatorAndNothingElse) {
    EXPECT_EQ(joinPath("dir", "a.CSV"), std::string("dir") + pathSeparator() + "a.CSV");
    EXPECT_EQ(joinPath("dir/", ""), std::string("dir/") + pathSeparator());
}

TEST(Directory, MakeAcceptsAnExistingOneButNotAFile) {
    ScratchDir dir;
    EXPECT_TRUE(Directory::make(dir / "d"));
    EXPECT_TRUE(Directory::make(dir / "d"));
    writeFile(dir.path() / "f", "x");
    EXPECT_FALSE(Directory::make(dir / "f"));
    EXPECT_FALSE(Directory::make(""));
}

TEST(Directory, AWorkingFileAppearsUnderItsNameOnlyWhenCommitted) {
    ScratchDir dir;
    Directory directory = Directory::open(dir.path().string());
    ASSERT_TRUE(directory);
    writeFile(dir.path() / "target", "old");
    {
        WorkingFile working = directory.createWorkingFile();
        ASSERT_TRUE(working);
        EXPECT_TRUE(isWorkingFileName(working.name()));
        working.file().write("new");
        EXPECT_EQ(readFile(dir.path() / "target"), "old");
    }
    // Destroyed uncommitted: gone, and the target untouched.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
    WorkingFile working = directory.createWorkingFile();
    working.file().write("new");
    ASSERT_TRUE(working.commit("target", true));
    EXPECT_EQ(readFile(dir.path() / "target"), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
}

TEST(Directory, CommitsOverAFileKeepNoDescriptorOfTheReplacedOne) {
    if (!fs::is_directory("/proc/self/fd")) GTEST_SKIP() << "no /proc/self/fd";
    ScratchDir dir;
    Directory directory = Directory::open(dir.path().string());
    writeFile(dir.path() / "target", "first");
    // A reader of the old file keeps what it opened.
    File reader = File::openForReading(dir / "target");
    const auto openDescriptors = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
    const auto before = openDescriptors();
    for (int round = 0; round < 20; ++round) {
        WorkingFile working = directory.createWorkingFile();
        working.file().write("round " + std::to_string(round));
        ASSERT_TRUE(working.commit("target", round % 2 == 0));
    }
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_EQ(readFile(dir.path() / "target"), "round 19");
    char old[5];
    ASSERT_EQ(reader.read(old, sizeof old), sizeof old);
    EXPECT_EQ(std::string(old, sizeof old), "first");
}

TEST(Directory, ACommitReplacesASymbolicLinkButNeverADirectoryOrFifo) {
    ScratchDir dir;
    Directory directory = Directory::open(dir.path().string());
    writeFile(dir.path() / "outside", "precious");
    fs::create_symlink(dir.path() / "outside", dir.path() / "link");
    fs::create_directory(dir.path() / "sub");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    for (const char* leaf : {"link", "sub", "fifo"}) {
        WorkingFile working = directory.createWorkingFile();
        working.file().write("mine");
        OpenFailure failure = OpenFailure::None;
        bool committed = working.commit(leaf, false, &failure);
        EXPECT_EQ(committed, std::string(leaf) == "link") << leaf;
        if (std::string(leaf) == "sub") {
            EXPECT_EQ(failure, OpenFailure::IsDirectory);
        } else if (std::string(leaf) == "fifo") {
            EXPECT_EQ(failure, OpenFailure::NotRegular);
        }
    }
    EXPECT_EQ(readFile(dir.path() / "outside"), "precious");
    EXPECT_EQ(readFile(dir.path() / "link"), "mine");
    EXPECT_TRUE(fs::is_fifo(dir.path() / "fifo"));
}

TEST(Directory, NamesAreResolvedBelowItWithoutFollowingLinks) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "work" / "sub");
    fs::create_directories(dir.path() / "elsewhere");
    writeFile(dir.path() / "elsewhere" / "x", "outside");
    writeFile(dir.path() / "work" / "sub" / "x", "inside");
    fs::create_directory_symlink(dir.path() / "elsewhere", dir.path() / "work" / "link");
    Directory work = Directory::open(dir / "work");
    std::string leaf;
    OpenFailure failure = OpenFailure::None;
    Directory sub = work.parentOf("sub/x", leaf, &failure);
    ASSERT_TRUE(sub);
    EXPECT_EQ(leaf, "x");
    EXPECT_EQ(sub.pathOf(leaf), dir / "work" + "/sub/x");
    EXPECT_FALSE(work.parentOf("link/x", leaf, &failure));
    EXPECT_EQ(failure, OpenFailure::LinkInPath);
    EXPECT_FALSE(work.openForReading("link/x", &failure));
    EXPECT_EQ(failure, OpenFailure::LinkInPath);
    for (const char* escaping : {"../x", "sub/../../x", "/x", "sub//x", ""}) {
        EXPECT_FALSE(work.parentOf(escaping, leaf)) << escaping;
    }
    File inside = work.openForReading("sub/x");
    ASSERT_TRUE(inside);
    char bytes[6] = {};
    EXPECT_EQ(inside.read(bytes, 6), 6u);
    EXPECT_EQ(std::string(bytes, 6), "inside");
}

TEST(Directory, ASubdirectoryIsMadeOrOpenedButNeverThroughALink) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "elsewhere");
    fs::create_directory_symlink(dir.path() / "elsewhere", dir.path() / "link");
    writeFile(dir.path() / "file", "x");
    Directory directory = Directory::open(dir.path().string());
    Directory made = directory.makeSubdirectory("made");
    ASSERT_TRUE(made);
    EXPECT_EQ(made.pathOf("x"), dir / "made" + "/x");
    EXPECT_TRUE(directory.makeSubdirectory("made"));  // an existing one is opened
    OpenFailure failure = OpenFailure::None;
    EXPECT_FALSE(directory.makeSubdirectory("link", &failure));
    EXPECT_EQ(failure, OpenFailure::LinkInPath);
    EXPECT_FALSE(directory.makeSubdirectory("file"));
}

// Another process's try to take the update lock of the file at `path`, without waiting.
bool lockedElsewhere(const std::string& path) {
    pid_t child = ::fork();
    if (child == 0) {
        File file = File::openForReading(path);
        ::_exit(file && file.lockExclusive(false) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Directory, ACommittedFileHeldOpenKeepsItsLockUntilDestroyed) {
    ScratchDir dir;
    Directory directory = Directory::open(dir.path().string());
    {
        WorkingFile working = directory.createWorkingFile();
        working.file().write("new");
        ASSERT_TRUE(working.commitAndHold("target", true));
        EXPECT_EQ(readFile(dir.path() / "target"), "new");
        EXPECT_TRUE(lockedElsewhere(dir / "target"));
    }
    EXPECT_FALSE(lockedElsewhere(dir / "target"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
    WorkingFile working = directory.createWorkingFile();
    ASSERT_TRUE(working.commit("target"));
    EXPECT_FALSE(lockedElsewhere(dir / "target"));
}

TEST(Directory, TheCurrentDirectoryNamesItsFilesWithoutADirectory) {
    EXPECT_EQ(Directory::current().pathOf("tmp.cmp"), "tmp.cmp");
    EXPECT_FALSE(Directory::open(""));
}

TEST(Directory, LeftoversOfEndedRunsAreRemovedButNotThoseOfLiveRunsOrOtherFiles) {
    ScratchDir dir;
    Directory directory = Directory::open(dir.path().string());
    // A process that has ended: a child that exits at once.
    pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    const std::string ended = std::to_string(child);
    writeFile(dir.path() / (".bxa-" + ended + "-0a1b2c3d.tmp"), "left by a killed run");
    writeFile(dir.path() / ("a.BXA.bxa-tmp-" + ended + "-0"), "left by an earlier version");
    writeFile(dir.path() / ".bxa-1-0a1b2c3d.tmp", "process 1 is alive");
    writeFile(dir.path() / (".bxa-" + ended + "-notHex.tmp"), "an author's file");
    writeFile(dir.path() / "a.BXA", "archive");
    WorkingFile live = directory.createWorkingFile();  // this process's own, locked
    ASSERT_TRUE(live);
    EXPECT_EQ(directory.removeLeftovers(), 2);
    EXPECT_TRUE(fs::exists(dir.path() / ".bxa-1-0a1b2c3d.tmp"));
    EXPECT_TRUE(fs::exists(dir.path() / (".bxa-" + ended + "-notHex.tmp")));
    EXPECT_TRUE(fs::exists(dir.path() / live.name()));
    EXPECT_TRUE(fs::exists(dir.path() / "a.BXA"));
}

TEST(Directory, ALockedWorkingFileOfAnotherProcessIsLeftAlone) {
    ScratchDir dir;
    // A child makes a working file and holds it while the parent cleans up, then ends.
    int ready[2];
    int done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    pid_t child = ::fork();
    if (child == 0) {
        WorkingFile working = Directory::open(dir.path().string()).createWorkingFile();
        char c = 'r';
        (void)!::write(ready[1], &c, 1);
        (void)!::read(done[0], &c, 1);
        working.keepAs("kept");
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    EXPECT_EQ(Directory::open(dir.path().string()).removeLeftovers(), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 1);
    (void)!::write(done[1], &c, 1);
    ::waitpid(child, nullptr, 0);
    EXPECT_TRUE(fs::exists(dir.path() / "kept"));
}

TEST(File, DirectoriesCannotBeOpenedAsFiles) {
    ScratchDir dir;
    EXPECT_FALSE(File::openForReading(dir.path().string()));
    EXPECT_FALSE(File::createForWriting(dir.path().string()));
}

TEST(File, CreateReplacesASymbolicLink) {
    ScratchDir dir;
    writeFile(dir.path() / "outside", "precious");
    std::filesystem::create_symlink(dir.path() / "outside", dir.path() / "link");
    File file = File::createForWriting(dir / "link");
    ASSERT_TRUE(file);
    file.write("mine");
    ASSERT_TRUE(file.close());
    EXPECT_EQ(readFile(dir.path() / "outside"), "precious");
    EXPECT_EQ(readFile(dir.path() / "link"), "mine");
}

TEST(File, WritesPastItsLimitFailAsOnAFullDisk) {
    ScratchDir dir;
    File file = File::createForWriting(dir / "bounded");
    file.limitWrites(10);
    EXPECT_TRUE(file.write("0123456"));
    EXPECT_FALSE(file.writeLimitReached());
    EXPECT_FALSE(file.write("789A"));  // would make 11
    EXPECT_TRUE(file.writeLimitReached());
    EXPECT_FALSE(file.close());
    EXPECT_EQ(readFile(dir.path() / "bounded"), "0123456");
}

TEST(File, CloseReportsAWriteThatFailed) {
    File full = File::createForWriting("/dev/full");
    if (!full) GTEST_SKIP() << "no /dev/full here";
    std::string block(1 << 17, 'x');
    full.write(block);
    EXPECT_FALSE(full.close());
}

TEST(File, AFifoIsRefusedWithoutWaiting) {
    ScratchDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    OpenFailure failure = OpenFailure::None;
    EXPECT_FALSE(File::openForReading(dir / "fifo", &failure));
    EXPECT_EQ(failure, OpenFailure::NotRegular);
    EXPECT_FALSE(Directory::open(dir.path().string()).openForReading("fifo", &failure));
    EXPECT_EQ(failure, OpenFailure::NotRegular);
}

TEST(File, ReadAtLeavesThePositionAlone) {
    ScratchDir dir;
    writeFile(dir.path() / "f", "0123456789");
    File file = File::openForReading(dir / "f");
    char bytes[4] = {};
    EXPECT_EQ(file.readAt(6, bytes, 4), std::optional<size_t>(4));
    EXPECT_EQ(std::string(bytes, 4), "6789");
    EXPECT_EQ(file.readAt(8, bytes, 4), std::optional<size_t>(2));
    EXPECT_EQ(file.read(bytes, 2), 2u);
    EXPECT_EQ(std::string(bytes, 2), "01");
}

}  // namespace
}  // namespace bxa::platform
