// Console messages. Every message of the product is written through a Console: progress to its output
// stream, most errors to its error stream. The standard console writes them to standard output and
// standard error, flushing standard output before anything goes to standard error, so that a console
// (or a `2>&1` redirection) shows both in program order. A recording console keeps them, in order, for
// a caller that prints them later (record messages made on worker threads) or hands them on (the
// library interface).
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/printf_format.hpp"

namespace bxa::platform {

enum class Stream { Output, Error };

class Console {
public:
    Console() = default;
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;
    virtual ~Console() = default;

    // printf-style; the text goes to the output stream (out) or the error stream (err).
    void out(const char* format, ...) BXA_PRINTF_LIKE(2, 3);
    void err(const char* format, ...) BXA_PRINTF_LIKE(2, 3);

    virtual void write(Stream stream, std::string_view text) = 0;
    // Makes what was written visible now (before the process waits, say).
    virtual void flush() {}
};

// Standard output and standard error.
class StandardConsole final : public Console {
public:
    void write(Stream stream, std::string_view text) override;
    void flush() override;
};

// Keeps every message in order until replayed.
class RecordingConsole final : public Console {
public:
    void write(Stream stream, std::string_view text) override;
    // Writes every kept message to `to`, in order, and forgets them.
    void replayTo(Console& to);
    bool empty() const { return messages_.empty(); }
    void clear() { messages_.clear(); }
    const std::vector<std::pair<Stream, std::string>>& messages() const { return messages_; }

private:
    std::vector<std::pair<Stream, std::string>> messages_;
};

}  // namespace bxa::platform
