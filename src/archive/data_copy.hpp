// Block copies between open files: archives are streamed, never held in memory whole.
#pragma once

#include <cstdint>

#include "platform/file.hpp"

namespace bxa {

// Copies exactly `length` bytes starting at `offset` of `from` to the current position of `to`, in fixed
// blocks. Returns false when `from` ends early or a write fails.
bool copyRange(platform::File& from, int64_t offset, int64_t length, platform::File& to);

// Copies `from` from its current position to its end. Returns the number of bytes copied, or -1 when a read
// or write fails.
int64_t copyRest(platform::File& from, platform::File& to);

}  // namespace bxa
