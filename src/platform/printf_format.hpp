// Lets the compiler check the format strings of the printf-like functions of the platform layer.
#pragma once

#if defined(__MINGW32__)
// The Windows build prints through MinGW's conforming printf (see the cross toolchain file), so formats
// are checked against the C99 conversions rather than the older C runtime's.
#define BXA_PRINTF_LIKE(formatIndex, firstArgument) __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#elif defined(__GNUC__)
#define BXA_PRINTF_LIKE(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define BXA_PRINTF_LIKE(formatIndex, firstArgument)
#endif
