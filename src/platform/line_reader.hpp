// Text files read line by line, as a C line buffer of a fixed capacity reads them, through large blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file.hpp"

namespace bxa::platform {

// The bytes that end a line. LF ends one and CR LF is one line end in both; a lone CR ends one only in
// LfCrLfOrLoneCr (text saved by editors that end lines with CR alone).
enum class LineEnds { LfOrCrLf, LfCrLfOrLoneCr };

// Reads a file from its position when the reader is made. A read that fails ends the text there, as the
// end of the file would (the File tells which: readFailed()).
//
// A line is at most `maxChars` characters; the rest of a longer line is skipped, so line positions stay
// aligned. With LfOrCrLf the line is cut to maxChars first and then loses one CR at its end, as a C line
// buffer would read a CR LF line (a CR elsewhere stays part of the line); with LfCrLfOrLoneCr no CR is
// ever part of a line. A NUL byte ends a line's content, as it would in a C string
// buffer; the bytes up to the line end are still skipped. Memory: one 64 KiB block and the line.
class LineReader {
public:
    LineReader(File& file, size_t maxChars, LineEnds ends = LineEnds::LfOrCrLf);
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    // Reads the next line into line(). Returns false once the file has ended (line() is then empty, and
    // every later call returns false). A last line without a line end is still a line.
    bool next();

    // The line read by the last next(), without its line end; c_str() is safe to scan.
    const std::string& line() const { return line_; }

    // True when the line read by the last next() ended with a line end; false after a last line that had
    // none, and after a next() that found nothing.
    bool lineEnded() const { return lineEnded_; }

    // The bytes taken by the lines read so far, line ends included, counted from where the reader started.
    // With LfOrCrLf a new reader started that many bytes further reads exactly the lines that follow.
    uint64_t consumed() const { return blockStart_ + position_; }

private:
    bool fill();
    size_t findLineEnd(const char* start, size_t available) const;

    File& file_;
    size_t maxChars_;
    LineEnds ends_;
    std::string block_;
    size_t position_ = 0;
    size_t end_ = 0;
    uint64_t blockStart_ = 0;
    std::string line_;
    bool lineEnded_ = false;
    bool ended_ = false;
    // A lone-CR line end was the last byte of a block: an LF that opens the next block belongs to it.
    bool lfMayFollow_ = false;
};

}  // namespace bxa::platform
