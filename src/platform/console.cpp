#include "platform/console.hpp"

#include <cstdarg>
#include <cstdio>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace bxa::platform {

#if defined(_WIN32)
namespace {
// The C runtime would turn every "\n" of a message into CR LF on the way out. Messages are to be the same
// bytes on every platform (a console shows a bare LF as a line end all the same), so both streams are
// switched to binary before main runs; only the files written as text carry CR LF, and those write it
// themselves.
const bool consoleStreamsAreBinary = [] {
    bool outOk = _setmode(_fileno(stdout), _O_BINARY) != -1;
    bool errOk = _setmode(_fileno(stderr), _O_BINARY) != -1;
    return outOk && errOk;
}();
}  // namespace
#endif

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
