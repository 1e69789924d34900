// Converts one R7D model through the converters over open files, so that a test can measure the peak
// memory of a conversion in a process of its own:
//   model_memory_probe to-text MODEL TEXT
//   model_memory_probe to-model TEXT MODEL
// Exits with 0 when the conversion and the closing of its output succeeded, and prints the peak resident
// memory of the process as "peak NNN kB".
//
// The peak is the kernel's high-water mark of this program's own address space (VmHWM), which exec
// starts afresh. The ru_maxrss that wait4 and getrusage report would not do: it also counts the peak of
// the address space that exec replaced, which for a child of a test process is the test's own.
#include <cstdio>
#include <cstring>

#include "model/r7d_model.hpp"

namespace {

long peakResidentKiB() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return -1;
    long peak = -1;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "VmHWM: %ld kB", &peak) == 1) break;
    }
    std::fclose(status);
    return peak;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const bool toText = std::strcmp(argv[1], "to-text") == 0;
    if (!toText && std::strcmp(argv[1], "to-model") != 0) return 2;
    bxa::platform::File in = bxa::platform::File::openForReading(argv[2]);
    bxa::platform::File out = bxa::platform::File::createForWriting(argv[3]);
    if (!in || !out) return 3;
    const bxa::ConversionResult result =
        toText ? bxa::convertR7dToText(in, out) : bxa::convertTextToR7d(in, out);
    const bool ok = result == bxa::ConversionResult::Ok && out.close();
    std::printf("peak %ld kB\n", peakResidentKiB());
    return ok ? 0 : 1;
}
