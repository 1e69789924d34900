// The catalog command end to end.
#include <gtest/gtest.h>

#include "e2e/e2e_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

TEST(CatalogCommand, ListsStoredValuesAndCopiesTheHeader) {
    ScratchDir cwd;
    std::string archive = buildArchive({{"a.CSV", 2, "not a stream"}, {"b.R7D", 1, "xyz"}, {"c.BMP", 5, "png"}});
    writeFile(cwd.path() / "a.BXA", archive);
    fs::create_directory(cwd.path() / "work");
    writeFile(cwd.path() / "work" / "catalog.dat", "old catalog\r\n");
    writeFile(cwd.path() / "work" / "mine.txt", "untouched");
    RunResult r = runBxa({"-t", "a.BXA", "work"}, cwd.path());
    EXPECT_EQ(r.out, "\nReading table of contents...Done\n");
    EXPECT_EQ(readFile(cwd.path() / "work" / "catalog.dat"), "12 2 a.CSV\r\n3 1 b.R7D\r\n3 5 c.BMP\r\n");
    EXPECT_EQ(readFile(cwd.path() / "work" / "header.dat"), archive.substr(0, 16));
    EXPECT_EQ(readFile(cwd.path() / "work" / "mine.txt"), "untouched");
    EXPECT_FALSE(fs::exists(cwd.path() / "work" / "a.CSV"));
}

TEST(CatalogCommand, AMissingArchiveLeavesAnEmptyCatalogAndSucceeds) {
    ScratchDir cwd;
    RunResult r = runBxa({"-t", "missing.BXA", "work"}, cwd.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "\n\nError: Could not open (missing.BXA)\n\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readFile(cwd.path() / "work" / "catalog.dat"), "");
    EXPECT_FALSE(fs::exists(cwd.path() / "work" / "header.dat"));
}

TEST(CatalogCommand, ACatalogThatCannotBeCreatedFailsWithThePrompt) {
    ScratchDir cwd;
    writeFile(cwd.path() / "a.BXA", buildArchive({{"a.CSV", 0, "x"}}));
    fs::create_directories(cwd.path() / "work" / "catalog.dat");
    RunResult r = runBxa({"-t", "a.BXA", "work"}, cwd.path());
    EXPECT_EQ(r.err, "\n\nError: Could not open catalog (" + joined("work", "catalog.dat") + ")\n\n");
    EXPECT_TRUE(endsWith(r.out, ClosingPrompt));
}

}  // namespace
}  // namespace bxa
