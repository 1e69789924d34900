#include "archive/data_copy.hpp"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace bxa {

namespace {
constexpr size_t CopyBlockSize = 1 << 16;
}

bool copyRange(platform::File& from, int64_t offset, int64_t length, platform::File& to) {
    return platform::copyBytes(from, offset, length, to);
}

int64_t copyRest(platform::File& from, platform::File& to) {
    std::vector<char> block(CopyBlockSize);
    int64_t total = 0;
    for (;;) {
        size_t got = from.read(block.data(), block.size());
        if (got == 0) break;
        if (!to.write(block.data(), got)) return -1;
        total += static_cast<int64_t>(got);
    }
    if (std::ferror(from.handle()) != 0) return -1;
    return total;
}

}  // namespace bxa
