#include "entry/entry_kinds.hpp"

#include <array>
#include <cstring>

#include "archive/toc.hpp"
#include "platform/file.hpp"
#include "platform/file_system.hpp"

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

int32_t bitmapMethodByContent(const std::string& path) {
    std::array<uint8_t, 16> head{};
    size_t got = 0;
    if (platform::File file = platform::File::openForReading(path)) got = file.read(head.data(), head.size());
    auto holds = [&](size_t at, const char* text) {
        size_t length = std::strlen(text);
        return got >= at + length && std::memcmp(head.data() + at, text, length) == 0;
    };
    if (holds(1, "PNG")) return MethodStoredPng;
    if (holds(6, "JFIF")) return MethodStoredJfif;
    return MethodCompressedBinary;
}

}  // namespace

int32_t storageMethodFor(const std::string& path) {
    std::string ext = extensionOf(path);
    if (ext == "BMP") return bitmapMethodByContent(path);
    for (const char* textLike : {"MIS", "MMD", "DAT", "CSV", "FLT", "INF", "TOC"}) {
        if (ext == textLike) return MethodCompressedAscii;
    }
    return MethodCompressedBinary;
}

bool isContainedRecordName(std::string_view name) {
    if (name.empty()) return false;
    auto isSeparator = [](char c) { return c == '/' || c == platform::pathSeparator(); };
    if (isSeparator(name.front())) return false;
    // A drive letter ("C:...") makes a path absolute or drive-relative on Windows.
    if (platform::pathSeparator() == '\\' && name.size() >= 2 && name[1] == ':') return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !isSeparator(name[end])) ++end;
        if (name.substr(start, end - start) == "..") return false;
        start = end + 1;
    }
    return true;
}

}  // namespace bxa
