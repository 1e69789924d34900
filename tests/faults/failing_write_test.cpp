// Commands that cannot finish because the file system refuses a write: a file-size limit reached part
// way (at several sizes, so that each command is stopped at a different step), a current directory that
// has been removed (no model's binary form can be made there), a work directory whose path
// runs through a regular file, an archive path that is a directory, and a record's file that is a
// directory. None of them depends on permission bits, so they hold when the tests run as root.
//
// Every case must end with an error message and the closing prompt, with the old archive byte for byte as
// it was, and (for pack, replace and add) the work directory as it was.
#include <gtest/gtest.h>

#include "faults/fault_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

enum class Command { Pack, ReplaceData, ReplaceModel, AddData, AddModel, Unpack };

enum class Fault { WriteLimit, RemovedCurrentDirectory, WorkDirThroughFile, ArchiveIsDirectory, RecordFileIsDirectory };

struct FaultCase {
    Command command;
    Fault fault;
    // For WriteLimit: the limit in bytes; 0 means "just below the size of the rebuilt archive".
    int64_t limit = 0;
};

std::string commandName(Command command) {
    switch (command) {
        case Command::Pack: return "Pack";
        case Command::ReplaceData: return "ReplaceData";
        case Command::ReplaceModel: return "ReplaceModel";
        case Command::AddData: return "AddData";
        case Command::AddModel: return "AddModel";
        default: return "Unpack";
    }
}

std::string caseName(const ::testing::TestParamInfo<FaultCase>& info) {
    const FaultCase& c = info.param;
    std::string fault;
    switch (c.fault) {
        case Fault::WriteLimit: fault = c.limit == 0 ? "WriteLimitNearArchiveSize" : "WriteLimit" + std::to_string(c.limit); break;
        case Fault::RemovedCurrentDirectory: fault = "RemovedCurrentDirectory"; break;
        case Fault::WorkDirThroughFile: fault = "WorkDirThroughFile"; break;
        case Fault::ArchiveIsDirectory: fault = "ArchiveIsDirectory"; break;
        case Fault::RecordFileIsDirectory: fault = "RecordFileIsDirectory"; break;
    }
    return commandName(c.command) + "_" + fault;
}

// The unit of the shell's "ulimit -f" (512 bytes in some shells, 1024 in others), found by writing past a
// limit of one unit.
int64_t fileSizeLimitUnit() {
    static const int64_t unit = [] {
        ScratchDir dir;
        runBxa({}, dir.path(), "", "trap '' XFSZ; ulimit -f 1; head -c 5000 /dev/zero > probe; exit 0;");
        return static_cast<int64_t>(fs::file_size(dir.path() / "probe"));
    }();
    return unit;
}

class FailingWrite : public ::testing::TestWithParam<FaultCase> {
protected:
    ScratchDir cwd;
    fs::path at(const std::string& name) const { return cwd.path() / name; }

    // The archive and work directory every case starts from, packed once for the whole suite (packing
    // takes most of a case's time under the sanitizer build).
    static inline ScratchDir* prepared = nullptr;

    static void SetUpTestSuite() {
        prepared = new ScratchDir;
        const fs::path dir = prepared->path();
        writeWorkDir(dir / "work", gradedWorkFiles());
        runBxa({"-p", "a.BXA", "work"}, dir);
        runBxa({"-t", "a.BXA", "work"}, dir);
        fs::remove(dir / "tmp.cmp");
        // What each command would change, so that a command that wrongly succeeded shows in the archive.
        writeFile(dir / "work" / "T40K.CSV", tableText(40000, 3));
        writeFile(dir / "work" / "NEW.DAT", tableText(20000, 4));
        writeFile(dir / "work" / "NEW.R7T", exampleFile("BUSH.R7T"));
    }

    static void TearDownTestSuite() {
        delete prepared;
        prepared = nullptr;
    }

    void SetUp() override {
        ASSERT_TRUE(fs::exists(prepared->path() / "a.BXA"));
        ASSERT_TRUE(fs::exists(prepared->path() / "work" / "catalog.dat"));
        fs::copy(prepared->path(), cwd.path(), fs::copy_options::recursive);
    }

    // The file of the command's record in the work directory.
    static std::string recordOf(Command command) {
        switch (command) {
            case Command::ReplaceModel: return "BOAT.R7P";
            case Command::AddData: return "NEW.DAT";
            case Command::AddModel: return "NEW.R7T";
            default: return "T40K.CSV";
        }
    }

    static std::vector<std::string> argumentsFor(Command command, const std::string& archive, const std::string& work) {
        switch (command) {
            case Command::Pack: return {"-p", archive, work};
            case Command::ReplaceData:
            case Command::ReplaceModel: return {"-p", "-f", recordOf(command), archive, work};
            case Command::AddData:
            case Command::AddModel: return {"-a", "-f", recordOf(command), archive, work};
            default: return {"-u", archive, work};
        }
    }
};

TEST_P(FailingWrite, EndsWithAnErrorAndThePromptAndLeavesTheArchiveUnchanged) {
    const FaultCase c = GetParam();
    const bool unpack = c.command == Command::Unpack;
    std::string archive = "a.BXA";
    std::string work = unpack ? "out" : "work";
    std::string prefix;
    switch (c.fault) {
        case Fault::WriteLimit: {
            int64_t limit = c.limit != 0 ? c.limit : static_cast<int64_t>(fs::file_size(at("a.BXA"))) - 4096;
            prefix = "trap '' XFSZ; ulimit -f " + std::to_string(limit / fileSizeLimitUnit()) + ";";
            break;
        }
        case Fault::RemovedCurrentDirectory:
            prefix = "mkdir gone && cd gone && rmdir ../gone &&";
            archive = at("a.BXA").string();
            work = at(work).string();
            break;
        case Fault::WorkDirThroughFile:
            writeFile(at("plain"), "a regular file");
            work = "plain/" + work;
            break;
        case Fault::ArchiveIsDirectory:
            fs::create_directory(at("adir"));
            writeFile(at("adir") / "inside", "kept");
            archive = "adir";
            break;
        case Fault::RecordFileIsDirectory: {
            fs::path record = unpack ? at("out") / "T40K.CSV" : at("work") / recordOf(c.command);
            fs::remove(record);
            fs::create_directories(record);
            writeFile(record / "inside", "kept");
            break;
        }
    }
    const std::string archiveBefore = readBytes(at("a.BXA"));
    auto before = snapshotFiles(cwd.path());
    // The fixed temporary names may stay behind or be rewritten by any command.
    const auto withoutTemps = [](auto& files) {
        for (const char* temp : {"tmp.BXA", "tmp.cmp", "tmp.r7"}) files.erase(temp);
    };
    withoutTemps(before);

    RunResult r = runBxa(argumentsFor(c.command, archive, work), cwd.path(), "", prefix);

    EXPECT_TRUE(failedWithPrompt(r)) << r.out << r.err;
    EXPECT_TRUE(printedAnError(r)) << r.out << r.err;
    EXPECT_TRUE(readBytes(at("a.BXA")) == archiveBefore) << "the old archive was changed";
    std::set<std::string> expected = {"a.BXA", "work", "out", "plain", "adir"};
    EXPECT_TRUE(onlyKnownLeftovers(cwd.path(), expected));
    auto after = snapshotFiles(cwd.path());
    withoutTemps(after);
    if (unpack) {
        // Unpack writes only below its work directory; everything else stays as it was.
        const auto inOutput = [](const auto& item) { return item.first.starts_with("out"); };
        std::erase_if(after, inOutput);
        std::erase_if(before, inOutput);
    }
    EXPECT_EQ(differingNames(before, after), std::vector<std::string>{});
}

// The new catalog goes in place after the new archive, so a catalog.dat that cannot be replaced must stop
// the add before the archive changes, not after.
TEST(CatalogInTheWay, AddWhoseCatalogIsADirectoryFailsBeforeTheArchiveChanges) {
    ScratchDir cwd;
    writeWorkDir(cwd.path() / "work", {{"a.DAT", 0, "abc"}});
    ASSERT_FALSE(failedWithPrompt(runBxa({"-p", "a.BXA", "work"}, cwd.path())));
    const std::string archive = readBytes(cwd.path() / "a.BXA");
    fs::remove(cwd.path() / "work" / "catalog.dat");
    fs::create_directory(cwd.path() / "work" / "catalog.dat");
    writeFile(cwd.path() / "work" / "n.DAT", "new");
    RunResult r = runBxa({"-a", "-f", "n.DAT", "a.BXA", "work"}, cwd.path());
    EXPECT_TRUE(failedWithPrompt(r)) << r.out << r.err;
    EXPECT_NE(r.err.find("\nError: Could not open work/catalog.dat\n"), std::string::npos) << r.err;
    EXPECT_TRUE(readBytes(cwd.path() / "a.BXA") == archive);
    EXPECT_TRUE(fs::is_directory(cwd.path() / "work" / "catalog.dat"));
}

TEST(RemovedCurrentDirectory, IsNeededOnlyForModels) {
    ScratchDir cwd;
    writeWorkDir(cwd.path() / "work", {{"a.DAT", 2, "abcabcabc"}, {"b.CSV", 0, "b"}});
    const std::string removed = "mkdir gone && cd gone && rmdir ../gone &&";
    const std::string archive = (cwd.path() / "a.BXA").string();
    const std::string work = (cwd.path() / "work").string();
    EXPECT_FALSE(failedWithPrompt(runBxa({"-p", archive, work}, cwd.path(), "", removed)));
    writeFile(cwd.path() / "work" / "n.DAT", "new");
    EXPECT_FALSE(failedWithPrompt(runBxa({"-a", "-f", "n.DAT", archive, work}, cwd.path(), "", removed)));
    writeFile(cwd.path() / "work" / "a.DAT", "renewed");
    EXPECT_FALSE(failedWithPrompt(runBxa({"-p", "-f", "a.DAT", archive, work}, cwd.path(), "", removed)));
    const std::string out = (cwd.path() / "out").string();
    EXPECT_FALSE(failedWithPrompt(runBxa({"-u", archive, out}, cwd.path(), "", removed)));
    EXPECT_EQ(readBytes(cwd.path() / "out" / "a.DAT"), "renewed");
    EXPECT_EQ(readBytes(cwd.path() / "out" / "n.DAT"), "new");
}

std::vector<FaultCase> allCases() {
    std::vector<FaultCase> cases;
    for (Command command : {Command::Pack, Command::ReplaceData, Command::ReplaceModel, Command::AddData,
                            Command::AddModel, Command::Unpack}) {
        for (int64_t limit : {4096, 16384, 65536, 262144, 1048576, 0}) {
            // Unpack writes no file larger than its biggest record, so only a limit below that stops it.
            if (command == Command::Unpack && limit == 0) continue;
            cases.push_back({command, Fault::WriteLimit, limit});
        }
        for (Fault fault : {Fault::RemovedCurrentDirectory, Fault::WorkDirThroughFile, Fault::ArchiveIsDirectory,
                            Fault::RecordFileIsDirectory}) {
            // Only a model's binary form is made in the current directory (it becomes "tmp.cmp"); the
            // other commands do not need it (RemovedCurrentDirectory.IsNeededOnlyForModels).
            const bool usesCurrentDirectory = command == Command::Pack || command == Command::ReplaceModel ||
                                              command == Command::AddModel;
            if (fault == Fault::RemovedCurrentDirectory && !usesCurrentDirectory) continue;
            cases.push_back({command, fault, 0});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Faults, FailingWrite, ::testing::ValuesIn(allCases()), caseName);

}  // namespace
}  // namespace bxa
