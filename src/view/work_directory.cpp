#include "view/work_directory.hpp"

#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "view/text_output.hpp"

namespace bxa::view {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), lower);
    return result;
}

std::string_view stemOf(std::string_view name) {
    size_t dot = name.rfind('.');
    return dot == std::string_view::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

std::string whyNotOpened(platform::OpenFailure failure, std::string_view wanted) {
    switch (failure) {
        case platform::OpenFailure::Missing: return "does not exist";
        case platform::OpenFailure::IsDirectory: return "is a directory";
        case platform::OpenFailure::NotRegular: return "is not a " + std::string(wanted);
        case platform::OpenFailure::LinkInPath: return "lies behind a symbolic link, which is not followed";
        case platform::OpenFailure::NameTooLong: return "has a name longer than the file system allows";
        case platform::OpenFailure::NameRefused: return "has a name the file system does not take";
        default: return "cannot be opened";
    }
}

std::optional<std::vector<std::string>> listRegularFiles(const std::string& directory, std::string& error) {
    std::error_code ec;
    std::filesystem::directory_iterator it(directory, ec);
    if (ec) {
        error = ec.message();
        return std::nullopt;
    }
    std::vector<std::string> files;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code kind;
        if (it->is_regular_file(kind)) files.push_back(it->path().filename().string());
    }
    if (ec) {
        error = ec.message();
        return std::nullopt;
    }
    std::sort(files.begin(), files.end());
    return files;
}

BitmapFiles::BitmapFiles(std::vector<std::string> files) : files_(std::move(files)) {
    for (const std::string& file : files_) byLowered_.emplace(lowered(file), file);
}

std::optional<std::string> BitmapFiles::find(std::string_view bitmapName) const {
    if (bitmapName.empty() || bitmapName == "." || bitmapName == ".." ||
        bitmapName.find_first_of("/\\:") != std::string_view::npos) {
        return std::nullopt;
    }
    if (std::binary_search(files_.begin(), files_.end(), bitmapName)) return std::string(bitmapName);
    auto found = byLowered_.find(lowered(bitmapName));
    if (found != byLowered_.end()) return found->second;
    return std::nullopt;
}

std::string OutputNames::claim(std::string_view wanted) {
    const std::string safe = objToken(wanted, "file");
    std::string name = safe;
    for (int n = 2; !taken_.insert(lowered(name)).second; ++n) name = std::to_string(n) + "_" + safe;
    return name;
}

std::vector<std::string> outputStems(const std::vector<std::string>& modelFiles) {
    std::map<std::string, size_t> stemCounts;
    for (const std::string& file : modelFiles) ++stemCounts[lowered(stemOf(file))];
    std::vector<std::string> stems;
    for (const std::string& file : modelFiles) {
        std::string stem(stemOf(file));
        if (stemCounts[lowered(stem)] > 1) {
            stem = file;
            std::replace(stem.begin(), stem.end(), '.', '_');
        }
        stems.push_back(std::move(stem));
    }
    return stems;
}

}  // namespace bxa::view
