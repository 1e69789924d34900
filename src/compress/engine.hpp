// Shared vocabulary of the two compression engines: the callback shapes through which they move bytes,
// the literal modes and the result codes. Neither engine does any I/O or allocation of its own; callers
// supply the callbacks and a work area.
#pragma once

#include <cstdint>

namespace bxa {

// Asks the caller for input. The engine sets *size to the number of bytes it wants and the callback
// stores at most that many bytes into buffer, returning how many it stored; 0 means the input is
// exhausted (a failing read should also return 0). The engine does not read *size back. A callback that
// claims to have delivered more than was asked for is treated as having delivered exactly the amount
// asked for.
using ReadCallback = uint32_t (*)(uint8_t* buffer, uint32_t* size, void* parameter);

// Hands *size bytes of output to the caller. The engines neither see nor react to write failures; the
// buffer lives in the work area and is only valid during the call.
using WriteCallback = void (*)(uint8_t* buffer, uint32_t* size, void* parameter);

inline constexpr int ResultOk = 0;
inline constexpr int ResultBadDictionarySize = 1;
inline constexpr int ResultBadLiteralMode = 2;
inline constexpr int ResultShortInput = 3;  // expander only
inline constexpr int ResultTruncated = 4;   // expander only

// Literals travel as 8 plain bits (binary) or with the fixed variable-length code tuned for text (ASCII).
inline constexpr uint32_t LiteralModeBinary = 0;
inline constexpr uint32_t LiteralModeAscii = 1;

}  // namespace bxa
