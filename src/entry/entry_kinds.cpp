#include "entry/entry_kinds.hpp"

#include <array>
#include <cstring>

#include "archive/toc.hpp"

namespace bxa {

std::string extensionOf(std::string_view text) {
    size_t dot = text.rfind('.');
    if (dot == std::string_view::npos) return std::string(text);
    return std::string(text.substr(dot + 1));
}

ModelKind modelKindOf(std::string_view path) {
    std::string ext = extensionOf(path);
    if (ext == "R7D") return ModelKindR7D;
    if (ext == "R7P") return ModelKindR7P;
    if (ext == "R7T") return ModelKindR7T;
    return ModelKindNone;
}

namespace {

int32_t bitmapMethodByContent(platform::File& file) {
    std::array<uint8_t, 16> head{};
    size_t got = file.readAt(0, head.data(), head.size()).value_or(0);
    auto holds = [&](size_t at, const char* text) {
        size_t length = std::strlen(text);
        return got >= at + length && std::memcmp(head.data() + at, text, length) == 0;
    };
    if (holds(1, "PNG")) return MethodStoredPng;
    if (holds(6, "JFIF")) return MethodStoredJfif;
    return MethodCompressedBinary;
}

}  // namespace

int32_t storageMethodFor(std::string_view path, platform::File& file) {
    std::string ext = extensionOf(path);
    if (ext == "BMP") return bitmapMethodByContent(file);
    for (const char* textLike : {"MIS", "MMD", "DAT", "CSV", "FLT", "INF", "TOC"}) {
        if (ext == textLike) return MethodCompressedAscii;
    }
    return MethodCompressedBinary;
}

}  // namespace bxa
