// Hostile archives, deterministically, beside the fuzz targets: record names that try to leave the work
// directory, symbolic links standing where bxa writes, and every compressed record of a valid archive cut at
// every byte and with single bits flipped.
#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>

#include "archive/commands.hpp"
#include "entry/record_decoding.hpp"
#include "entry/record_encoding.hpp"
#include "faults/fault_support.hpp"
#include "entry/model_conversion.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

// ---- Record names --------------------------------------------------------------------------------------

// The current directory lies this deep below the scratch root, so that a name climbing with up to ten
// '..' components still lands inside the root, where the test can see it.
constexpr int ClimbDepth = 11;

struct HostileName {
    std::string name;
    // True when unpack must refuse the record with its own message (it reaches outside the work directory).
    bool refused;
};

std::vector<HostileName> hostileNames() {
    return {
        {"..", true},
        {"../x", true},
        {"a/../../x", true},
        {"x/../y", true},
        {"a/..", true},
        {"../../../../../../../../../../x", true},
        {"/tmp/bxa-hostile-absolute", true},
        {"//x", true},
        {"", true},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345", false},  // 32 bytes, no NUL in the field
        {"a\x01" "b", false},
        {"x\ny", false},
        {"a\tb", false},
        {"dir/", false},
        {".", false},
        {"./x", false},
        {"..\\x", false},
        {"...", false},
        {"sub/x", false},
        {"\xff\xfe", false},
        {"x/.", false},
        {"catalog.dat", false},
    };
}

class HostileNames : public ::testing::TestWithParam<size_t> {
protected:
    ScratchDir root;
    fs::path cwd;

    void SetUp() override {
        cwd = root.path();
        for (int i = 0; i < ClimbDepth; ++i) cwd /= "u";
        cwd /= "cwd";
        fs::create_directories(cwd);
    }

    // Nothing but the chain of directories down to the current directory, and in it nothing but the
    // archive and the work directory.
    void expectNothingOutside() {
        fs::path level = root.path();
        for (int i = 0; i <= ClimbDepth; ++i) {
            const char* child = i < ClimbDepth ? "u" : "cwd";
            std::vector<std::string> names;
            for (const auto& item : fs::directory_iterator(level)) names.push_back(item.path().filename().string());
            EXPECT_EQ(names, std::vector<std::string>{child}) << "in " << level;
            level /= child;
        }
        std::set<std::string> names;
        for (const auto& item : fs::directory_iterator(cwd)) names.insert(item.path().filename().string());
        EXPECT_EQ(names, (std::set<std::string>{"a.BXA", "work"}));
        EXPECT_FALSE(fs::exists("/tmp/bxa-hostile-absolute"));
    }
};

TEST_P(HostileNames, UnpackWholeOrByNameWritesNothingOutsideTheWorkDirectory) {
    const HostileName hostile = hostileNames()[GetParam()];
    // The name's field holds at most 32 bytes; a stored record in front keeps the data in range.
    writeFile(cwd / "a.BXA", buildArchive({{"first.DAT", 0, "first"}, {hostile.name, 0, "hostile data"}}));
    for (bool byName : {false, true}) {
        SCOPED_TRACE(byName ? "-u -f" : "-u");
        std::vector<std::string> args = byName ? std::vector<std::string>{"-u", "-f", hostile.name, "a.BXA", "work"}
                                               : std::vector<std::string>{"-u", "a.BXA", "work"};
        RunResult r = runBxa(args, cwd);
        expectNothingOutside();
        if (hostile.refused) {
            EXPECT_TRUE(failedWithPrompt(r));
            EXPECT_NE(r.err.find("(" + hostile.name + ")"), std::string::npos) << r.err;
            EXPECT_TRUE(endsWith(r.err, "\nAborting...\n")) << r.err;
        }
        fs::remove_all(cwd / "work");
    }
}

INSTANTIATE_TEST_SUITE_P(Names, HostileNames, ::testing::Range<size_t>(0, hostileNames().size()));

// A small archive whose records all point at one highly compressible stream would make a whole unpack
// expand that stream once per record: hundreds of times the archive's size in time and disk.
TEST(SharedData, RecordsSharingTheirDataAreRefusedBeforeAnythingIsWritten) {
    ScratchDir cwd;
    writeWorkDir(cwd.path() / "src", {{"z.DAT", 1, std::string(2000000, 'z')}});
    ASSERT_FALSE(failedWithPrompt(runBxa({"-p", "one.BXA", "src"}, cwd.path())));
    const std::string one = readBytes(cwd.path() / "one.BXA");
    const int32_t stored = int32At(one, 16 + 4);
    const int32_t count = 200;
    std::string archive = headerBytes(count);
    for (int32_t i = 0; i < count; ++i) {
        archive += recordBytes({2000000, stored, 1, 16 + 48 * count, "r" + std::to_string(i) + ".DAT"});
    }
    archive += one.substr(16 + 48);
    writeFile(cwd.path() / "a.BXA", archive);
    RunResult r = runBxa({"-u", "a.BXA", "work"}, cwd.path());
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_NE(r.err.find("Records (r0.DAT) and (r1.DAT) share their data"), std::string::npos) << r.err;
    EXPECT_TRUE(endsWith(r.err, "\nAborting...\n"));
    EXPECT_FALSE(fs::exists(cwd.path() / "work" / "r0.DAT"));
    // One record by name is expanded once, as any record is.
    RunResult named = runBxa({"-u", "-f", "r7.DAT", "a.BXA", "work"}, cwd.path());
    EXPECT_FALSE(failedWithPrompt(named)) << named.err;
    EXPECT_EQ(fs::file_size(cwd.path() / "work" / "r7.DAT"), 2000000u);
}

// ---- Symbolic links where bxa writes ---------------------------------------------------------------------

class SymbolicLinks : public ::testing::Test {
protected:
    ScratchDir cwd;
    fs::path at(const std::string& name) const { return cwd.path() / name; }
    const std::string victimBytes = "outside the work directory; must stay as it is";

    void SetUp() override {
        writeFile(at("victim"), victimBytes);
        writeWorkDir(at("work"), {{"a.DAT", 0, "stored record"}, {"b.CSV", 2, "1,2,3\r\n4,5,6\r\n"},
                                  {"m.R7T", 1, exampleFile("BUSH.R7T")}});
        ASSERT_FALSE(failedWithPrompt(runBxa({"-p", "a.BXA", "work"}, cwd.path())));
        fs::remove(at("tmp.cmp"));
    }

    void plantLink(const fs::path& where) {
        fs::remove(where);
        fs::create_symlink(at("victim"), where);
    }

    void expectVictimUntouched(const fs::path& link) {
        EXPECT_EQ(readBytes(at("victim")), victimBytes) << "written through " << link;
        EXPECT_FALSE(fs::is_symlink(fs::symlink_status(link))) << link << " is still a link";
    }
};

TEST_F(SymbolicLinks, UnpackReplacesLinksInTheWorkDirectoryInsteadOfWritingThroughThem) {
    for (const char* name : {"a.DAT", "b.CSV", "m.R7T", "header.dat", "catalog.dat"}) {
        SCOPED_TRACE(name);
        plantLink(at("work") / name);
        RunResult r = runBxa({"-u", "a.BXA", "work"}, cwd.path());
        EXPECT_FALSE(failedWithPrompt(r)) << r.err;
        expectVictimUntouched(at("work") / name);
    }
}

TEST_F(SymbolicLinks, TemporaryFilesThatAreLinksAreReplacedNotWrittenThrough) {
    struct Case {
        std::string link;
        std::vector<std::string> args;
    };
    writeFile(at("work") / "new.R7T", exampleFile("BUSH.R7T"));
    for (const Case& c : std::vector<Case>{{"tmp.cmp", {"-u", "a.BXA", "work"}},
                                           {"tmp.r7", {"-p", "a.BXA", "work"}},
                                           {"tmp.cmp", {"-p", "-f", "m.R7T", "a.BXA", "work"}},
                                           {"tmp.BXA", {"-p", "-f", "b.CSV", "a.BXA", "work"}},
                                           {"work/xcmp_a.DAT", {"-p", "a.BXA", "work"}},
                                           {"work/xcmp_b.CSV", {"-p", "-f", "b.CSV", "a.BXA", "work"}},
                                           {"tmp.BXA", {"-a", "-f", "new.R7T", "a.BXA", "work"}}}) {
        SCOPED_TRACE(c.link + " " + c.args[0]);
        plantLink(at(c.link));
        RunResult r = runBxa(c.args, cwd.path());
        EXPECT_FALSE(failedWithPrompt(r)) << r.out << r.err;
        EXPECT_EQ(readBytes(at("victim")), victimBytes) << "written through " << c.link;
        if (fs::is_symlink(fs::symlink_status(at(c.link)))) fs::remove(at(c.link));
    }
}

// ---- Cut and flipped streams, in-process (run under the sanitizer build too) -----------------------------

// Runs with a private current directory, where the models' binary forms are made.
class DamagedStreams : public ::testing::Test {
protected:
    InScratchDirectory scratch;

    void SetUp() override { fs::create_directory("work"); }

    // The stored bytes of `name` encoded with `method`, and the bytes it decodes to.
    struct Record {
        std::string name;
        int32_t method;
        std::string stored;
        std::string decoded;
    };

    Record encode(const std::string& name, int32_t method, const std::string& bytes) {
        writeFile(fs::path("work") / name, bytes);
        platform::Directory work = platform::Directory::open("work");
        platform::RecordingConsole console;
        PreparedSource source;
        EXPECT_EQ(prepareSource(work, name, "work/" + name, platform::Directory::current(), console, source),
                  SourceProblem::None);
        TocEntry entry;
        entry.name = name;
        entry.method = method;
        platform::WorkingFile out = platform::Directory::current().createWorkingFile();
        EXPECT_EQ(encodeRecord(source, entry, out.file(), console), EncodeOutcome::Done);
        out.file().close();
        Record record{name, method, readBytes(out.name()), ""};
        record.decoded = decode(record, record.stored).second;
        return record;
    }

    // Decodes `stored` as the record's file; returns the method the decoder left and the file's bytes.
    std::pair<int32_t, std::string> decode(const Record& record, const std::string& stored) {
        writeFile("stored", stored);
        platform::File archive = platform::File::openForReading("stored");
        platform::Directory work = platform::Directory::open("work");
        TocEntry entry;
        entry.name = record.name;
        entry.method = record.method;
        entry.storedSize = static_cast<int32_t>(stored.size());
        platform::RecordingConsole console;
        platform::WorkingFile output = work.createWorkingFile();
        EXPECT_TRUE(decodeRecord(archive, entry, output, work, "work/" + record.name, console));
        EXPECT_TRUE(placeRecordFile(output, record.name, "work/" + record.name, console));
        return {entry.method, readBytes(fs::path("work") / record.name)};
    }

    // Binary models made from the example text forms.
    std::string binaryModel(const std::string& exampleName, ModelKind kind) {
        writeFile("model.txt", exampleFile(exampleName));
        {
            platform::File text = platform::File::openForReading("model.txt");
            platform::File model = platform::File::createForWriting("model.bin");
            EXPECT_TRUE(convertTextToModel(kind, text, model));
        }
        return readBytes("model.bin");
    }

    std::vector<Record> records() {
        return {encode("PRICES.CSV", MethodCompressedAscii, exampleFile("PRICES.CSV")),
                encode("CRATE.BMP", MethodCompressedBinary, exampleFile("CRATE.BMP")),
                encode("T.DAT", MethodCompressedAscii, tableText(600, 5)),
                encode("PANEL.R7D", MethodCompressedBinary, binaryModel("PANEL.R7D", ModelKindR7D)),
                encode("BOAT.R7P", MethodCompressedBinary, binaryModel("BOAT.R7P", ModelKindR7P)),
                encode("BUSH.R7T", MethodCompressedAscii, binaryModel("BUSH.R7T", ModelKindR7T))};
    }
};

TEST_F(DamagedStreams, AStreamCutAtEveryByteDecodesOrIsKeptAsStored) {
    int cases = 0;
    for (const Record& record : records()) {
        SCOPED_TRACE(record.name);
        for (size_t length = 0; length < record.stored.size(); ++length) {
            auto [method, bytes] = decode(record, record.stored.substr(0, length));
            EXPECT_TRUE(method == record.method || method == MethodStored) << length;
            ++cases;
        }
        EXPECT_EQ(decode(record, record.stored), std::make_pair(record.method, record.decoded));
    }
    RecordProperty("cases", cases);
}

TEST_F(DamagedStreams, AStreamWithAnyOneBitFlippedDecodesOrIsKeptAsStored) {
    int cases = 0;
    for (const Record& record : records()) {
        SCOPED_TRACE(record.name);
        for (size_t bit = 0; bit < record.stored.size() * 8; ++bit) {
            std::string flipped = record.stored;
            flipped[bit / 8] = static_cast<char>(flipped[bit / 8] ^ (1 << (bit % 8)));
            auto [method, bytes] = decode(record, flipped);
            EXPECT_TRUE(method == record.method || method == MethodStored) << bit;
            ++cases;
        }
    }
    RecordProperty("cases", cases);
}

// The whole archive cut at every length and unpacked in-process: the table itself damaged.
TEST_F(DamagedStreams, AnArchiveCutAtEveryByteUnpacksOrFailsWithoutWritingOutside) {
    const std::string archive = readBytes(fs::path(BXA_SOURCE_DIR) / "examples" / "example.BXA");
    for (size_t length = 0; length <= archive.size(); ++length) {
        writeFile("a.BXA", archive.substr(0, length));
        TocList toc;
        platform::RecordingConsole console;
        unpackArchive(toc, "a.BXA", "work", std::nullopt, console);
        for (const auto& item : fs::directory_iterator(".")) {
            std::string name = item.path().filename().string();
            EXPECT_TRUE(name == "a.BXA" || name == "work" || name == "stored") << name << " at " << length;
        }
    }
}

}  // namespace
}  // namespace bxa
