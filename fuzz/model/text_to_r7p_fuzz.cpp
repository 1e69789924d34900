// Arbitrary bytes as the text form of an R7P model, parsed into binary.
#include "model_fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    bxa::fuzz::fuzzTextToBinary(bxa::fuzz::R7p, data, size);
    return 0;
}
