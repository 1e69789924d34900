// The new archive's part files: what lets records be encoded side by side without making and removing a
// file per record.
#include <gtest/gtest.h>

#include <optional>

#include "archive/rebuild.hpp"
#include "entry/record_encoding.hpp"
#include "faults/fault_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

TEST(NewArchive, APartFileGivenBackIsUsedAgainFromItsStartAndGoesWithTheArchive) {
    InScratchDirectory scratch;
    std::string reused;
    {
        NewArchive archive;
        ASSERT_TRUE(archive.create("a.BXA", true));
        platform::WorkingFile first = archive.takePartFile();
        platform::WorkingFile second = archive.takePartFile();
        ASSERT_TRUE(first && second);
        EXPECT_NE(first.name(), second.name());
        ASSERT_TRUE(first.file().write("record bytes"));
        reused = first.name();
        archive.givePartFile(std::move(first));

        // A small record's bytes stay, to be written over; the next record starts at the start.
        platform::WorkingFile again = archive.takePartFile();
        ASSERT_TRUE(again);
        EXPECT_EQ(again.name(), reused);
        EXPECT_EQ(again.file().position(), std::optional<int64_t>(0));
        EXPECT_EQ(again.file().length(), std::optional<int64_t>(12));
        // One larger than a usual record goes back empty.
        ASSERT_TRUE(again.file().write(std::string(NewArchive::ReusedPartBytes + 1, 'x')));
        archive.givePartFile(std::move(again));
        platform::WorkingFile emptied = archive.takePartFile();
        EXPECT_EQ(emptied.name(), reused);
        EXPECT_EQ(emptied.file().length(), std::optional<int64_t>(0));
        EXPECT_EQ(emptied.file().position(), std::optional<int64_t>(0));
        // The new archive and the two part files, nothing else.
        EXPECT_EQ(snapshotFiles(".").size(), 3u);
        archive.givePartFile(std::move(emptied));
        archive.givePartFile(std::move(second));
    }
    EXPECT_TRUE(snapshotFiles(".").empty());
}

// A record encoded into a part file that still holds a longer one: its size is what was written, and what
// the archive takes from the part file is that record, whole, and nothing of the earlier one.
TEST(NewArchive, ARecordWrittenOverAnEarlierOneIsAppendedWithItsOwnSizeAndBytes) {
    InScratchDirectory scratch;
    fs::create_directory("work");
    std::string text;
    for (int row = 0; text.size() < 200000; ++row) text += std::to_string(row * 7919 % 1000) + ",crate,lamp\r\n";
    writeFile("work/TABLE.CSV", text);
    platform::Directory work = platform::Directory::open("work");
    for (const int32_t method : {MethodStored, MethodCompressedBinary, MethodCompressedAscii}) {
        SCOPED_TRACE(method);
        auto encodeInto = [&](platform::File& out) {
            platform::RecordingConsole console;
            PreparedSource source;
            EXPECT_EQ(prepareSource(work, "TABLE.CSV", "work/TABLE.CSV", platform::Directory::current(), console,
                                    source),
                      SourceProblem::None);
            TocEntry entry;
            entry.name = "TABLE.CSV";
            entry.method = method;
            EXPECT_EQ(encodeRecord(source, entry, out, console), EncodeOutcome::Done);
            return entry.storedSize;
        };
        // What the archive's file holds from its start.
        auto bytesOf = [](NewArchive& archive) {
            std::string bytes(static_cast<size_t>(archive.file().length().value_or(0)), '\0');
            EXPECT_EQ(archive.file().readAt(0, bytes.data(), bytes.size()), std::optional<size_t>(bytes.size()));
            return bytes;
        };
        NewArchive alone;
        ASSERT_TRUE(alone.create("alone.BXA", true));
        const int32_t size = encodeInto(alone.file());
        const std::string expected = bytesOf(alone);
        ASSERT_EQ(expected.size(), static_cast<size_t>(size));

        NewArchive archive;
        ASSERT_TRUE(archive.create("a.BXA", true));
        platform::WorkingFile part = archive.takePartFile();
        ASSERT_TRUE(part.file().write(std::string(expected.size() + 5000, '#')));
        archive.givePartFile(std::move(part));
        part = archive.takePartFile();
        EXPECT_EQ(encodeInto(part.file()), size);
        EXPECT_EQ(part.file().position(), std::optional<int64_t>(size));
        ASSERT_TRUE(archive.append(part.file(), 0, size));
        EXPECT_EQ(bytesOf(archive), expected);
        archive.givePartFile(std::move(part));
        if (method == MethodStored) {
            EXPECT_EQ(expected, text);
        }
    }
}

#if !defined(_WIN32)
// The old archive's data is copied into the new one and its part files: they are no more readable than
// the old archive while the run lasts, or after it was killed.
TEST(NewArchive, ItAndItsPartFilesAreAsPrivateAsTheOldArchiveFromTheStart) {
    InScratchDirectory scratch;
    writeFile("a.BXA", "old archive");
    fs::permissions("a.BXA", fs::perms::owner_read | fs::perms::owner_write);
    NewArchive archive;
    ASSERT_TRUE(archive.create("a.BXA", true));
    platform::WorkingFile part = archive.takePartFile();
    ASSERT_TRUE(part);
    for (const auto& [name, bytes] : snapshotFiles(".")) {
        EXPECT_EQ(fs::status(name).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write)
            << name;
    }
    archive.givePartFile(std::move(part));
}
#endif

}  // namespace
}  // namespace bxa
