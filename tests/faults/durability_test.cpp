// Updates that survive a power cut and a second writer: the new archive's data is flushed to the disk
// before it is renamed over the old one and the directory after (seen in the system calls), one writer
// works at a time and the second one waits and then builds on the first one's archive, the archive keeps
// its permissions and its symbolic link, and a full disk leaves no partial file.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <chrono>
#include <regex>
#include <sstream>
#include <thread>

#include "faults/fault_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

bool haveTool(const std::string& name) { return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0; }

class Durability : public ::testing::Test {
protected:
    ScratchDir cwd;
    fs::path at(const std::string& name) const { return cwd.path() / name; }
    RunResult bxa(const std::vector<std::string>& args, const std::string& prefix = "") {
        return runBxa(args, cwd.path(), "", prefix);
    }
    void packExample() {
        std::vector<WorkFile> files = {{"a.DAT", 2, tableText(5000, 1)}, {"m.R7T", 1, exampleFile("BUSH.R7T")}};
        writeWorkDir(at("work"), files);
        ASSERT_FALSE(failedWithPrompt(bxa({"-p", "a.BXA", "work"})));
    }
    // Takes the archive's lock as another run would (in `held`, let go with ::close), starts `bxa ARGS` with
    // its output to `out`, and returns its process once it says that it waits, before it does anything else.
    pid_t startWhileLocked(const std::string& args, const fs::path& out, int& held) {
        held = ::open(at("a.BXA").c_str(), O_RDONLY);
        EXPECT_EQ(::flock(held, LOCK_EX), 0);
        const std::string command = "cd " + shellQuote(cwd.path().string()) + " && " + shellQuote(BXA_BINARY) +
                                    " " + args + " </dev/null >" + shellQuote(out.string()) + " 2>&1";
        pid_t child = ::fork();
        if (child == 0) {
            ::close(held);
            ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int tries = 0; tries < 600 && readFile(out).empty(); ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        EXPECT_EQ(readFile(out), "Waiting for another bxa run to finish with (a.BXA)...\n");
        return child;
    }
};

// The system calls of one run, each fd shown with the path it names (strace -y).
std::vector<std::string> tracedCalls(const std::string& trace) {
    std::vector<std::string> calls;
    std::istringstream in(trace);
    for (std::string line; std::getline(in, line);) {
        if (line.find("fsync(") != std::string::npos || line.find("rename") != std::string::npos) calls.push_back(line);
    }
    return calls;
}

TEST_F(Durability, TheNewArchiveIsOnTheDiskBeforeItsRenameAndTheDirectoryAfter) {
    if (!haveTool("strace")) GTEST_SKIP() << "strace is not installed";
    packExample();
    writeFile(at("work") / "a.DAT", tableText(6000, 2));
    writeFile(at("work") / "n.CSV", "new,record\r\n");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-p", "a.BXA", "work"}, {"-p", "-f", "a.DAT", "a.BXA", "work"},
                                               {"-a", "-f", "n.CSV", "a.BXA", "work"}}) {
        fs::remove(at("trace"));
        RunResult r = bxa(args, "strace -f -y -o trace -e trace=fsync,fdatasync,rename,renameat,renameat2");
        ASSERT_FALSE(failedWithPrompt(r)) << r.out << r.err;
        std::vector<std::string> calls = tracedCalls(readFile(at("trace")));
        // renameat(3</dir>, ".bxa-PID-RANDOM.tmp", 3</dir>, "a.BXA") = 0
        const std::regex archiveRename(R"re(rename.*"(\.bxa-[0-9]+-[0-9a-f]+\.tmp)".*"a\.BXA"\) = 0)re");
        size_t renamed = calls.size();
        std::string workingName;
        for (size_t i = 0; i < calls.size(); ++i) {
            std::smatch match;
            if (std::regex_search(calls[i], match, archiveRename)) {
                renamed = i;
                workingName = match[1];
            }
        }
        ASSERT_LT(renamed, calls.size()) << args[0] << ": no rename of a working file over a.BXA";
        bool dataFlushed = false;
        for (size_t i = 0; i < renamed; ++i) dataFlushed |= calls[i].find("fsync(") != std::string::npos &&
                                                             calls[i].find(workingName + ">") != std::string::npos;
        EXPECT_TRUE(dataFlushed) << args[0] << ": the new archive was not flushed before its rename";
        bool directoryFlushed = false;
        const std::string directory = "<" + cwd.path().string() + ">";
        for (size_t i = renamed + 1; i < calls.size(); ++i) {
            directoryFlushed |= calls[i].find("fsync(") != std::string::npos && calls[i].find(directory) != std::string::npos;
        }
        EXPECT_TRUE(directoryFlushed) << args[0] << ": the directory was not flushed after the rename";
    }
}

TEST_F(Durability, ASecondWriterSaysItWaitsAndBuildsOnTheFirstOnesArchive) {
    packExample();
    writeFile(at("work") / "n.CSV", "new,record\r\n");
    ScratchDir io;
    int held = -1;
    pid_t writer = startWhileLocked("-a -f n.CSV a.BXA work", io.path() / "out", held);
    // The "other run" puts a new archive in place before it lets go: the waiting writer must add to that one.
    ScratchDir first;
    writeWorkDir(first.path() / "work", {{"a.DAT", 0, "changed by the first writer"}});
    ASSERT_FALSE(failedWithPrompt(runBxa({"-p", "a.BXA", "work"}, first.path())));
    fs::copy_file(first.path() / "a.BXA", at("staged.BXA"));
    fs::rename(at("staged.BXA"), at("a.BXA"));
    ::close(held);
    EXPECT_EQ(waitForBxa(writer), 1);
    EXPECT_EQ(readFile(io.path() / "out").find("Error"), std::string::npos) << readFile(io.path() / "out");
    ASSERT_FALSE(failedWithPrompt(bxa({"-u", "a.BXA", "out"})));
    EXPECT_EQ(readFile(at("out") / "a.DAT"), "changed by the first writer");
    EXPECT_EQ(readFile(at("out") / "n.CSV"), "new,record\r\n");
}

// A pack started while an add is under way reads the catalog that the add leaves, not the one before it:
// otherwise it would pack the archive without the added record and report success.
TEST_F(Durability, APackThatWaitsReadsTheCatalogTheOtherRunLeft) {
    packExample();
    ScratchDir io;
    int held = -1;
    pid_t packer = startWhileLocked("-p a.BXA work", io.path() / "out", held);
    // The "other run" adds a record: its file, then its catalog renamed into place, before it lets go.
    writeFile(at("work") / "n.CSV", "new,record\r\n");
    writeFile(at("catalog.new"), readFile(at("work") / "catalog.dat") + "12 0 n.CSV\r\n");
    fs::rename(at("catalog.new"), at("work") / "catalog.dat");
    ::close(held);
    EXPECT_EQ(waitForBxa(packer), 1);
    EXPECT_EQ(readFile(io.path() / "out").find("Error"), std::string::npos) << readFile(io.path() / "out");
    ASSERT_FALSE(failedWithPrompt(bxa({"-u", "a.BXA", "out"})));
    EXPECT_EQ(readFile(at("out") / "n.CSV"), "new,record\r\n");
}

TEST_F(Durability, TwoWritersOfOneArchiveLoseNoUpdate) {
    packExample();
    constexpr int Rounds = 10;
    // From one current directory and one work directory, then from two of each.
    for (bool shared : {true, false}) {
        SCOPED_TRACE(shared ? "same current directory" : "different current directories");
        packExample();
        std::string script[2];
        for (int w = 0; w < 2; ++w) {
            const fs::path dir = shared ? cwd.path() : at("cwd" + std::to_string(w));
            const std::string work = shared ? "work" : "w";
            fs::create_directories(dir / work);
            script[w] = "cd " + shellQuote(dir.string()) + " &&";
            for (int i = 0; i < Rounds; ++i) {
                const std::string name = "W" + std::to_string(w) + "_" + std::to_string(i) + ".CSV";
                writeFile(dir / work / name, "writer " + std::to_string(w) + " round " + std::to_string(i) + "\r\n");
                script[w] += " " + shellQuote(BXA_BINARY) + " -a -f " + name + " " +
                             shellQuote(at("a.BXA").string()) + " " + work + " </dev/null >/dev/null 2>&1;";
            }
        }
        pid_t writers[2];
        for (int w = 0; w < 2; ++w) {
            writers[w] = ::fork();
            if (writers[w] == 0) {
                ::execl("/bin/sh", "sh", "-c", script[w].c_str(), static_cast<char*>(nullptr));
                ::_exit(127);
            }
        }
        for (pid_t writer : writers) waitForBxa(writer);
        ScratchDir check;
        fs::copy_file(at("a.BXA"), check.path() / "a.BXA");
        ASSERT_FALSE(failedWithPrompt(runBxa({"-u", "a.BXA", "out"}, check.path())));
        int found = 0;
        for (int w = 0; w < 2; ++w) {
            for (int i = 0; i < Rounds; ++i) {
                const std::string name = "W" + std::to_string(w) + "_" + std::to_string(i) + ".CSV";
                found += readFile(check.path() / "out" / name) ==
                         "writer " + std::to_string(w) + " round " + std::to_string(i) + "\r\n";
                // The catalog of the writer's work directory lists the record it added.
                const fs::path catalog =
                    shared ? at("work") / "catalog.dat" : at("cwd" + std::to_string(w)) / "w" / "catalog.dat";
                EXPECT_NE(readFile(catalog).find(" " + name + "\r\n"), std::string::npos) << name;
            }
        }
        EXPECT_EQ(found, 2 * Rounds);
        RecordProperty(shared ? "sharedUpdatesLanded" : "separateUpdatesLanded", found);
        fs::remove_all(at("work"));
    }
}

TEST_F(Durability, TheArchiveKeepsItsPermissionsAndItsLink) {
    packExample();
    fs::permissions(at("a.BXA"), fs::perms::owner_read | fs::perms::owner_write);
    writeFile(at("work") / "n.CSV", "new\r\n");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-p", "a.BXA", "work"}, {"-p", "-f", "a.DAT", "a.BXA", "work"},
                                               {"-a", "-f", "n.CSV", "a.BXA", "work"}}) {
        ASSERT_FALSE(failedWithPrompt(bxa(args))) << args[0];
        EXPECT_EQ(fs::status(at("a.BXA")).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write)
            << args[0];
    }
    // Through a symbolic link: the link stays, and the file it names is the one replaced.
    fs::create_directories(at("store"));
    fs::rename(at("a.BXA"), at("store") / "real.BXA");
    fs::create_symlink("store/real.BXA", at("a.BXA"));
    writeFile(at("work") / "a.DAT", "through the link");
    writeFile(at("work") / "catalog.dat", "0 2 a.DAT\r\n0 1 m.R7T\r\n");
    writeFile(at("work") / "o.CSV", "other\r\n");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-p", "a.BXA", "work"}, {"-p", "-f", "a.DAT", "a.BXA", "work"},
                                               {"-a", "-f", "o.CSV", "a.BXA", "work"}}) {
        ASSERT_FALSE(failedWithPrompt(bxa(args))) << args[0];
        EXPECT_TRUE(fs::is_symlink(at("a.BXA"))) << args[0];
        EXPECT_EQ(std::distance(fs::directory_iterator(at("store")), {}), 1) << args[0];
    }
    ASSERT_FALSE(failedWithPrompt(bxa({"-u", "store/real.BXA", "out"})));
    EXPECT_EQ(readFile(at("out") / "a.DAT"), "through the link");
    EXPECT_EQ(readFile(at("out") / "o.CSV"), "other\r\n");
}

// The copies of a model that a run leaves in the current directory (tmp.cmp, its binary form, and tmp.r7,
// its text) are no more readable than the model.
TEST_F(Durability, CopiesOfAPrivateModelArePrivate) {
    packExample();
    const auto ownerOnly = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(at("work") / "m.R7T", ownerOnly);
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-p", "a.BXA", "work"}, {"-p", "-f", "m.R7T", "a.BXA", "work"}}) {
        ASSERT_FALSE(failedWithPrompt(bxa(args))) << args[1];
        for (const char* copy : {"tmp.cmp", "tmp.r7"}) {
            if (!fs::exists(at(copy))) continue;
            EXPECT_EQ(fs::status(at(copy)).permissions() & fs::perms::all, ownerOnly) << args[1] << " " << copy;
        }
    }
    EXPECT_TRUE(fs::exists(at("tmp.r7")));
}

TEST_F(Durability, AFullDiskDuringUnpackLeavesNoPartialFile) {
    std::vector<WorkFile> files = {{"small.DAT", 2, "small"}, {"big.BIN", 1, noiseBytes(3 << 20, 5)}};
    writeWorkDir(at("work"), files);
    ASSERT_FALSE(failedWithPrompt(bxa({"-p", "a.BXA", "work"})));
    fs::create_directories(at("out"));
    // A 1 MiB file system where the machine allows a private mount, else a file-size limit of 1 MiB.
    const std::string tmpfs = "unshare -m sh -c 'mount -t tmpfs -o size=1m tmpfs out && exec \"$0\" \"$@\"'";
    const bool privateMount = std::system("unshare -m true >/dev/null 2>&1") == 0;
    RunResult r = privateMount ? bxa({"-u", "a.BXA", "out"}, tmpfs)
                               : bxa({"-u", "a.BXA", "out"}, "trap '' XFSZ; ulimit -f 2048;");
    EXPECT_TRUE(failedWithPrompt(r)) << r.out << r.err;
    EXPECT_NE(r.err.find("Could not write file (" + joined("out", "big.BIN") + ")"), std::string::npos) << r.err;
    if (privateMount) {
        // The mount went with the process: what it left would be gone. Do it again, looking inside.
        const std::string look = "unshare -m sh -c 'mount -t tmpfs -o size=1m tmpfs out && \"$0\" \"$@\"; echo; ls -A out'";
        r = bxa({"-u", "a.BXA", "out"}, look);
        for (const char* kept : {"\nsmall.DAT\n", "\ncatalog.dat\n", "\nheader.dat\n"}) {
            EXPECT_NE(r.out.find(kept), std::string::npos) << r.out;
        }
        EXPECT_EQ(r.out.find("\nbig.BIN\n"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("\n.bxa-"), std::string::npos) << r.out;
    } else {
        EXPECT_FALSE(fs::exists(at("out") / "big.BIN"));
        for (const auto& item : fs::directory_iterator(at("out"))) {
            EXPECT_FALSE(item.path().filename().string().starts_with(".bxa-")) << item.path();
        }
    }
}

// However many threads run, a disk that fills up ends an unpack or a pack at the record where one thread's
// run ends, with the same messages and the same files left: records worked on side by side take disk
// space too (a large one begun early, the part files of a pack), so a record that fails among them is
// tried again alone.
TEST_F(Durability, AFullDiskEndsARunWhereOneThreadEndsIt) {
    if (std::system("unshare -m true >/dev/null 2>&1") != 0 || !haveTool("taskset")) {
        GTEST_SKIP() << "needs a private mount and taskset";
    }
    // Unpack: small text records around one that alone fills the disk.
    auto numbered = [](int i, const char* extension) { return std::to_string(i) + extension; };
    std::vector<WorkFile> texts;
    for (int i = 0; i < 12; ++i) texts.push_back({numbered(i, ".CSV"), 2, tableText(150000, i)});
    texts.insert(texts.begin() + 6, WorkFile{"big.CSV", 2, tableText(4 << 20, 99)});
    writeWorkDir(at("work"), texts);
    ASSERT_FALSE(failedWithPrompt(bxa({"-p", "a.BXA", "work"})));
    // Pack: stored records whose part files would fill the disk before the archive does.
    std::vector<WorkFile> raw;
    for (int i = 0; i < 20; ++i) raw.push_back({numbered(i, ".RAW"), 0, noiseBytes(120000, static_cast<uint32_t>(i))});
    writeWorkDir(at("raw"), raw);
    fs::create_directories(at("out"));
    // Runs in a private 1 MiB file system on out/ (on one processor, or on all), then lists what is left.
    auto onASmallDisk = [&](const std::vector<std::string>& args, bool oneThread) {
        return bxa(args, "unshare -m sh -c 'mount -t tmpfs -o size=1m tmpfs out && " +
                             std::string(oneThread ? "taskset -c 0 " : "") + "\"$0\" \"$@\"; echo; ls -A out'");
    };
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"-u", "a.BXA", "out"}, {"-p", "out/p.BXA", "raw"}}) {
        const RunResult one = onASmallDisk(args, true);
        EXPECT_NE(one.out.find(ClosingPrompt), std::string::npos) << args[0] << one.out << one.err;
        for (int run = 0; run < 3; ++run) {
            const RunResult all = onASmallDisk(args, false);
            EXPECT_EQ(all.out, one.out) << args[0];
            EXPECT_EQ(all.err, one.err) << args[0];
        }
    }
}

// Few open files allowed: the records worked on side by side hold some, so a record that cannot open its
// files among them is done again alone, with nothing held for the others, and the run ends where one
// thread's run ends, with the same messages.
TEST_F(Durability, FewFileHandlesEndAPackWhereOneThreadEndsIt) {
    if (!haveTool("taskset")) GTEST_SKIP() << "needs taskset";
    std::vector<WorkFile> files;
    for (const char* name : {"PRICES.CSV", "LEVEL.DAT", "CRATE.BMP", "PANEL.R7D", "BOAT.R7P", "BUSH.R7T"}) {
        files.push_back({name, 1, exampleFile(name)});
    }
    for (int i = 0; i < 40; ++i) {
        const std::string name = "F" + std::to_string(100 + i) + ".DAT";
        files.push_back({name, i % 3, i % 3 == 0 ? noiseBytes(70000, static_cast<uint32_t>(i)) : tableText(70000, i)});
    }
    for (int i = 0; i < 5; ++i) {
        for (const char* model : {"BOAT.R7P", "BUSH.R7T", "PANEL.R7D"}) {
            std::string name(model);
            name.insert(name.find('.'), std::to_string(i));
            files.push_back({name, 1, exampleFile(model)});
        }
    }
    writeWorkDir(at("work"), files);
    // Each run makes a new archive, so that each has the same files to open.
    auto pack = [&](const std::string& prefix) {
        fs::remove(at("a.BXA"));
        return bxa({"-p", "a.BXA", "work"}, prefix);
    };
    for (int handles = 12; handles <= 16; ++handles) {
        const std::string limit = "ulimit -n " + std::to_string(handles) + "; ";
        const RunResult one = pack(limit + "taskset -c 0");
        for (int run = 0; run < 3; ++run) {
            const RunResult all = pack(limit);
            EXPECT_EQ(all.out, one.out) << handles << " handles";
            EXPECT_EQ(all.err, one.err) << handles << " handles";
        }
    }
}

}  // namespace
}  // namespace bxa
