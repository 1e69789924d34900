#include <gtest/gtest.h>

#include <thread>

#include "platform/cpu_quota.hpp"
#include "platform/ordered_work.hpp"
#include "support/test_support.hpp"

namespace bxa::platform {
namespace {

using bxa::testing::ScratchDir;
using bxa::testing::writeFile;
namespace fs = std::filesystem;

TEST(CpuQuota, ReadsBothHierarchiesQuotasRoundedUp) {
    EXPECT_EQ(processorsForCpuMax("200000 100000"), 2u);
    EXPECT_EQ(processorsForCpuMax("150000 100000"), 2u);
    EXPECT_EQ(processorsForCpuMax("5000 100000"), 1u);
    EXPECT_EQ(processorsForCpuMax("max 100000"), 0u);
    EXPECT_EQ(processorsForCpuMax("18446744073709551615 1"), UINT32_MAX);
    for (const char* notAQuota : {"", "200000", "200000 0", "0 100000", "-1 100000", "2e5 100000", "200000  100000"}) {
        EXPECT_EQ(processorsForCpuMax(notAQuota), 0u) << notAQuota;
    }
    EXPECT_EQ(processorsForCfsQuota("400000", "100000"), 4u);
    EXPECT_EQ(processorsForCfsQuota("-1", "100000"), 0u);
    EXPECT_EQ(processorsForCfsQuota("50000", ""), 0u);
}

TEST(CpuQuota, FindsTheGroupOfEachHierarchyInALine) {
    EXPECT_EQ(groupPathIn("0::/user.slice/app", ""), "/user.slice/app");
    EXPECT_EQ(groupPathIn("0::/", ""), "/");
    EXPECT_EQ(groupPathIn("4:cpu,cpuacct:/docker/ab12", "cpu"), "/docker/ab12");
    EXPECT_EQ(groupPathIn("1:cpu:/", "cpu"), "/");
    EXPECT_EQ(groupPathIn("2:cpuacct:/x", "cpu"), "");
    EXPECT_EQ(groupPathIn("3:cpuset:/x", "cpu"), "");
    EXPECT_EQ(groupPathIn("9:name=systemd:/", ""), "");
    EXPECT_EQ(groupPathIn("0::/", "cpu"), "");
    EXPECT_EQ(groupPathIn("garbage", ""), "");
    EXPECT_EQ(groupPathIn("0:", ""), "");
}

// The fewest processors any group on the way up grants, in either hierarchy; missing levels read nothing.
TEST(CpuQuota, TakesTheTightestQuotaOfTheGroupAndTheGroupsAboveIt) {
    ScratchDir dir;
    const fs::path root = dir.path() / "groups";
    const std::string self = dir / "self";
    fs::create_directories(root / "outer/inner/own");
    writeFile(root / "cpu.max", "max 100000\n");
    writeFile(root / "outer/cpu.max", "350000 100000\n");
    writeFile(root / "outer/inner/cpu.max", "max 100000\n");
    writeFile(self, "0::/outer/inner/own\n");
    EXPECT_EQ(quotaProcessorsIn(self, root.string()), 4u);

    // The older hierarchy's line, beside a unified one without quotas.
    fs::create_directories(root / "cpu/job");
    writeFile(root / "cpu/job/cpu.cfs_quota_us", "250000\n");
    writeFile(root / "cpu/job/cpu.cfs_period_us", "100000\n");
    writeFile(root / "cpu/cpu.cfs_quota_us", "-1\n");
    writeFile(root / "cpu/cpu.cfs_period_us", "100000\n");
    writeFile(self, "9:name=systemd:/\n4:cpu,cpuacct:/job/\n0::/\n");
    EXPECT_EQ(quotaProcessorsIn(self, root.string()), 3u);

    // A group inside a container, whose line names a path that only the host has: the files at the root.
    writeFile(root / "cpu.max", "100000 100000\n");
    writeFile(self, "0::/host/only/path\n");
    EXPECT_EQ(quotaProcessorsIn(self, root.string()), 1u);

    writeFile(self, "no group here\n");
    EXPECT_EQ(quotaProcessorsIn(self, root.string()), 0u);
    EXPECT_EQ(quotaProcessorsIn(dir / "missing", root.string()), 0u);
}

TEST(CpuQuota, MachineThreadsStayWithinTheQuotaAndTheProcessors) {
    const unsigned threads = machineThreads();
    EXPECT_GE(threads, 1u);
    if (const unsigned quota = quotaProcessors(); quota != 0) {
        EXPECT_LE(threads, quota);
    }
    if (const unsigned processors = std::thread::hardware_concurrency(); processors != 0) {
        EXPECT_LE(threads, processors);
    }
}

}  // namespace
}  // namespace bxa::platform
