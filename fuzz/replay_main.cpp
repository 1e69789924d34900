// Replays fuzz inputs without a fuzzing engine, so that every ordinary test run exercises each fuzz
// target: every file of the corpus directory named on the command line (if it exists), then a fixed set
// of generated inputs (random bytes of many lengths, from a fixed seed).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

int replayCorpus(const std::filesystem::path& dir) {
    int count = 0;
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) return 0;
    for (const auto& item : std::filesystem::recursive_directory_iterator(dir, ec)) {
        if (!item.is_regular_file()) continue;
        std::ifstream in(item.path(), std::ios::binary);
        std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
        ++count;
    }
    return count;
}

int replayGenerated() {
    std::mt19937 rng(20261208);
    int count = 0;
    for (size_t length : {0, 1, 2, 3, 4, 5, 6, 8, 16, 17, 31, 32, 48, 64, 100, 255, 256, 1000, 4096, 9000}) {
        for (int round = 0; round < 20; ++round) {
            std::vector<uint8_t> bytes(length);
            // Alternate fully random bytes with low-entropy ones, which reach deeper into parsers.
            for (auto& b : bytes) b = static_cast<uint8_t>(round % 2 ? rng() : rng() % 4);
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++count;
        }
    }
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    int corpus = argc > 1 ? replayCorpus(argv[1]) : 0;
    int generated = replayGenerated();
    std::printf("replayed %d corpus inputs and %d generated inputs\n", corpus, generated);
    return 0;
}
