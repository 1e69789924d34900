// The new archive's part files: what lets records be encoded side by side without making and removing a
// file per record.
#include <gtest/gtest.h>

#include <optional>

#include "archive/rebuild.hpp"
#include "faults/fault_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

TEST(NewArchive, APartFileGivenBackIsUsedAgainEmptyAndGoesWithTheArchive) {
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

        platform::WorkingFile again = archive.takePartFile();
        ASSERT_TRUE(again);
        EXPECT_EQ(again.name(), reused);
        EXPECT_EQ(again.file().length(), std::optional<int64_t>(0));
        // The new archive and the two part files, nothing else.
        EXPECT_EQ(snapshotFiles(".").size(), 3u);
        archive.givePartFile(std::move(again));
        archive.givePartFile(std::move(second));
    }
    EXPECT_TRUE(snapshotFiles(".").empty());
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
