// A plain program (no test framework) for the Windows build: the threaded compressor gives
// CompressStream's stream with two, three and eight threads, and the stream expands back. Run under Wine
// by the Windows tests; prints "N passed, M failed" and exits non-zero on any failure.
#include <cstdio>
#include <string>
#include <vector>

#include "compress/compress_buffer.hpp"
#include "compress/engine.hpp"
#include "compress/expand_buffer.hpp"
#include "test_inputs.hpp"

int main() {
    using namespace bxa::test::inputs;
    constexpr size_t Size = 3 * 512 * 1024 + 777;  // more than one segment for two threads
    const std::vector<std::pair<std::string, std::vector<uint8_t>>> inputs = {
        {"text", textLike(Size, 1)}, {"records", records(Size, 2)}, {"runs", runs(Size, 3)}};
    int passed = 0;
    int failed = 0;
    for (const auto& [name, input] : inputs) {
        std::vector<uint8_t> expected;
        std::vector<uint8_t> output;
        bool ok = bxa::compressBuffer(input, bxa::LiteralModeAscii, 4096, expected) == bxa::ResultOk &&
                  bxa::expandBuffer(expected, output) == bxa::ResultOk && output == input;
        for (unsigned threads : {2u, 3u, 8u}) {
            std::vector<uint8_t> stream;
            ok = ok && bxa::compressBuffer(input, bxa::LiteralModeAscii, 4096, stream, threads) == bxa::ResultOk &&
                 stream == expected;
        }
        std::printf("%s: %s\n", name.c_str(), ok ? "same stream with 1, 2, 3 and 8 threads" : "FAILED");
        (ok ? passed : failed)++;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
