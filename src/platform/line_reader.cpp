#include "platform/line_reader.hpp"

#include <algorithm>
#include <cstring>

namespace bxa::platform {

namespace {
constexpr size_t ReadBlockSize = size_t{1} << 16;
}

LineReader::LineReader(File& file, size_t maxChars, LineEnds ends)
    : file_(file), maxChars_(maxChars), ends_(ends), block_(ReadBlockSize, '\0') {}

bool LineReader::fill() {
    blockStart_ += end_;
    position_ = 0;
    end_ = file_.read(block_.data(), block_.size());
    return end_ > 0;
}

size_t LineReader::findLineEnd(const char* start, size_t available) const {
    if (ends_ == LineEnds::LfOrCrLf) {
        const void* lf = std::memchr(start, '\n', available);
        return lf != nullptr ? static_cast<size_t>(static_cast<const char*>(lf) - start) : available;
    }
    return static_cast<size_t>(
        std::find_if(start, start + available, [](char c) { return c == '\n' || c == '\r'; }) - start);
}

bool LineReader::next() {
    line_.clear();
    lineEnded_ = false;
    if (ended_) return false;
    bool readAnything = false;
    while (!lineEnded_) {
        if (position_ == end_ && !fill()) break;
        if (lfMayFollow_) {
            lfMayFollow_ = false;
            if (block_[position_] == '\n' && ++position_ == end_) continue;
        }
        readAnything = true;
        const char* start = block_.data() + position_;
        const size_t available = end_ - position_;
        const size_t length = findLineEnd(start, available);
        if (line_.size() < maxChars_) line_.append(start, std::min(length, maxChars_ - line_.size()));
        position_ += length;
        if (length == available) continue;
        lineEnded_ = true;
        if (block_[position_++] == '\r') {
            // Only a lone-CR reader stops at a CR; an LF right after it is part of the same line end.
            if (position_ == end_) {
                lfMayFollow_ = true;
            } else if (block_[position_] == '\n') {
                ++position_;
            }
        }
    }
    if (!readAnything) {
        ended_ = true;
        return false;
    }
    if (ends_ == LineEnds::LfOrCrLf && !line_.empty() && line_.back() == '\r') line_.pop_back();
    size_t nul = line_.find('\0');
    if (nul != std::string::npos) line_.resize(nul);
    return true;
}

}  // namespace bxa::platform
