// Console messages. Progress goes to standard output and most errors to standard error; standard output
// is flushed before anything is written to standard error so that a console shows both in program order.
#pragma once

namespace bxa::platform {

void printOut(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

void printErr(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

}  // namespace bxa::platform
