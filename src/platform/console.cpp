#include "platform/console.hpp"

#include <cstdarg>
#include <cstdio>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

namespace bxa::platform {

namespace {

#if defined(_WIN32)
// The C runtime would turn every "\n" of a message into CR LF on the way out. Messages are to be the same
// bytes on every platform (a console shows a bare LF as a line end all the same), so both streams are
// switched to binary before main runs; only the files written as text carry CR LF, and those write it
// themselves.
const bool consoleStreamsAreBinary = [] {
    bool outOk = _setmode(_fileno(stdout), _O_BINARY) != -1;
    bool errOk = _setmode(_fileno(stderr), _O_BINARY) != -1;
    return outOk && errOk;
}();
#endif

BXA_PRINTF_LIKE(1, 0) std::string formatted(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    char small[256];
    int length = std::vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (length < 0) return {};
    if (static_cast<size_t>(length) < sizeof small) return std::string(small, static_cast<size_t>(length));
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(length));
    return text;
}

}  // namespace

void Console::out(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatted(format, args);
    va_end(args);
    write(Stream::Output, text);
}

void Console::err(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = formatted(format, args);
    va_end(args);
    write(Stream::Error, text);
}

void StandardConsole::write(Stream stream, std::string_view text) {
    if (stream == Stream::Output) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return;
    }
    std::fflush(stdout);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

void StandardConsole::flush() { std::fflush(stdout); }

void RecordingConsole::write(Stream stream, std::string_view text) {
    // Consecutive pieces for one stream are kept as one message.
    if (!messages_.empty() && messages_.back().first == stream) {
        messages_.back().second += text;
        return;
    }
    messages_.emplace_back(stream, std::string(text));
}

void RecordingConsole::replayTo(Console& to) {
    for (const auto& [stream, text] : messages_) to.write(stream, text);
    messages_.clear();
}

}  // namespace bxa::platform
