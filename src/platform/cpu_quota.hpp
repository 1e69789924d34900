// The processors' time that a control group's CPU quota grants this process (Linux), so that a container
// given two processors' time on a large machine runs two threads, not one per processor of the machine.
#pragma once

#include <string>
#include <string_view>

namespace bxa::platform {

// Processors that a quota of QUOTA microseconds in every PERIOD gives, rounded up: from the text of a
// unified hierarchy's "cpu.max" ("QUOTA PERIOD", or "max PERIOD" for none), or from the texts of the
// older hierarchy's "cpu.cfs_quota_us" (-1 for none) and "cpu.cfs_period_us". 0 when there is no quota,
// or the text is not one.
unsigned processorsForCpuMax(std::string_view cpuMax);
unsigned processorsForCfsQuota(std::string_view quota, std::string_view period);

// The group path in one line of /proc/self/cgroup ("ID:CONTROLLERS:PATH"): of the unified hierarchy's
// line ("0::PATH") when `controller` is empty, else of a line whose controllers include `controller`.
// Empty for any other line.
std::string_view groupPathIn(std::string_view line, std::string_view controller);

// The fewest processors that the CPU quotas of this process's group and of the groups above it grant, in
// either hierarchy; 0 when none has a quota or none can be read (and on other systems than Linux).
unsigned quotaProcessors();
// The same from a file of groups like /proc/self/cgroup and hierarchies mounted below `root` as they are
// below /sys/fs/cgroup (the unified one at `root`, the older "cpu" one at `root`/cpu).
unsigned quotaProcessorsIn(const std::string& groupsFile, const std::string& root);

}  // namespace bxa::platform
