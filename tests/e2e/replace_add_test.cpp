// Replace one record and add one file, end to end. A rebuilt archive must equal what pack makes of the
// same files in the same order, which pins offsets, sizes, methods and data at once.
#include <gtest/gtest.h>
#include <unistd.h>

#include "e2e/e2e_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

class ReplaceAdd : public ::testing::Test {
protected:
    ScratchDir cwd;
    fs::path at(const std::string& name) const { return cwd.path() / name; }
    RunResult bxa(const std::vector<std::string>& args) { return runBxa(args, cwd.path()); }

    // Packs `files` in a separate directory and returns the archive's bytes.
    std::string packed(const std::vector<WorkFile>& files) {
        ScratchDir other;
        writeWorkDir(other.path() / "work", files);
        RunResult r = runBxa({"-p", "x.BXA", "work"}, other.path());
        EXPECT_EQ(r.err, "");
        return readFile(other.path() / "x.BXA");
    }
};

bool failedWithPrompt(const RunResult& r) { return r.exitCode == 1 && endsWith(r.out, ClosingPrompt); }

const std::string ReplaceOutput = "\nReading table of contents...Done\nCompressing %s\n\nRepacking...Done\n";

std::string progress(const std::string& name) {
    std::string text = ReplaceOutput;
    return text.replace(text.find("%s"), 2, name);
}

TEST_F(ReplaceAdd, ReplacingFirstMiddleOrLastEqualsPackingTheEditedDirectory) {
    std::vector<WorkFile> files = {{"a.DAT", 2, "first record, text"}, {"b.BIN", 0, std::string(300, 'b')},
                                   {"c.CSV", 2, "x,y\r\n1,2\r\n"}};
    for (size_t target = 0; target < files.size(); ++target) {
        for (const std::string& data : {std::string("tiny"), std::string(5000, 'L') + "onger data"}) {
            writeWorkDir(at("work"), files);
            ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
            std::vector<WorkFile> edited = files;
            edited[target].bytes = data;
            writeFile(at("work") / edited[target].name, data);
            RunResult r = bxa({"-p", "-f", edited[target].name, "a.BXA", "work"});
            EXPECT_EQ(r.out, progress(edited[target].name));
            EXPECT_EQ(r.err, "");
            std::string expected = packed(edited);
            EXPECT_EQ(readFile(at("a.BXA")), expected) << target << " " << data.size();
            EXPECT_FALSE(fs::exists(at("tmp.BXA")));
            EXPECT_FALSE(fs::exists(at("work") / ("xcmp_" + edited[target].name)));
        }
    }
}

TEST_F(ReplaceAdd, ReplaceKeepsTheMethodAndPutsTheModelTextBack) {
    std::vector<WorkFile> files = exampleWorkFiles();
    files[0].method = 0;  // a stored CSV stays stored
    writeWorkDir(at("work"), files);
    ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
    bxa({"-t", "a.BXA", "work"});
    auto before = snapshot(at("work"));
    for (const char* name : {"BOAT.R7P", "PRICES.CSV", "BUSH.R7T", "PANEL.R7D"}) {
        RunResult r = bxa({"-p", "-f", name, "a.BXA", "work"});
        EXPECT_EQ(r.err, "") << name;
        EXPECT_EQ(snapshot(at("work")), before) << name;
    }
    EXPECT_EQ(readFile(at("a.BXA")), packed(files));
    EXPECT_TRUE(fs::exists(at("tmp.r7")));
    EXPECT_TRUE(fs::exists(at("tmp.cmp")));
}

TEST_F(ReplaceAdd, ReplaceFailuresLeaveTheArchiveUnchanged) {
    writeWorkDir(at("work"), {{"a.DAT", 0, "abc"}, {"m.R7T", 1, readFile(fs::path(BXA_SOURCE_DIR) / "examples/work/BUSH.R7T")}});
    ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
    const std::string archive = readFile(at("a.BXA"));
    auto work = snapshot(at("work"));

    writeFile(at("work") / "A.DAT", "same name, other case");
    RunResult wrongCase = bxa({"-p", "-f", "A.DAT", "a.BXA", "work"});
    fs::remove(at("work") / "A.DAT");
    EXPECT_TRUE(failedWithPrompt(wrongCase));
    EXPECT_NE(wrongCase.out.find("\nError: Could not find record (A.DAT); check record name and case\n\n"),
              std::string::npos);

    writeFile(at("work") / "M.R7T", readFile(at("work") / "m.R7T"));
    RunResult modelWrongCase = bxa({"-p", "-f", "M.R7T", "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(modelWrongCase));
    EXPECT_EQ(readFile(at("work") / "M.R7T"), readFile(at("work") / "m.R7T"));
    fs::remove(at("work") / "M.R7T");

    RunResult noSource = bxa({"-p", "-f", "gone.DAT", "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(noSource));
    EXPECT_NE(noSource.out.find("\nError: Could not open source file (" + joined("work", "gone.DAT") + "); file must exist"),
              std::string::npos);
    // No working file is left, in the current directory or anywhere.
    EXPECT_FALSE(fs::exists(at("tmp.BXA")));

    RunResult noArchive = bxa({"-p", "-f", "a.DAT", "missing.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(noArchive));
    EXPECT_EQ(noArchive.err, "\n\nError: Could not open (missing.BXA)\n\n");
    EXPECT_NE(noArchive.out.find("\nError: Could not open BXA file (missing.BXA); file must exist"),
              std::string::npos);

    // The archive's directory cannot hold the rebuilt archive.
    fs::create_directory(at("full"));
    fs::copy_file(at("a.BXA"), at("full") / "a.BXA");
    RunResult noWorkFile = runBxa({"-p", "-f", "a.DAT", "full/a.BXA", "work"}, cwd.path(), "", "chmod a-w full;");
    fs::permissions(at("full"), fs::perms::owner_all, fs::perm_options::add);
    if (::geteuid() != 0) {
        EXPECT_TRUE(failedWithPrompt(noWorkFile));
        EXPECT_NE(noWorkFile.out.find("\nError: Could not open work file"), std::string::npos);
    }
    EXPECT_EQ(readFile(at("full") / "a.BXA"), archive);
    fs::remove_all(at("full"));

    EXPECT_EQ(readFile(at("a.BXA")), archive);
    work.erase("header.dat");
    auto after = snapshot(at("work"));
    after.erase("header.dat");
    EXPECT_EQ(after, work);
}

// An older writer could fill a name's whole table field, with no NUL after it. Writing the table back would
// cut that name and so rename a record nobody touched: replace and add refuse the archive instead.
TEST_F(ReplaceAdd, ANameFillingItsWholeTableFieldStopsAnUpdateBeforeAnythingChanges) {
    const std::string fitting = std::string(27, 'n') + ".DAT";  // 31 characters, the most a field holds
    writeWorkDir(at("work"), {{"a.DAT", 0, "abc"}, {fitting, 0, "xyz"}});
    ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
    std::string archive = readFile(at("a.BXA"));
    // The second record's name field: after the 16-byte header, one 48-byte record and 16 bytes of numbers.
    const size_t lastNameByte = 16 + 48 + 16 + 31;
    ASSERT_EQ(archive[lastNameByte], '\0');
    archive[lastNameByte] = 'X';
    writeFile(at("a.BXA"), archive);
    const std::string refusal = "\nError: Record name (" + fitting + "X) in BXA file (a.BXA) fills its whole table "
                                "field, which a rebuilt archive cannot hold; unpack the archive, rename the file "
                                "to at most 31 characters and pack it\n";

    RunResult replaced = bxa({"-p", "-f", "a.DAT", "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(replaced));
    EXPECT_NE(replaced.out.find(refusal), std::string::npos) << replaced.out;
    writeFile(at("work") / "new.DAT", "new");
    RunResult added = bxa({"-a", "-f", "new.DAT", "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(added));
    EXPECT_NE(added.out.find(refusal), std::string::npos) << added.out;
    EXPECT_EQ(readFile(at("a.BXA")), archive);
}

TEST_F(ReplaceAdd, WithoutItsTableTheArchiveIsNeverRebuilt) {
    writeWorkDir(at("work"), {{"a.DAT", 0, "abc"}});
    ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
    const std::string archive = readFile(at("a.BXA"));
    fs::create_directory(at("work") / "header.dat");  // header.dat cannot be created
    writeFile(at("work") / "new.DAT", "new");
    EXPECT_TRUE(failedWithPrompt(bxa({"-p", "-f", "a.DAT", "a.BXA", "work"})));
    EXPECT_TRUE(failedWithPrompt(bxa({"-a", "-f", "new.DAT", "a.BXA", "work"})));
    EXPECT_EQ(readFile(at("a.BXA")), archive);
}

// The archive of the add examples: a.BMP, c.CSV, f.CSV, b.DAT, all stored.
std::vector<WorkFile> addExample() {
    return {{"a.BMP", 0, "BMxxxx"}, {"c.CSV", 0, "c,c\r\n"}, {"f.CSV", 0, "f,f,f\r\n"}, {"b.DAT", 0, "bdat"}};
}

TEST_F(ReplaceAdd, AddPlacesTheNewRecordAmongItsExtension) {
    struct Case {
        std::string name;
        std::vector<std::string> order;
    };
    for (const Case& c : std::vector<Case>{{"e.CSV", {"a.BMP", "c.CSV", "e.CSV", "f.CSV", "b.DAT"}},
                                           {"g.CSV", {"a.BMP", "c.CSV", "f.CSV", "g.CSV", "b.DAT"}},
                                           {"a.CSV", {"a.BMP", "c.CSV", "a.CSV", "f.CSV", "b.DAT"}},
                                           {"z.TXT", {"a.BMP", "c.CSV", "f.CSV", "b.DAT", "z.TXT"}},
                                           {"c.csv", {"a.BMP", "c.CSV", "f.CSV", "b.DAT", "c.csv"}}}) {
        SCOPED_TRACE(c.name);
        // Windows file names ignore case, so c.csv and c.CSV cannot both stand in one work directory there.
        if (TargetIsWindows && c.name == "c.csv") continue;
        std::vector<WorkFile> files = addExample();
        writeWorkDir(at("work"), files);
        ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
        const size_t oldLength = readFile(at("a.BXA")).size();
        WorkFile added{c.name, c.name == "z.TXT" || c.name == "c.csv" ? 1 : 2, "new,record\r\n" + c.name};
        writeFile(at("work") / c.name, added.bytes);
        RunResult r = bxa({"-a", "-f", c.name, "a.BXA", "work"});
        EXPECT_EQ(r.out, progress(c.name));
        EXPECT_EQ(r.err, "");
        std::vector<WorkFile> expected;
        for (const std::string& name : c.order) {
            for (const WorkFile& f : files) if (f.name == name) expected.push_back(f);
            if (name == c.name) expected.push_back(added);
        }
        std::string archive = readFile(at("a.BXA"));
        EXPECT_EQ(archive, packed(expected));
        // Offsets: 48 more in front of the new record, 48 plus its size behind it.
        const int32_t newSize = int32At(archive, 16 + 48 * 0 + 4 + 48 * static_cast<int>(
            std::find(c.order.begin(), c.order.end(), c.name) - c.order.begin()));
        EXPECT_EQ(archive.size(), oldLength + 48 + static_cast<size_t>(newSize));
        std::string catalog;
        for (const WorkFile& f : expected) catalog += std::to_string(f.bytes.size()) + " " + std::to_string(f.method) + " " + f.name + "\r\n";
        EXPECT_EQ(readFile(at("work") / "catalog.dat"), catalog);
        fs::remove_all(at("work"));
        fs::remove(at("a.BXA"));
    }
}

TEST_F(ReplaceAdd, AddRefusesADuplicateAfterRewritingOnlyTheHeaderFile) {
    writeWorkDir(at("work"), addExample());
    ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
    const std::string archive = readFile(at("a.BXA"));
    fs::remove(at("work") / "header.dat");
    RunResult r = bxa({"-a", "-f", "c.CSV", "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_EQ(r.out, "\nReading table of contents...Done\n\nError: File already exists in the archive\n" + ClosingPrompt);
    EXPECT_TRUE(fs::exists(at("work") / "header.dat"));
    EXPECT_EQ(readFile(at("work") / "catalog.dat"), catalogFor(addExample()));
    EXPECT_EQ(readFile(at("a.BXA")), archive);
}

TEST_F(ReplaceAdd, AddChoosesTheMethodByExtensionAndContent) {
    writeWorkDir(at("work"), {{"base.DAT", 0, "base"}});
    ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
    writeFile(at("work") / "p.BMP", std::string("\x89PNG\r\n\x1a\n", 8) + "pixels");
    writeFile(at("work") / "j.BMP", std::string("\xff\xd8\xff\xe0\x00\x10JFIF", 10));
    writeFile(at("work") / "m.BMP", "BM true bitmap");
    writeFile(at("work") / "s.MIS", "mission text");
    writeFile(at("work") / "t.R7T", readFile(fs::path(BXA_SOURCE_DIR) / "examples/work/BUSH.R7T"));
    for (const char* name : {"p.BMP", "j.BMP", "m.BMP", "s.MIS", "t.R7T"}) {
        ASSERT_EQ(bxa({"-a", "-f", name, "a.BXA", "work"}).err, "") << name;
    }
    ASSERT_EQ(bxa({"-t", "a.BXA", "listing"}).err, "");
    std::string catalog = readFile(at("listing") / "catalog.dat");
    EXPECT_NE(catalog.find(" 5 p.BMP\r\n"), std::string::npos) << catalog;
    EXPECT_NE(catalog.find(" 3 j.BMP\r\n"), std::string::npos);
    EXPECT_NE(catalog.find(" 1 m.BMP\r\n"), std::string::npos);
    EXPECT_NE(catalog.find(" 2 s.MIS\r\n"), std::string::npos);
    EXPECT_NE(catalog.find(" 1 t.R7T\r\n"), std::string::npos);
    // The model went in as binary and its text form is unchanged.
    EXPECT_EQ(readFile(at("work") / "t.R7T"), readFile(fs::path(BXA_SOURCE_DIR) / "examples/work/BUSH.R7T"));
    ASSERT_EQ(bxa({"-u", "-f", "t.R7T", "a.BXA", "back"}).err, "");
    EXPECT_EQ(readFile(at("back") / "t.R7T"), readFile(at("work") / "t.R7T"));
}

TEST_F(ReplaceAdd, AddRefusesAnUnstorableNameBeforeWritingAnything) {
    writeFile(at("a.BXA"), headerBytes(0));
    const std::string name(32, 'n');
    RunResult r = bxa({"-a", "-f", name, "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(r));
    EXPECT_NE(r.out.find(name), std::string::npos);
    EXPECT_FALSE(fs::exists(at("work")));
    RunResult escape = bxa({"-a", "-f", "../x.DAT", "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(escape));
    EXPECT_EQ(readFile(at("a.BXA")), headerBytes(0));
}

TEST_F(ReplaceAdd, AnArchiveWithoutRecordsTakesAnAddedFileAsItsFirst) {
    writeWorkDir(at("work"), {});
    ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
    writeFile(at("work") / "first.DAT", "first");
    ASSERT_EQ(bxa({"-a", "-f", "first.DAT", "a.BXA", "work"}).err, "");
    EXPECT_EQ(readFile(at("a.BXA")), packed({{"first.DAT", 2, "first"}}));
    EXPECT_EQ(readFile(at("work") / "catalog.dat"), "5 2 first.DAT\r\n");
}

TEST_F(ReplaceAdd, AddFailuresLeaveTheArchiveUnchanged) {
    writeWorkDir(at("work"), addExample());
    ASSERT_EQ(bxa({"-p", "a.BXA", "work"}).err, "");
    const std::string archive = readFile(at("a.BXA"));
    RunResult noSource = bxa({"-a", "-f", "gone.CSV", "a.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(noSource));
    EXPECT_NE(noSource.out.find("\nError: Could not open source file (" + joined("work", "gone.CSV") + "); file must exist"),
              std::string::npos);
    // No working file is left, in the current directory or anywhere.
    EXPECT_FALSE(fs::exists(at("tmp.BXA")));
    // A source of 2 GiB (a sparse file) fits no record, which the message says.
    writeFile(at("work") / "huge.DAT", "");
    fs::resize_file(at("work") / "huge.DAT", uint64_t{1} << 31);
    RunResult huge = bxa({"-a", "-f", "huge.DAT", "a.BXA", "work"});
    fs::remove(at("work") / "huge.DAT");
    EXPECT_TRUE(failedWithPrompt(huge));
    EXPECT_NE(huge.out.find("\nError: File too large for a BXA file (" + joined("work", "huge.DAT") + ")"),
              std::string::npos)
        << huge.out;
    RunResult noArchive = bxa({"-a", "-f", "c.CSV", "missing.BXA", "work"});
    EXPECT_TRUE(failedWithPrompt(noArchive));
    EXPECT_NE(noArchive.out.find("\nError: Could not open BXA file (missing.BXA); file must exist"),
              std::string::npos);
    EXPECT_EQ(readFile(at("a.BXA")), archive);
    EXPECT_EQ(readFile(at("work") / "catalog.dat"), catalogFor(addExample()));
}

}  // namespace
}  // namespace bxa
