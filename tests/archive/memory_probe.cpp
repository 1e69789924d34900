// Runs one pack or unpack in a process of its own, so that a test can measure its peak memory:
//   archive_memory_probe pack|unpack ARCHIVE WORKDIR THREADS
// Exits with 0 when the command succeeded and prints the peak resident memory of the process as
// "peak NNN kB".
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "archive/commands.hpp"
#include "platform/console.hpp"
#include "support/peak_memory.hpp"

int main(int argc, char** argv) {
    if (argc != 5) return 2;
    const bool pack = std::strcmp(argv[1], "pack") == 0;
    if (!pack && std::strcmp(argv[1], "unpack") != 0) return 2;
    const unsigned threads = static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10));
    bxa::platform::RecordingConsole console;
    bxa::TocList toc;
    const bool ok = pack ? bxa::packArchive(toc, argv[2], argv[3], console, threads)
                         : bxa::unpackArchive(toc, argv[2], argv[3], std::nullopt, console, threads);
    std::printf("peak %ld kB\n", bxa::testing::peakResidentKiB());
    return ok ? 0 : 1;
}
