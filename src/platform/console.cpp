#include "platform/console.hpp"

#include <cstdarg>
#include <cstdio>

namespace bxa::platform {

void printOut(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vfprintf(stdout, format, args);
    va_end(args);
}

void printErr(const char* format, ...) {
    std::fflush(stdout);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fflush(stderr);
}

}  // namespace bxa::platform
