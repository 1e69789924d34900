// Converts one R7D model through the converters over open files, so that a test can measure the peak
// memory of a conversion in a process of its own:
//   model_memory_probe to-text MODEL TEXT
//   model_memory_probe to-model TEXT MODEL
// Exits with 0 when the conversion and the closing of its output succeeded, and prints the peak resident
// memory of the process as "peak NNN kB".
#include <cstdio>
#include <cstring>

#include "model/r7d_model.hpp"
#include "support/peak_memory.hpp"

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
    std::printf("peak %ld kB\n", bxa::testing::peakResidentKiB());
    return ok ? 0 : 1;
}
