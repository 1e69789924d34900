#include "archive/catalog.hpp"

#include <cstdio>

#include "platform/directory.hpp"

namespace bxa {

std::string formatCatalogLine(const TocEntry& entry) {
    return std::to_string(entry.originalSize) + " " + std::to_string(entry.method) + " " + entry.name + "\r\n";
}

CatalogLine parseCatalogLine(std::string_view line) {
    const std::string text(line);
    long ignoredSize = 0;
    long method = 0;
    char name[CatalogNameCapacity + 1] = {};
    CatalogLine parsed;
    if (std::sscanf(text.c_str(), "%ld %ld %127s", &ignoredSize, &method, name) == 3) {
        parsed.method = static_cast<int32_t>(method);
        parsed.name = name;
    }
    return parsed;
}

namespace {

bool isControl(char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

bool isSideFileName(std::string_view name) {
    // File names are compared without regard to case on Windows.
    const bool foldCase = platform::pathSeparator() == '\\';
    for (std::string_view side : {std::string_view(HeaderFileName), std::string_view(CatalogFileName)}) {
        if (foldCase ? equalsIgnoringCase(name, side) : name == side) return true;
    }
    return false;
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
    std::vector<std::string_view> components;
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < name.size() && !platform::isPathSeparator(name[end])) ++end;
        std::string_view component = name.substr(start, end - start);
        if (component.empty() || component == "..") return NameProblem::Escapes;
        components.push_back(component);
        if (end == name.size()) break;
        start = end + 1;
    }
    if (components.size() == 1 && isSideFileName(name)) return NameProblem::SideFile;
    for (std::string_view component : components) {
        if (platform::isWorkingFileName(component)) return NameProblem::WorkingFileName;
    }
    if (name.find(' ') != std::string_view::npos) return NameProblem::Blank;
    if (name.size() > MaxRecordNameLength) return NameProblem::TooLong;
    return NameProblem::None;
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
