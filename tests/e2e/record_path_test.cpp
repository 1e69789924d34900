// How a record travels between the archive and the work directory, end to end: every write stays inside
// the directory the user named, the author's files are only read, working files are the run's own, and
// names that would break the work directory's own files are refused before anything is written.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/e2e_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

bool failedWithPrompt(const RunResult& r) { return r.exitCode == 1 && endsWith(r.out, ClosingPrompt); }

class RecordPath : public ::testing::Test {
protected:
    ScratchDir cwd;
    fs::path at(const std::string& name) const { return cwd.path() / name; }
    // A FIFO that nobody writes would make a plain open or read wait forever: the time limit turns such a
    // hang into a failure.
    RunResult bxa(const std::vector<std::string>& args) { return runBxa(args, cwd.path(), "", "timeout 60"); }

    std::vector<std::string> listing(const fs::path& dir) const {
        std::vector<std::string> names;
        for (const auto& item : fs::directory_iterator(dir)) names.push_back(item.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(RecordPath, AnEmptyArchiveOrDirectoryArgumentIsRefusedBeforeAnythingIsWritten) {
    writeWorkDir(at("work"), {{"a.DAT", 0, "abc"}});
    ASSERT_FALSE(failedWithPrompt(bxa({"-p", "a.BXA", "work"})));
    const auto before = snapshot(cwd.path());
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-u", "a.BXA", ""},
                                               {"-u", "-f", "a.DAT", "a.BXA", ""},
                                               {"-t", "a.BXA", ""},
                                               {"-p", "a.BXA", ""},
                                               {"-p", "-f", "a.DAT", "a.BXA", ""},
                                               {"-a", "-f", "a.DAT", "a.BXA", ""},
                                               {"-u", "", "work"},
                                               {"-p", "", "work"},
                                               {"-a", "-f", "b.DAT", "", "work"}}) {
        RunResult r = bxa(args);
        EXPECT_TRUE(failedWithPrompt(r)) << args[0];
        EXPECT_NE(r.err.find("name is empty"), std::string::npos) << r.err;
        EXPECT_EQ(snapshot(cwd.path()), before);
    }
}

TEST_F(RecordPath, ALinkInTheWorkDirectoryIsNeverFollowed) {
    BXA_SKIP_ON_WINDOWS("symbolic links");
    fs::create_directories(at("work"));
    fs::create_directories(at("elsewhere"));
    fs::create_directory_symlink(at("elsewhere"), at("work") / "link");
    writeFile(at("a.BXA"), buildArchive({{"ok.DAT", 0, "fine"}, {"link/x", 0, "evil"}}));
    RunResult r = bxa({"-u", "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_NE(r.err.find("(" + joined("work", "link/x") + "); a directory on its way is a symbolic link"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(fs::is_empty(at("elsewhere")));
    // Pack and replace read nothing through it either.
    writeFile(at("elsewhere") / "x", "outside");
    writeFile(at("work") / "catalog.dat", "0 0 link/x\r\n");
    r = bxa({"-p", "b.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_FALSE(fs::exists(at("b.BXA")));
}

TEST_F(RecordPath, FilesWithTheOldWorkingNamesAreTheAuthorsOwn) {
    // A record named like an encoded copy, and records named like the current directory's files, with the
    // work directory being the current directory.
    std::vector<WorkFile> files = {{"A.CSV", 2, "the table A"},
                                   {"xcmp_A.CSV", 2, "the author's own xcmp file"},
                                   {"tmp.cmp", 0, "a record called tmp.cmp"},
                                   {"tmp.BXA", 0, "a record called tmp.BXA"}};
    writeWorkDir(cwd.path(), files);
    ASSERT_FALSE(failedWithPrompt(bxa({"-p", "a.BXA", "."})));
    EXPECT_EQ(readFile(at("xcmp_A.CSV")), "the author's own xcmp file");
    ScratchDir other;
    fs::copy_file(at("a.BXA"), other.path() / "a.BXA");
    ASSERT_FALSE(failedWithPrompt(runBxa({"-u", "a.BXA", "."}, other.path())));
    for (const WorkFile& f : files) EXPECT_EQ(readFile(other.path() / f.name), f.bytes) << f.name;
    // A failed replace leaves the author's tmp.BXA alone.
    EXPECT_TRUE(failedWithPrompt(bxa({"-p", "-f", "gone.DAT", "a.BXA", "."})));
    EXPECT_EQ(readFile(at("tmp.BXA")), "a record called tmp.BXA");
}

TEST_F(RecordPath, AnArchiveNamedLikeAWorkingFileOfOldIsRebuiltSafely) {
    writeWorkDir(at("work"), {{"a.DAT", 0, "abc"}, {"m.R7T", 1, readFile(fs::path(BXA_SOURCE_DIR) / "examples" / "work" / "BUSH.R7T")}});
    ASSERT_FALSE(failedWithPrompt(bxa({"-p", "tmp.BXA", "work"})));
    writeFile(at("work") / "a.DAT", "renewed");
    ASSERT_FALSE(failedWithPrompt(bxa({"-p", "-f", "a.DAT", "tmp.BXA", "work"})));
    // The model's binary form would go to tmp.cmp: never over the archive itself.
    ASSERT_FALSE(failedWithPrompt(bxa({"-p", "tmp.cmp", "work"})));
    ASSERT_FALSE(failedWithPrompt(bxa({"-u", "tmp.cmp", "out"})));
    EXPECT_EQ(readFile(at("out") / "a.DAT"), "renewed");
    ASSERT_FALSE(failedWithPrompt(bxa({"-p", "-f", "m.R7T", "tmp.cmp", "work"})));
    ASSERT_FALSE(failedWithPrompt(bxa({"-u", "tmp.cmp", "out3"})));
    ASSERT_FALSE(failedWithPrompt(bxa({"-u", "tmp.BXA", "out2"})));
    EXPECT_EQ(readFile(at("out2") / "a.DAT"), "renewed");
    // Nor over the old archive when the pack fails after a model (a member listed after it is missing).
    ASSERT_FALSE(failedWithPrompt(bxa({"-p", "tmp.cmp", "work"})));
    const std::string archive = readFile(at("tmp.cmp"));
    writeFile(at("work") / "catalog.dat", readFile(at("work") / "catalog.dat") + "1 0 gone.DAT\r\n");
    EXPECT_TRUE(failedWithPrompt(bxa({"-p", "tmp.cmp", "work"})));
    EXPECT_EQ(readFile(at("tmp.cmp")), archive);
}

TEST_F(RecordPath, ARecordThatWouldReplaceTheRunsOwnFilesIsRefused) {
    std::vector<std::string> sideNames{"catalog.dat", "header.dat"};
    // Windows drops the dots and blanks that end a file name, and ignores case.
    if (TargetIsWindows) sideNames.insert(sideNames.end(), {"header.dat.", "Catalog.dat ", "HEADER.DAT. ."});
    for (const std::string& name : sideNames) {
        ScratchDir dir;
        writeFile(dir.path() / "a.BXA", buildArchive({{"ok.DAT", 0, "fine"}, {name, 0, "0 0 evil\r\n"}}));
        RunResult r = runBxa({"-u", "a.BXA", "work"}, dir.path());
        EXPECT_TRUE(failedWithPrompt(r)) << name;
        EXPECT_NE(r.err.find("(" + name + ")"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir.path() / "work" / "ok.DAT"));
        EXPECT_FALSE(fs::exists(dir.path() / "work" / "catalog.dat"));
    }
    // The archive being read, named as a record of itself.
    fs::create_directories(at("w"));
    writeFile(at("w") / "a.BXA", buildArchive({{"a.BXA", 0, "not the archive"}}));
    const std::string archive = readFile(at("w") / "a.BXA");
    RunResult r = bxa({"-u", joined("w", "a.BXA"), "w"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_NE(r.err.find("would replace the archive being read"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(at("w") / "a.BXA"), archive);
    // The archive being read, named as one of the files a run writes beside the records.
    for (const char* side : {"header.dat", "catalog.dat"}) {
        fs::rename(at("w") / "a.BXA", at("w") / side);
        for (const char* command : {"-u", "-t"}) {
            r = bxa({command, joined("w", side), "w"});
            // (-t goes on with an empty catalog after a table it could not read, as it always does.)
            if (std::string(command) == "-u" || std::string(side) == "catalog.dat") {
                EXPECT_TRUE(failedWithPrompt(r)) << side << " " << command;
            }
            EXPECT_NE(r.err.find("would replace the archive being read"), std::string::npos) << r.err;
            EXPECT_EQ(readFile(at("w") / side), archive) << side << " " << command;
        }
        fs::rename(at("w") / side, at("w") / "a.BXA");
    }
    // Add and pack refuse such names before the archive changes.
    writeWorkDir(at("work"), {{"a.DAT", 0, "abc"}});
    ASSERT_FALSE(failedWithPrompt(bxa({"-p", "b.BXA", "work"})));
    const std::string packed = readFile(at("b.BXA"));
    r = bxa({"-a", "-f", "header.dat", "b.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_NE(r.out.find("Invalid record name (header.dat)"), std::string::npos) << r.out;
    writeFile(at("work") / "catalog.dat", "0 0 a.DAT\r\n0 0 catalog.dat\r\n");
    r = bxa({"-p", "b.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_NE(r.err.find("(catalog.dat)"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(at("b.BXA")), packed);
}

TEST_F(RecordPath, RecordsThatLandOnOneFileAreToldOf) {
    const std::string warning = "Warning: Records (a.DAT) and (a.DAT) are one file in the work directory";
    writeFile(at("a.BXA"), buildArchive({{"a.DAT", 0, "one"}, {"b.DAT", 0, "bee"}, {"a.DAT", 0, "two"}}));
    RunResult r = bxa({"-u", "a.BXA", "work"});
    EXPECT_FALSE(failedWithPrompt(r));
    EXPECT_NE(r.err.find(warning), std::string::npos) << r.err;
    EXPECT_EQ(readFile(at("work") / "a.DAT"), "two");
    EXPECT_EQ(readFile(at("work") / "catalog.dat"), "3 0 a.DAT\r\n3 0 b.DAT\r\n3 0 a.DAT\r\n");
    // Names that differ in case are one file only where case does not count.
    writeFile(at("b.BXA"), buildArchive({{"Door.BMP", 0, "one"}, {"door.bmp.", 0, "two"}}));
    r = bxa({"-u", "b.BXA", "work2"});
    EXPECT_FALSE(failedWithPrompt(r));
    EXPECT_EQ(r.err.find("Warning: Records (Door.BMP) and (door.bmp.) are one file") != std::string::npos,
              TargetIsWindows)
        << r.err;
    if (!TargetIsWindows) {
        EXPECT_EQ(readFile(at("work2") / "Door.BMP"), "one");
    }
}

TEST_F(RecordPath, ANameTheFileSystemRefusesIsToldAsSuch) {
    // Windows takes no file name with '?' (the type of such a name cannot even be asked for).
    writeFile(at("a.BXA"), buildArchive({{"ok.DAT", 0, "fine"}, {"a?b.DAT", 0, "two"}}));
    RunResult r = bxa({"-u", "a.BXA", "work"});
    if (TargetIsWindows) {
        EXPECT_TRUE(failedWithPrompt(r));
        EXPECT_NE(r.err.find("Error: Could not open file (" + joined("work", "a?b.DAT") +
                             "); the file system takes no file of that name"),
                  std::string::npos)
            << r.err;
    } else {
        EXPECT_FALSE(failedWithPrompt(r));
        EXPECT_EQ(readFile(at("work") / "a?b.DAT"), "two");
    }
}

TEST_F(RecordPath, NoCatalogLineCanBeInjected) {
    writeFile(at("a.BXA"), buildArchive({{"ok.DAT", 0, "fine"}, {"X\r\n0 0 header.dat", 0, "evil"}}));
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-u", "a.BXA", "work"}, {"-u", "-f", "ok.DAT", "a.BXA", "work"},
                                               {"-t", "a.BXA", "work"}}) {
        RunResult r = bxa(args);
        EXPECT_TRUE(failedWithPrompt(r)) << args[1];
        EXPECT_NE(r.err.find("(X\\x0D\\x0A0 0 header.dat) holds a control character"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(at("work") / "catalog.dat"));
        EXPECT_FALSE(fs::exists(at("work") / "ok.DAT"));
    }
}

TEST_F(RecordPath, ANameWithABlankIsExtractedWithAWarning) {
    writeFile(at("a.BXA"), buildArchive({{"two words.DAT", 0, "kept"}}));
    RunResult r = bxa({"-u", "a.BXA", "work"});
    EXPECT_FALSE(failedWithPrompt(r));
    EXPECT_EQ(readFile(at("work") / "two words.DAT"), "kept");
    EXPECT_NE(r.err.find("Warning: Record name (two words.DAT) holds a blank; catalog.dat cannot carry it back"),
              std::string::npos)
        << r.err;
}

TEST_F(RecordPath, AFifoWhereAFileIsExpectedIsAnErrorNotAWait) {
    BXA_SKIP_ON_WINDOWS("FIFOs");
    writeWorkDir(at("work"), {{"a.DAT", 0, "abc"}, {"b.DAT", 2, "bbb"}});
    ASSERT_FALSE(failedWithPrompt(bxa({"-p", "a.BXA", "work"})));
    const std::string archive = readFile(at("a.BXA"));
    auto fifoAt = [](const fs::path& path) {
        fs::remove(path);
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    };
    // The archive.
    fifoAt(at("fifo.BXA"));
    RunResult r = bxa({"-u", "fifo.BXA", "out"});
    EXPECT_TRUE(failedWithPrompt(r));
    r = bxa({"-p", "fifo.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_TRUE(fs::is_fifo(at("fifo.BXA")));
    // A record's file at unpack: left as it is.
    fs::create_directories(at("out"));
    fifoAt(at("out") / "a.DAT");
    r = bxa({"-u", "a.BXA", "out"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_NE(r.err.find("it is not a regular file"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_fifo(at("out") / "a.DAT"));
    // A catalog member, the replace and add source, catalog.dat itself.
    fifoAt(at("work") / "b.DAT");
    EXPECT_TRUE(failedWithPrompt(bxa({"-p", "a.BXA", "work"})));
    EXPECT_TRUE(failedWithPrompt(bxa({"-p", "-f", "b.DAT", "a.BXA", "work"})));
    fifoAt(at("work") / "c.DAT");
    EXPECT_TRUE(failedWithPrompt(bxa({"-a", "-f", "c.DAT", "a.BXA", "work"})));
    fifoAt(at("work") / "catalog.dat");
    r = bxa({"-p", "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_NE(r.err.find("Could not open catalog"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(at("a.BXA")), archive);
}

TEST_F(RecordPath, WorkingFilesOfKilledRunsAreRemovedByTheNextRun) {
    BXA_SKIP_ON_WINDOWS("process numbers of this machine");
    // A process number that no process has: the largest the system hands out, plus one.
    const std::string dead = "4194304";
    writeWorkDir(at("work"), {{"a.DAT", 0, "abc"}});
    ASSERT_FALSE(failedWithPrompt(bxa({"-p", "a.BXA", "work"})));
    const std::vector<std::string> before = listing(cwd.path());
    const std::vector<std::string> workBefore = listing(at("work"));
    writeFile(at(".bxa-" + dead + "-00c0ffee.tmp"), "beside the archive");
    writeFile(at("work") / (".bxa-" + dead + "-0badf00d.tmp"), "in the work directory");
    writeFile(at("a.BXA.bxa-tmp-" + dead + "-0"), "an earlier version's");
    ASSERT_FALSE(failedWithPrompt(bxa({"-t", "a.BXA", "work"})));
    EXPECT_EQ(listing(cwd.path()), before);
    std::vector<std::string> work = listing(at("work"));
    std::erase(work, "header.dat");
    EXPECT_EQ(work, workBefore);
    // In a subdirectory that an unpack writes records into.
    fs::create_directories(at("out") / "sub");
    writeFile(at("out") / "sub" / (".bxa-" + dead + "-0ddba11.tmp"), "in a subdirectory");
    writeFile(at("sub.BXA"), buildArchive({{"sub/x.DAT", 0, "x"}}));
    ASSERT_FALSE(failedWithPrompt(bxa({"-u", "sub.BXA", "out"})));
    EXPECT_EQ(listing(at("out") / "sub"), std::vector<std::string>{"x.DAT"});
}

}  // namespace
}  // namespace bxa
