#include "view/text_output.hpp"

#include <charconv>
#include <system_error>

namespace bxa::view {

namespace {
constexpr size_t FlushSize = 1 << 16;
}

TextOutput& TextOutput::text(std::string_view piece) {
    buffer_ += piece;
    if (buffer_.size() >= FlushSize) flush();
    return *this;
}

TextOutput& TextOutput::character(char c) {
    buffer_ += c;
    if (buffer_.size() >= FlushSize) flush();
    return *this;
}

TextOutput& TextOutput::number(float value) {
    char digits[32];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    return text(error == std::errc() ? std::string_view(digits, static_cast<size_t>(end - digits)) : "0");
}

TextOutput& TextOutput::number(uint64_t value) {
    char digits[24];
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, value);
    return text(error == std::errc() ? std::string_view(digits, static_cast<size_t>(end - digits)) : "0");
}

TextOutput& TextOutput::jsString(std::string_view bytes) {
    static constexpr char Hex[] = "0123456789abcdef";
    character('"');
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        if (byte == '"' || byte == '\\') {
            character('\\').character(c);
        } else if (byte < 0x20 || byte == '<' || byte >= 0x7F) {
            char escape[] = {'\\', 'u', '0', '0', Hex[byte >> 4], Hex[byte & 15]};
            text(std::string_view(escape, sizeof escape));
        } else {
            character(c);
        }
    }
    return character('"');
}

void TextOutput::flush() {
    if (buffer_.empty()) return;
    file_.write(buffer_);
    buffer_.clear();
}

bool finishOutput(TextOutput& out, platform::WorkingFile& file, std::string_view leaf) {
    out.flush();
    return file.commit(leaf);
}

std::string objToken(std::string_view name, std::string_view fallback) {
    if (name.empty()) return std::string(fallback);
    std::string token(name);
    for (char& c : token) {
        auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte >= 0x7F || c == '#') c = '_';
    }
    return token;
}

}  // namespace bxa::view
