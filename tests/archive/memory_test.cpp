// Peak memory of pack and unpack, measured in a process of their own: the fixed work areas of the threads
// only (under 16 MB plus 2 MB per thread), however many records the archive holds.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "faults/fault_support.hpp"

extern char** environ;

namespace bxa {
namespace {

using namespace bxa::testing;

long limitKiB(unsigned threads) { return 16 * 1024 + 2 * 1024 * static_cast<long>(threads); }

class ArchiveMemory : public ::testing::Test {
protected:
    InScratchDirectory scratch;

    // Runs one command in the probe and returns the peak resident memory of its process, in KiB.
    long peakKiB(const char* command, unsigned threads) {
        const std::string probe = BXA_ARCHIVE_MEMORY_PROBE;
        std::string arguments[] = {probe, command, "many.BXA", "work", std::to_string(threads)};
        char* argv[] = {arguments[0].data(), arguments[1].data(), arguments[2].data(), arguments[3].data(),
                        arguments[4].data(), nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "probe.out", O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        const int spawned = posix_spawn(&pid, probe.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << probe;
            return 0;
        }
        int status = 0;
        EXPECT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command << ": status " << status;
        long peak = 0;
        EXPECT_EQ(std::sscanf(readFile("probe.out").c_str(), "peak %ld kB", &peak), 1);
        std::printf("peak memory of %s with %u threads: %ld KiB\n", command, threads, peak);
        return peak;
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

}  // namespace
}  // namespace bxa
