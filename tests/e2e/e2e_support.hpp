// A work directory for end-to-end tests: files plus a catalog, in a scratch current directory.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/test_support.hpp"

namespace bxa::testing {

struct WorkFile {
    std::string name;
    int32_t method = 0;
    std::string bytes;
};

inline std::string catalogFor(const std::vector<WorkFile>& files) {
    std::string catalog;
    for (const auto& f : files) catalog += "0 " + std::to_string(f.method) + " " + f.name + "\r\n";
    return catalog;
}

inline void writeWorkDir(const fs::path& dir, const std::vector<WorkFile>& files) {
    fs::create_directories(dir);
    for (const auto& f : files) writeFile(dir / f.name, f.bytes);
    writeFile(dir / "catalog.dat", catalogFor(files));
}

// The example work directory that ships with the project: text, data, a bitmap and one model of each kind.
inline std::vector<WorkFile> exampleWorkFiles() {
    fs::path dir = fs::path(BXA_SOURCE_DIR) / "examples" / "work";
    std::vector<WorkFile> files;
    for (const auto& [name, method] : std::vector<std::pair<std::string, int32_t>>{
             {"PRICES.CSV", 2}, {"LEVEL.DAT", 2}, {"CRATE.BMP", 1}, {"PANEL.R7D", 1}, {"BOAT.R7P", 1},
             {"BUSH.R7T", 1}}) {
        files.push_back({name, method, readFile(dir / name)});
    }
    return files;
}

// Every regular file below `dir`, by relative path, with its bytes.
inline std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& item : fs::recursive_directory_iterator(dir)) {
        if (item.is_regular_file()) files[fs::relative(item.path(), dir).string()] = readFile(item.path());
        else if (item.is_directory()) files[fs::relative(item.path(), dir).string() + "/"] = "";
    }
    return files;
}

}  // namespace bxa::testing
