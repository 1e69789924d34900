// Unpack and pack end to end: the built binary in a scratch current directory.
#include <gtest/gtest.h>

#include "e2e/e2e_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

class UnpackPack : public ::testing::Test {
protected:
    ScratchDir cwd;
    fs::path at(const std::string& name) const { return cwd.path() / name; }
    RunResult bxa(const std::vector<std::string>& args) { return runBxa(args, cwd.path()); }
};

bool failedWithPrompt(const RunResult& r) { return r.exitCode == 1 && endsWith(r.out, ClosingPrompt); }

TEST_F(UnpackPack, TheExampleRoundTripsByteForByte) {
    std::vector<WorkFile> files = exampleWorkFiles();
    writeWorkDir(at("work"), files);
    auto before = snapshot(at("work"));
    RunResult packed = bxa({"-p", "a.BXA", "work"});
    ASSERT_EQ(packed.err, "");
    ASSERT_FALSE(endsWith(packed.out, ClosingPrompt));
    // Model text forms are back, byte for byte, and no encoded copy is left.
    EXPECT_EQ(snapshot(at("work")), before);
    EXPECT_TRUE(fs::exists(at("tmp.cmp")));
    EXPECT_FALSE(fs::exists(at("tmp.r7")));

    RunResult unpacked = bxa({"-u", "a.BXA", "back"});
    ASSERT_EQ(unpacked.err, "");
    EXPECT_FALSE(fs::exists(at("tmp.cmp")));
    for (const WorkFile& f : files) EXPECT_EQ(readFile(at("back") / f.name), f.bytes) << f.name;
    EXPECT_EQ(readFile(at("back") / "header.dat"), readFile(at("a.BXA")).substr(0, 16));

    ASSERT_EQ(bxa({"-p", "b.BXA", "back"}).err, "");
    EXPECT_EQ(readFile(at("b.BXA")), readFile(at("a.BXA")));
}

TEST_F(UnpackPack, ConsoleOutputFollowsTheOperationsInOrder) {
    writeWorkDir(at("work"), {{"a.DAT", 0, "12345"}, {"b.CSV", 2, ""}});
    RunResult packed = bxa({"-p", "a.BXA", "work"});
    EXPECT_EQ(packed.out,
              "\nReading catalog...Compressing a.DAT\nCompressing b.CSV\nDone\n\nPacking files...\n"
              "Packing a.DAT, 5 bytes\nPacking b.CSV, 4 bytes\nDone\n");
    RunResult unpacked = bxa({"-u", "a.BXA", "back"});
    EXPECT_EQ(unpacked.out,
              "\nReading table of contents...Done\n\nExtracting files...\n"
              "Decompressing a.DAT\nWriting a.DAT, 5 bytes\nDecompressing b.CSV\nWriting b.CSV, 4 bytes\nDone\n");
    // The empty file's 4-byte stream cannot be expanded: it comes out as stored, with method 0.
    EXPECT_EQ(readFile(at("back") / "catalog.dat"), "5 0 a.DAT\r\n0 0 b.CSV\r\n");
    EXPECT_EQ(readFile(at("back") / "b.CSV").size(), 4u);
}

TEST_F(UnpackPack, StoredMethodsAreCarriedThroughUnchanged) {
    std::string binaryModel("\x02\x00\x00\x00garbage\x00\xff", 13);
    std::vector<StoredRecord> records = {{"a.DAT", 0, "plain"}, {"b.JPG", 3, "jfif"}, {"c.PNG", 5, "png"},
                                         {"d.X", 4, "four"},    {"e.Y", -1, "neg"},  {"m.R7D", 0, binaryModel}};
    writeFile(at("a.BXA"), buildArchive(records));
    ASSERT_EQ(bxa({"-u", "a.BXA", "work"}).err, "");
    for (const auto& r : records) EXPECT_EQ(readFile(at("work") / r.name), r.data) << r.name;
    EXPECT_EQ(readFile(at("work") / "catalog.dat"),
              "5 0 a.DAT\r\n4 3 b.JPG\r\n3 5 c.PNG\r\n4 4 d.X\r\n3 -1 e.Y\r\n13 0 m.R7D\r\n");
    // A model left in binary form is never parsed as text: the pack stores it unchanged.
    ASSERT_EQ(bxa({"-p", "b.BXA", "work"}).err, "");
    EXPECT_EQ(readFile(at("b.BXA")), readFile(at("a.BXA")));
}

TEST_F(UnpackPack, AStreamThatCannotBeExpandedIsExtractedAsStoredWithMethodZero) {
    writeFile(at("a.BXA"), buildArchive({{"x.DAT", 2, "\x07\x09not a stream"}, {"m.R7D", 1, std::string(16, '\0')}}));
    RunResult r = bxa({"-u", "a.BXA", "work"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(at("work") / "x.DAT"), "\x07\x09not a stream");
    // The model is still turned into text from its stored bytes (an empty model here).
    EXPECT_EQ(readFile(at("work") / "m.R7D").substr(0, 22), "NumVertices:      0\r\nN");
    EXPECT_EQ(readFile(at("work") / "catalog.dat"), "14 0 x.DAT\r\n16 0 m.R7D\r\n");
    // The catalog command lists the stored methods, since it decodes nothing.
    bxa({"-t", "a.BXA", "listing"});
    EXPECT_EQ(readFile(at("listing") / "catalog.dat"), "14 2 x.DAT\r\n16 1 m.R7D\r\n");
}

TEST_F(UnpackPack, OnlyUpperCaseModelExtensionsAreConverted) {
    writeWorkDir(at("work"), {{"m.r7d", 1, "not a model"}, {"R7D", 1, "no dot"}});
    ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
    ASSERT_EQ(bxa({"-u", "a.BXA", "back"}).err, "");
    EXPECT_EQ(readFile(at("back") / "m.r7d"), "not a model");
    EXPECT_EQ(readFile(at("back") / "R7D"), "no dot");
}

TEST_F(UnpackPack, OneNamedRecordIsExtractedAndTheCatalogListsAll) {
    writeFile(at("a.BXA"), buildArchive({{"a.DAT", 0, "one"}, {"b.DAT", 0, "two"}}));
    fs::create_directory(at("work"));
    writeFile(at("work") / "a.DAT", "edited");
    writeFile(at("work") / "other", "mine");
    RunResult r = bxa({"-u", "-f", "b.DAT", "a.BXA", "work"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(at("work") / "a.DAT"), "edited");
    EXPECT_EQ(readFile(at("work") / "b.DAT"), "two");
    EXPECT_EQ(readFile(at("work") / "other"), "mine");
    EXPECT_EQ(readFile(at("work") / "catalog.dat"), "3 0 a.DAT\r\n3 0 b.DAT\r\n");

    RunResult absent = bxa({"-u", "-f", "B.DAT", "a.BXA", "work2"});
    EXPECT_TRUE(endsWith(absent.out,
                         "Done\n\nWarning: Specified file could not be found in archive (B.DAT), no records written"));
    EXPECT_FALSE(fs::exists(at("work2") / "a.DAT"));
    EXPECT_EQ(readFile(at("work2") / "catalog.dat"), "3 0 a.DAT\r\n3 0 b.DAT\r\n");
}

TEST_F(UnpackPack, UnpackingOverADirectoryReplacesSameNamesOnly) {
    writeFile(at("a.BXA"), buildArchive({{"a.DAT", 0, "new"}, {"empty", 0, ""}}));
    fs::create_directory(at("work"));
    writeFile(at("work") / "a.DAT", "old old old");
    writeFile(at("work") / "keep.txt", "kept");
    ASSERT_EQ(bxa({"-u", "a.BXA", "work"}).err, "");
    EXPECT_EQ(readFile(at("work") / "a.DAT"), "new");
    EXPECT_EQ(readFile(at("work") / "empty"), "");
    EXPECT_EQ(readFile(at("work") / "keep.txt"), "kept");
}

TEST_F(UnpackPack, CatalogLinesAreReadAsPackReadsThem) {
    // An empty catalog gives the bare header.
    writeWorkDir(at("empty"), {});
    ASSERT_EQ(bxa({"-p", "e.BXA", "empty"}).err, "");
    EXPECT_EQ(readFile(at("e.BXA")), headerBytes(0));
    // The first number is ignored and the method taken as written; a last line without a line end is
    // packed like the others, and a lone CR ends a line like LF and CR LF.
    fs::create_directory(at("work"));
    writeFile(at("work") / "a.DAT", "abc");
    writeFile(at("work") / "b.DAT", "bb");
    writeFile(at("work") / "c.DAT", "c");
    const std::string expected = buildArchive({{"a.DAT", 7, "abc"}, {"b.DAT", 0, "bb"}, {"c.DAT", 0, "c"}});
    for (const char* catalog : {"999 7 a.DAT\n0 0 b.DAT\r\n0 0 c.DAT", "999 7 a.DAT\r0 0 b.DAT\r0 0 c.DAT\r",
                                "999 7 a.DAT\r\n0 0 b.DAT\r0 0 c.DAT\n"}) {
        writeFile(at("work") / "catalog.dat", catalog);
        ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
        EXPECT_EQ(readFile(at("a.BXA")), expected) << catalog;
    }
}

TEST_F(UnpackPack, ANumberBeyond32BitsInTheCatalogFailsNamingTheLine) {
    writeWorkDir(at("work"), {{"a.DAT", 0, "abc"}, {"b.DAT", 0, "bb"}});
    writeFile(at("a.BXA"), "old archive");
    for (const char* line : {"0 99999999999 b.DAT", "99999999999 0 b.DAT", "0 -2147483649 b.DAT",
                             "0 123456789012345678901234567890 b.DAT"}) {
        writeFile(at("work") / "catalog.dat", std::string("0 0 a.DAT\r\n") + line + "\r\n");
        RunResult r = bxa({"-p", "a.BXA", "work"});
        EXPECT_TRUE(failedWithPrompt(r)) << line;
        EXPECT_NE(r.err.find("Line 2 of the catalog (" + joined("work", "catalog.dat") + ")"), std::string::npos)
            << r.err;
        EXPECT_NE(r.err.find(line), std::string::npos) << r.err;
        EXPECT_EQ(readFile(at("a.BXA")), "old archive");
    }
    writeFile(at("work") / "catalog.dat", "0 -2147483648 a.DAT\r\n2147483647 2147483647 b.DAT\r\n");
    ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
    EXPECT_EQ(readFile(at("a.BXA")), buildArchive({{"a.DAT", INT32_MIN, "abc"}, {"b.DAT", INT32_MAX, "bb"}}));
}

TEST_F(UnpackPack, ABlankCatalogLineNamesTheDirectoryAndFails) {
    writeFile(at("a.BXA"), "old archive");
    writeWorkDir(at("work"), {{"a.DAT", 0, "abc"}});
    writeFile(at("work") / "catalog.dat", "0 0 a.DAT\r\n\r\n");
    RunResult r = bxa({"-p", "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_EQ(r.err, "\n\nError: Could not open file (" + joined("work", "") + ")\n\n");
    EXPECT_EQ(readFile(at("a.BXA")), "old archive");
}

TEST_F(UnpackPack, AFailedPackLeavesTheArchiveAndTheWorkDirectoryAsTheyWere) {
    std::vector<WorkFile> files = exampleWorkFiles();
    writeWorkDir(at("work"), files);
    writeFile(at("work") / "catalog.dat", catalogFor(files) + "0 0 missing.DAT\r\n");
    writeFile(at("a.BXA"), "old archive");
    auto before = snapshot(cwd.path());
    RunResult r = bxa({"-p", "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_EQ(r.err, "\n\nError: Could not open file (" + joined("work", "missing.DAT") + ")\n\n");
    auto after = snapshot(cwd.path());
    after.erase("tmp.cmp");
    EXPECT_EQ(after, before);
}

TEST_F(UnpackPack, ANameListedTwiceFailsWithTheArchiveUnchanged) {
    writeWorkDir(at("work"), {{"a.DAT", 2, "abcabcabc"}, {"a.DAT", 0, "abcabcabc"}});
    writeFile(at("a.BXA"), "old archive");
    RunResult r = bxa({"-p", "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_EQ(readFile(at("a.BXA")), "old archive");
    EXPECT_FALSE(fs::exists(at("work") / "xcmp_a.DAT"));
}

TEST_F(UnpackPack, AnArchiveNameTooLongForTheFileSystemIsSaidSo) {
    BXA_SKIP_ON_WINDOWS("the limits of the file system under Wine");
    writeWorkDir(at("work"), {{"a.DAT", 0, "abc"}});
    const std::string name = std::string(300, 'n') + ".BXA";
    RunResult r = bxa({"-p", name, "work"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_EQ(r.err, "\n\nError: Could not open BXA file (" + name + "); its name is longer than the file system allows\n\n");
}

TEST_F(UnpackPack, AReadOnlyArchiveIsPackedOver) {
    writeWorkDir(at("work"), {{"a.DAT", 0, "abc"}});
    writeFile(at("a.BXA"), "old archive");
    fs::permissions(at("a.BXA"), fs::perms::owner_read | fs::perms::group_read);
    ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
    EXPECT_EQ(readFile(at("a.BXA")), buildArchive({{"a.DAT", 0, "abc"}}));
}

TEST_F(UnpackPack, ANameThatCannotBeStoredIsRefusedBeforeTheArchiveChanges) {
    std::string name32(28, 'n');
    name32 += ".DAT";
    writeWorkDir(at("work"), {{"a.DAT", 0, "abc"}, {name32, 0, "long"}});
    writeFile(at("a.BXA"), "old archive");
    RunResult r = bxa({"-p", "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_NE(r.err.find(name32), std::string::npos);
    EXPECT_EQ(readFile(at("a.BXA")), "old archive");
}

TEST_F(UnpackPack, AMissingModelFileIsNamedAndNeverCreated) {
    writeWorkDir(at("work"), {{"a.DAT", 0, "abc"}});
    writeFile(at("work") / "catalog.dat", "0 1 gone.R7D\r\n");
    writeFile(at("tmp.cmp"), "leftover");
    RunResult r = bxa({"-p", "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_EQ(r.err, "\nError: Could not open output file (" + joined("work", "gone.R7D") + ")\n"
                     "\n\nError: Could not open file (" + joined("work", "gone.R7D") + ")\n\n");
    EXPECT_FALSE(fs::exists(at("work") / "gone.R7D"));
}

TEST_F(UnpackPack, NamesAreBytes) {
    // The Windows program opens files by names in its ANSI code page, which Wine keeps as UTF-8 on disk:
    // the raw bytes written here name another file there.
    BXA_SKIP_ON_WINDOWS("file names pass through the ANSI code page");
    const std::string name = "\x83\x65\x83\x58\x83\x67\xff.DAT";
    writeWorkDir(at("work"), {{name, 2, "shift-jis named"}});
    ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
    ASSERT_EQ(bxa({"-u", "a.BXA", "back"}).err, "");
    EXPECT_EQ(readFile(at("back") / name), "shift-jis named");
    EXPECT_EQ(readFile(at("a.BXA")).substr(16 + 16, name.size()), name);
}

TEST_F(UnpackPack, HostileRecordsStopTheUnpackWithoutWritingOutside) {
    for (const std::string& name : {std::string("../escape"), std::string("/tmp/bxa-absolute"),
                                    std::string("a/../../escape")}) {
        ScratchDir scratch;
        fs::create_directory(scratch.path() / "cwd");
        writeFile(scratch.path() / "cwd" / "a.BXA", buildArchive({{"ok.DAT", 0, "fine"}, {name, 0, "evil"}}));
        RunResult r = runBxa({"-u", "a.BXA", "work"}, scratch.path() / "cwd");
        EXPECT_TRUE(failedWithPrompt(r)) << name;
        EXPECT_NE(r.err.find("(" + name + ")"), std::string::npos) << r.err;
        EXPECT_TRUE(endsWith(r.err, "\nAborting...\n"));
        EXPECT_FALSE(fs::exists(scratch.path() / "escape"));
        EXPECT_FALSE(fs::exists(scratch.path() / "cwd" / "escape"));
        EXPECT_FALSE(fs::exists("/tmp/bxa-absolute"));
        // Refused before any record is written: not even the harmless one.
        EXPECT_FALSE(fs::exists(scratch.path() / "cwd" / "work" / "ok.DAT"));
        EXPECT_FALSE(fs::exists(scratch.path() / "cwd" / "work" / "catalog.dat"));
    }
}

TEST_F(UnpackPack, ARecordWhoseDataLiesOutsideTheArchiveStopsTheUnpack) {
    std::string archive = buildArchive({{"a.DAT", 0, "abc"}});
    std::string beyond = archive;
    beyond.replace(16 + 4, 4, int32Bytes(1 << 30));  // storedSize far past the end
    std::string negative = archive;
    negative.replace(16 + 12, 4, int32Bytes(-100));  // dataOffset before the start
    for (const std::string& bytes : {beyond, negative}) {
        writeFile(at("a.BXA"), bytes);
        RunResult r = bxa({"-u", "a.BXA", "work"});
        EXPECT_TRUE(failedWithPrompt(r));
        EXPECT_NE(r.err.find("(a.DAT) lies outside the archive"), std::string::npos) << r.err;
        EXPECT_TRUE(endsWith(r.err, "\nAborting...\n"));
        EXPECT_FALSE(fs::exists(at("work") / "a.DAT"));
    }
}

}  // namespace
}  // namespace bxa
