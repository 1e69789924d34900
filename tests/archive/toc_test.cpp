#include <gtest/gtest.h>

#include "archive/catalog.hpp"
#include "archive/toc.hpp"
#include "platform/file.hpp"
#include "support/test_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

struct ReadResult {
    bool ok = false;
    TocList toc;
    std::string header;
};

ReadResult readArchiveBytes(const std::string& bytes) {
    ScratchDir dir;
    writeFile(dir.path() / "a.BXA", bytes);
    ReadResult result;
    platform::RecordingConsole console;
    ArchiveReading reading;
    result.ok = readTableOfContents(result.toc, dir / "a.BXA", dir / "work", console, reading);
    result.header = readFile(dir.path() / "work" / "header.dat");
    return result;
}

TEST(ReadTableOfContents, ReadsRecordsInOrderWithTheirFields) {
    std::string archive = buildArchive({{"a.CSV", 2, "aaaa"}, {"b.R7D", 1, ""}, {"c.BMP", 4, "cc"}});
    ReadResult r = readArchiveBytes(archive);
    ASSERT_TRUE(r.ok);
    ASSERT_EQ(r.toc.size(), 3u);
    EXPECT_EQ(r.toc[0].name, "a.CSV");
    EXPECT_EQ(r.toc[0].dataOffset, 160);
    EXPECT_EQ(r.toc[1].dataOffset, 164);
    EXPECT_EQ(r.toc[2].dataOffset, 164);  // an empty record occupies no bytes
    EXPECT_EQ(r.toc[2].method, 4);
    EXPECT_EQ(r.header, archive.substr(0, 16));
}

TEST(ReadTableOfContents, NamesEndAtTheFirstNulAndNeverExceedTheirField) {
    std::string name31(31, 'n');
    std::string withTail = std::string("x.DAT") + '\0' + "garbage";
    std::string full32(32, 'f');
    std::string table = recordBytes({0, 0, 0, 16 + 3 * 48, name31}) + recordBytes({0, 0, 0, 0, withTail}) +
                        recordBytes({0, 0, 0, 0, full32});
    ReadResult r = readArchiveBytes(headerBytes(3) + table);
    ASSERT_EQ(r.toc.size(), 3u);
    EXPECT_EQ(r.toc[0].name, name31);
    EXPECT_EQ(r.toc[1].name, "x.DAT");
    EXPECT_EQ(r.toc[2].name, full32);
}

TEST(ReadTableOfContents, CopiesAnOddHeaderVerbatimAndIgnoresItsCount) {
    std::string archive = buildArchive({{"a", 0, "x"}});
    std::string odd = int32Bytes(7) + int32Bytes(-3) + int32Bytes(99) + int32Bytes(1000);
    ReadResult r = readArchiveBytes(odd + archive.substr(16));
    EXPECT_EQ(r.header, odd);
    EXPECT_EQ(r.toc.size(), 1u);
}

TEST(ReadTableOfContents, CarriesUnknownMethodsThrough) {
    ReadResult r = readArchiveBytes(buildArchive({{"a", -1, "x"}, {"b", 4, "y"}}));
    ASSERT_EQ(r.toc.size(), 2u);
    EXPECT_EQ(r.toc[0].method, -1);
    EXPECT_EQ(r.toc[1].method, 4);
}

TEST(ReadTableOfContents, ShortAndEmptyArchivesGiveAnEmptyList) {
    ReadResult empty = readArchiveBytes(headerBytes(0));
    EXPECT_TRUE(empty.ok);
    EXPECT_EQ(empty.toc.size(), 0u);
    ReadResult tiny = readArchiveBytes("abc");
    EXPECT_TRUE(tiny.ok);
    EXPECT_EQ(tiny.toc.size(), 0u);
    EXPECT_EQ(tiny.header, "abc");
}

TEST(ReadTableOfContents, AHostileTableEndNeverMakesTheDataAreaIntoRecords) {
    // A table cut short: the half record at the end is dropped.
    std::string two = buildArchive({{"a", 0, ""}, {"b", 0, ""}});
    EXPECT_EQ(readArchiveBytes(two.substr(0, 16 + 48 + 20)).toc.size(), 1u);
    // A first dataOffset that is negative, zero, or inside the first record ends the table after it.
    std::string data(48 * 5, 'd');
    for (int32_t end : {-5, 0, 20}) {
        EXPECT_EQ(readArchiveBytes(headerBytes(1) + recordBytes({0, 0, 0, end, "a"}) + data).toc.size(), 1u)
            << end;
    }
    // Not on a record boundary: the table ends at the first boundary past it.
    EXPECT_EQ(readArchiveBytes(headerBytes(1) + recordBytes({0, 0, 0, 100, "a"}) + data).toc.size(), 2u);
    // Far beyond the file: the end of the file ends the table, with whole records only.
    std::string huge = headerBytes(1) + recordBytes({0, 0, 0, 0x7FFFFFFF, "a"}) + data + "tail";
    EXPECT_EQ(readArchiveBytes(huge).toc.size(), 6u);
}

TEST(ReadTableOfContents, ATableOfManyBlocksIsReadWholeAndNoFurther) {
    // 600 records span three blocks of the reader; the data behind them looks like records too.
    auto nameOf = [](size_t i) { return std::to_string(i) + ".DAT"; };
    std::vector<StoredRecord> records;
    for (size_t i = 0; i < 600; ++i) records.push_back({nameOf(i), 0, i % 7 == 0 ? "xyz" : ""});
    std::string fakeRecords;
    for (int i = 0; i < 300; ++i) fakeRecords += recordBytes({0, 0, 0, 0, "fake"});
    ReadResult r = readArchiveBytes(buildArchive(records) + fakeRecords);
    ASSERT_EQ(r.toc.size(), 600u);
    for (size_t i = 0; i < r.toc.size(); ++i) EXPECT_EQ(r.toc[i].name, nameOf(i));
    EXPECT_EQ(r.toc[8].dataOffset, r.toc[7].dataOffset + 3);
}

TEST(ReadTableOfContents, AMissingArchiveWritesNothing) {
    ScratchDir dir;
    TocList toc;
    toc.append(TocEntry{"stale", 0, 0, 0, 0});
    platform::RecordingConsole console;
    ArchiveReading reading;
    EXPECT_FALSE(readTableOfContents(toc, dir / "missing.BXA", dir / "work", console, reading));
    EXPECT_EQ(console.messages().at(0).second, "\n\nError: Could not open (" + dir / "missing.BXA" + ")\n\n");
    EXPECT_TRUE(toc.empty());
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "work"));
}

TEST(WriteTableOfContents, WritesTheFixedHeaderAndRunningOffsets) {
    TocList toc;
    toc.append(TocEntry{"a.CSV", 0, 10, 2, 30});
    toc.append(TocEntry{std::string(31, 'z'), 0, 5, -1, 5});
    ScratchDir dir;
    {
        platform::File file = platform::File::createForWriting(dir / "out");
        ASSERT_TRUE(writeTableOfContents(file, toc));
        ASSERT_TRUE(file.close());
    }
    std::string bytes = readFile(dir.path() / "out");
    ASSERT_EQ(bytes.size(), 16u + 2 * 48);
    EXPECT_EQ(bytes.substr(0, 16), headerBytes(2));
    EXPECT_EQ(bytes.substr(16, 48), recordBytes({30, 10, 2, 112, "a.CSV"}));
    EXPECT_EQ(bytes.substr(64, 48), recordBytes({5, 5, -1, 122, std::string(31, 'z')}));
    EXPECT_EQ(bytes[64 + 16 + 31], '\0');
}

TEST(CatalogLine, IsSizeMethodNameWithCrLf) {
    EXPECT_EQ(formatCatalogLine(TocEntry{"a.CSV", 160, 5, -1, 1234}), "1234 -1 a.CSV\r\n");
}

TEST(CatalogLine, ReadsTheMethodAndTheNameAndKeepsTheSizeAsAHint) {
    CatalogLine line = parseCatalogLine("99 2 a.CSV trailing");
    EXPECT_EQ(line.method, 2);
    EXPECT_EQ(line.name, "a.CSV");
    EXPECT_EQ(line.listedSize, 99);
    EXPECT_EQ(parseCatalogLine("  7 -1\tb.DAT").name, "b.DAT");
    for (const char* noFile : {"", "1 2", "x 1 a.CSV", "1 y a.CSV"}) EXPECT_EQ(parseCatalogLine(noFile).name, "") << noFile;
    EXPECT_EQ(parseCatalogLine("0 0 " + std::string(200, 'n')).name.size(), CatalogNameCapacity);
}

TEST(RecordName, NamesTheFirstProblem) {
    for (const char* escaping : {"..", "../x", "a/../../x", "a/..", "/etc/passwd", "//x", "sub/", "a//b"}) {
        EXPECT_EQ(recordNameProblem(escaping), NameProblem::Escapes) << escaping;
    }
    for (const char* good : {"a.CSV", "...", "..a", "a..", "sub/file.DAT", "a\\b", "Catalog.dat", "x/catalog.dat"}) {
        EXPECT_EQ(recordNameProblem(good), NameProblem::None) << good;
    }
    EXPECT_EQ(recordNameProblem(""), NameProblem::Empty);
    EXPECT_EQ(recordNameProblem("X\r\n0 0 header.dat"), NameProblem::ControlCharacter);
    EXPECT_EQ(recordNameProblem("tab\there"), NameProblem::ControlCharacter);
    EXPECT_EQ(recordNameProblem("del\x7F"), NameProblem::ControlCharacter);
    EXPECT_EQ(recordNameProblem("catalog.dat"), NameProblem::SideFile);
    EXPECT_EQ(recordNameProblem("header.dat"), NameProblem::SideFile);
    EXPECT_EQ(recordNameProblem(".bxa-12-00ff00ff.tmp"), NameProblem::WorkingFileName);
    EXPECT_EQ(recordNameProblem("sub/a.BXA.bxa-tmp-12-3"), NameProblem::WorkingFileName);
    EXPECT_EQ(recordNameProblem("two words.CSV"), NameProblem::Blank);
    EXPECT_EQ(recordNameProblem(std::string(31, 'n')), NameProblem::None);
    EXPECT_EQ(recordNameProblem(std::string(32, 'n')), NameProblem::TooLong);
    EXPECT_EQ(printableName("X\r\nY"), "X\\x0D\\x0AY");
}

TEST(TocList, InsertsAtAPositionAndFindsNamesExactly) {
    TocList toc;
    toc.append(TocEntry{"a", 0, 0, 0, 0});
    toc.append(TocEntry{"c", 0, 0, 0, 0});
    toc.insertAt(1, TocEntry{"b", 0, 0, 0, 0});
    EXPECT_EQ(toc[1].name, "b");
    EXPECT_EQ(toc.find("c"), 2u);
    EXPECT_EQ(toc.find("C"), 3u);
}

}  // namespace
}  // namespace bxa
