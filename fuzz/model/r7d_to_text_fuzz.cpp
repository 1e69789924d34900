// Arbitrary bytes as a binary R7D model, converted to text.
#include "model_fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    bxa::fuzz::fuzzBinaryToText(bxa::fuzz::R7d, data, size);
    return 0;
}
