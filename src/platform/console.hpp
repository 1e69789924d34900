// Console messages. Progress goes to standard output and most errors to standard error; standard output
// is flushed before anything is written to standard error so that a console shows both in program order.
#pragma once

#include "platform/printf_format.hpp"

namespace bxa::platform {

void printOut(const char* format, ...) BXA_PRINTF_LIKE(1, 2);

void printErr(const char* format, ...) BXA_PRINTF_LIKE(1, 2);

}  // namespace bxa::platform
