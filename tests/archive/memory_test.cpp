// Peak memory of pack and unpack, measured in a process of their own: the fixed work areas of the threads
// only (under 16 MB plus 2 MB per thread), however many records the archive holds.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "faults/fault_support.hpp"
#include "support/peak_memory.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

long limitKiB(unsigned threads) { return 16 * 1024 + 2 * 1024 * static_cast<long>(threads); }

class ArchiveMemory : public ::testing::Test {
protected:
    InScratchDirectory scratch;

    // Runs one command in the probe and returns the peak resident memory of its process, in KiB.
    long peakKiB(const char* command, unsigned threads, bool succeeds = true) {
        const ProbeRun run = runProbe(
            {BXA_ARCHIVE_MEMORY_PROBE, command, "many.BXA", "work", std::to_string(threads)}, "probe.out");
        EXPECT_EQ(run.succeeded(), succeeds) << command << ": status " << run.status;
        EXPECT_GE(run.peakKiB, 0);
        std::printf("peak memory of %s with %u threads: %ld KiB\n", command, threads, run.peakKiB);
        return run.peakKiB;
    }
};

// Every record's file passes through a buffered stream; thousands of small records must not each keep a
// buffer until the command ends.
TEST_F(ArchiveMemory, ThousandsOfRecordsStayWithinTheWorkAreas) {
    fs::create_directories("work");
    std::string catalog;
    const std::string row = "12,apple,3.5,north\r\n";
    for (int i = 0; i < 3000; ++i) {
        std::string name = std::to_string(i);
        name.insert(0, 1, 'T').append(".CSV");
        std::string data;
        for (int r = 0; r < 40; ++r) data += std::to_string(i * 40 + r) + "," + row;
        writeFile("work/" + name, data);
        catalog += std::to_string(data.size()) + " " + std::to_string(i % 2 + 1) + " " + name + "\r\n";
    }
    writeFile("work/catalog.dat", catalog);
    for (unsigned threads : {1u, 2u}) {
        EXPECT_LT(peakKiB("pack", threads), limitKiB(threads));
        EXPECT_LT(peakKiB("unpack", threads), limitKiB(threads));
    }
}

// A long table or catalog costs its entries, not the state of a record in flight for each of them.
TEST_F(ArchiveMemory, LongTablesAndCatalogsKeepStateOnlyForTheRecordsInFlight) {
    // A catalog that lists one file 100,000 times: refused at its second line, once it was read whole.
    fs::create_directories("work");
    writeFile("work/a.DAT", "a");
    std::string catalog;
    for (int i = 0; i < 100000; ++i) catalog += "1 0 a.DAT\r\n";
    writeFile("work/catalog.dat", catalog);
    EXPECT_LT(peakKiB("pack", 2, false), limitKiB(2));
    // An archive of 40,000 empty records.
    std::vector<StoredRecord> records;
    for (int i = 0; i < 40000; ++i) records.push_back({"E" + std::to_string(i) + ".DAT", 0, ""});
    writeFile("many.BXA", buildArchive(records));
    EXPECT_LT(peakKiB("unpack", 2), limitKiB(2));
}

// Large records are coded in parts on the threads left free, each with a part work area of its own: the
// areas in use never outnumber the threads.
TEST_F(ArchiveMemory, LargeRecordsSideBySideStayWithinTheWorkAreas) {
    fs::create_directories("work");
    std::string catalog;
    for (int i = 0; i < 6; ++i) {
        std::string name = std::to_string(i);
        name.insert(0, 1, 'L').append(".CSV");
        std::string data;
        for (int r = 0; data.size() < (3u << 19); ++r) data += std::to_string(r * 7919 % 100003) + ",pear," + std::to_string(i) + "\r\n";
        writeFile("work/" + name, data);
        catalog += std::to_string(data.size()) + " 2 " + name + "\r\n";
    }
    writeFile("work/catalog.dat", catalog);
    for (unsigned threads : {2u, 4u}) EXPECT_LT(peakKiB("pack", threads), limitKiB(threads));
}

}  // namespace
}  // namespace bxa
