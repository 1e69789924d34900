#include "archive/catalog.hpp"

#include <cstdio>
#include <limits>

#include "platform/directory.hpp"

namespace bxa {

std::string formatCatalogLine(const TocEntry& entry) {
    return std::to_string(entry.originalSize) + " " + std::to_string(entry.method) + " " + entry.name + "\r\n";
}

namespace {

bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

void skipWhiteSpace(std::string_view text, size_t& at) {
    while (at < text.size() && isWhiteSpace(text[at])) ++at;
}

// A "%ld" conversion: false when no digit follows the white space and the sign. `fits` tells whether the
// value fits in 32 signed bits.
bool scanNumber(std::string_view text, size_t& at, int64_t& value, bool& fits) {
    skipWhiteSpace(text, at);
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return false;
    constexpr int64_t Beyond = int64_t{1} << 32;  // any magnitude past this is out of range alike
    int64_t magnitude = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        if (magnitude < Beyond) magnitude = magnitude * 10 + (text[at] - '0');
    }
    value = negative ? -magnitude : magnitude;
    fits = value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max();
    return true;
}

}  // namespace

CatalogLine parseCatalogLine(std::string_view line) {
    CatalogLine parsed;
    size_t at = 0;
    int64_t size = 0;
    int64_t method = 0;
    bool sizeFits = true;
    bool methodFits = true;
    if (!scanNumber(line, at, size, sizeFits) || !scanNumber(line, at, method, methodFits)) return parsed;
    skipWhiteSpace(line, at);
    size_t end = at;
    while (end < line.size() && !isWhiteSpace(line[end]) && end - at < CatalogNameCapacity) ++end;
    if (end == at) return parsed;
    parsed.name = std::string(line.substr(at, end - at));
    parsed.method = static_cast<int32_t>(method);
    parsed.listedSize = size;
    parsed.outOfRange = !sizeFits || !methodFits;
    return parsed;
}

namespace {

bool isControl(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

// The file name a component of a path comes to: Windows compares file names without regard to case, and
// drops the dots and blanks that end one ("Header.dat." names header.dat).
std::string fileNameOf(std::string_view component) {
    if (platform::pathSeparator() != '\\') return std::string(component);
    while (!component.empty() && (component.back() == '.' || component.back() == ' ')) component.remove_suffix(1);
    std::string name(component);
    for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return name;
}

// The parts of a name between its separators, empty ones included.
std::vector<std::string_view> componentsOf(std::string_view name) {
    std::vector<std::string_view> components;
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < name.size() && !platform::isPathSeparator(name[end])) ++end;
        components.push_back(name.substr(start, end - start));
        if (end == name.size()) return components;
        start = end + 1;
    }
}

bool isSideFileName(std::string_view name) {
    const std::string file = fileNameOf(name);
    return file == fileNameOf(HeaderFileName) || file == fileNameOf(CatalogFileName);
}

}  // namespace

NameProblem recordNameProblem(std::string_view name) {
    if (name.empty()) return NameProblem::Empty;
    for (char c : name) {
        if (isControl(c)) return NameProblem::ControlCharacter;
    }
    if (platform::isPathSeparator(name.front())) return NameProblem::Escapes;
    // A drive letter ("C:...") makes a path absolute or drive-relative on Windows.
    if (platform::pathSeparator() == '\\' && name.size() >= 2 && name[1] == ':') return NameProblem::Escapes;
    const std::vector<std::string_view> components = componentsOf(name);
    for (std::string_view component : components) {
        if (component.empty() || component == "..") return NameProblem::Escapes;
    }
    if (components.size() == 1 && isSideFileName(name)) return NameProblem::SideFile;
    for (std::string_view component : components) {
        if (platform::isWorkingFileName(component)) return NameProblem::WorkingFileName;
    }
    if (name.find(' ') != std::string_view::npos) return NameProblem::Blank;
    if (name.size() > MaxRecordNameLength) return NameProblem::TooLong;
    return NameProblem::None;
}

std::string workFileKey(std::string_view name) {
    std::string key;
    for (std::string_view component : componentsOf(name)) {
        if (!key.empty()) key += '/';
        key += fileNameOf(component);
    }
    return key;
}

std::string printableName(std::string_view name) {
    std::string text;
    for (char c : name) {
        if (isControl(c)) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
            text += escaped;
        } else {
            text += c;
        }
    }
    return text;
}

bool checkCatalogCanList(std::string_view name, platform::Console& console) {
    if (recordNameProblem(name) != NameProblem::ControlCharacter) return true;
    console.err("\n\nError: Record name (%s) holds a control character; catalog.dat could not list it\n\n",
                printableName(name).c_str());
    return false;
}

}  // namespace bxa
