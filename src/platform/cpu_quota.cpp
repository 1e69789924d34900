#include "platform/cpu_quota.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string>

#include "platform/file.hpp"
#include "platform/line_reader.hpp"

namespace bxa::platform {

namespace {

// A decimal number that is the whole text, else nothing (0).
uint64_t wholeNumber(std::string_view text) {
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() ? value : 0;
}

unsigned processorsFor(uint64_t quota, uint64_t period) {
    if (quota == 0 || period == 0) return 0;
    const uint64_t processors = quota / period + (quota % period != 0 ? 1 : 0);
    return static_cast<unsigned>(std::min<uint64_t>(processors, UINT32_MAX));
}

// The first line of a small system file, or nothing when it cannot be read.
std::string firstLine(const std::string& path) {
    File file = File::openForReading(path);
    if (!file) return {};
    LineReader lines(file, 256);
    return lines.next() ? lines.line() : std::string();
}

// Calls visit(directory) for the group at `path` below `root` and for every group above it, up to `root`.
template <typename Visit>
void forEachLevel(const std::string& root, std::string_view path, Visit visit) {
    for (;;) {
        while (!path.empty() && path.back() == '/') path.remove_suffix(1);
        visit(root + std::string(path));
        if (path.empty()) return;
        const size_t slash = path.rfind('/');
        path = slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash);
    }
}

}  // namespace

unsigned processorsForCpuMax(std::string_view cpuMax) {
    const size_t space = cpuMax.find(' ');
    if (space == std::string_view::npos) return 0;
    return processorsFor(wholeNumber(cpuMax.substr(0, space)), wholeNumber(cpuMax.substr(space + 1)));
}

unsigned processorsForCfsQuota(std::string_view quota, std::string_view period) {
    return processorsFor(wholeNumber(quota), wholeNumber(period));
}

std::string_view groupPathIn(std::string_view line, std::string_view controller) {
    const size_t first = line.find(':');
    if (first == std::string_view::npos) return {};
    const size_t second = line.find(':', first + 1);
    if (second == std::string_view::npos) return {};
    const std::string_view id = line.substr(0, first);
    std::string_view controllers = line.substr(first + 1, second - first - 1);
    const std::string_view path = line.substr(second + 1);
    if (controller.empty()) return id == "0" && controllers.empty() ? path : std::string_view{};
    while (!controllers.empty()) {
        const size_t comma = std::min(controllers.find(','), controllers.size());
        if (controllers.substr(0, comma) == controller) return path;
        controllers.remove_prefix(std::min(comma + 1, controllers.size()));
    }
    return {};
}

unsigned quotaProcessorsIn(const std::string& groupsFile, const std::string& root) {
    File groups = File::openForReading(groupsFile);
    if (!groups) return 0;
    unsigned fewest = 0;
    auto consider = [&](unsigned processors) {
        if (processors != 0 && (fewest == 0 || processors < fewest)) fewest = processors;
    };
    // Inside a container the group's own files are often those at the root of the hierarchy as mounted
    // there, whatever path the line gives; a level that does not exist only reads nothing.
    LineReader lines(groups, 4096);
    while (lines.next()) {
        if (const std::string_view path = groupPathIn(lines.line(), ""); !path.empty()) {
            forEachLevel(root, path, [&](const std::string& group) {
                consider(processorsForCpuMax(firstLine(group + "/cpu.max")));
            });
        } else if (const std::string_view older = groupPathIn(lines.line(), "cpu"); !older.empty()) {
            forEachLevel(root + "/cpu", older, [&](const std::string& group) {
                consider(processorsForCfsQuota(firstLine(group + "/cpu.cfs_quota_us"),
                                               firstLine(group + "/cpu.cfs_period_us")));
            });
        }
    }
    return fewest;
}

unsigned quotaProcessors() {
#if defined(__linux__)
    return quotaProcessorsIn("/proc/self/cgroup", "/sys/fs/cgroup");
#else
    return 0;
#endif
}

}  // namespace bxa::platform
