// Two runs at once in one current directory: each run's working files are its own, so no data of one run
// ever ends up in the files of the other. The expected results come from the same commands run one after
// the other in separate directories.
#include <gtest/gtest.h>

#include "faults/fault_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

constexpr int Rounds = 10;

// Records of the same names with different contents, models among them (their conversion used a fixed
// temporary file in the current directory once).
std::vector<WorkFile> variantWorkFiles(int variant) {
    std::string bush = exampleFile("BUSH.R7T");
    bush.replace(bush.find("0.500000"), 8, variant == 0 ? "0.250000" : "0.750000");
    return {{"A.CSV", 2, tableText(200000, variant)},
            {"M.R7D", 1, largeR7dText(3000, variant)},
            {"B.R7T", 2, bush},
            {"N.BIN", 1, noiseBytes(50000, static_cast<uint32_t>(variant))}};
}

class SharedCurrentDirectory : public ::testing::Test {
protected:
    MemoryScratchDir dir;
    fs::path at(const std::string& name) const { return dir.path() / name; }

    // Runs both commands at once from the scratch directory and checks that both succeeded.
    void runTogether(const std::vector<std::string>& first, const std::vector<std::string>& second) {
        pid_t a = startBxa(first, dir.path());
        pid_t b = startBxa(second, dir.path());
        EXPECT_EQ(waitForBxa(a), 1);
        EXPECT_EQ(waitForBxa(b), 1);
    }
};

TEST_F(SharedCurrentDirectory, TwoUnpacksKeepTheirRecordsApart) {
    std::map<std::string, std::string> expected[2];
    for (int v = 0; v < 2; ++v) {
        const std::string work = "src" + std::to_string(v);
        writeWorkDir(at(work), variantWorkFiles(v));
        ASSERT_FALSE(failedWithPrompt(runBxa({"-p", "a" + std::to_string(v) + ".BXA", work}, dir.path())));
        ScratchDir alone;
        fs::copy_file(at("a" + std::to_string(v) + ".BXA"), alone.path() / "a.BXA");
        ASSERT_FALSE(failedWithPrompt(runBxa({"-u", "a.BXA", "out"}, alone.path())));
        expected[v] = snapshotFiles(alone.path() / "out");
    }
    for (int round = 0; round < Rounds; ++round) {
        fs::remove_all(at("out0"));
        fs::remove_all(at("out1"));
        runTogether({"-u", "a0.BXA", "out0"}, {"-u", "a1.BXA", "out1"});
        EXPECT_EQ(differingNames(expected[0], snapshotFiles(at("out0"))), std::vector<std::string>{}) << round;
        EXPECT_EQ(differingNames(expected[1], snapshotFiles(at("out1"))), std::vector<std::string>{}) << round;
    }
    EXPECT_FALSE(fs::exists(at("tmp.cmp")));
}

TEST_F(SharedCurrentDirectory, TwoAddsToDifferentArchivesKeepTheirFilesApart) {
    std::string before[2];
    std::string after[2];
    for (int v = 0; v < 2; ++v) {
        ScratchDir alone;
        writeWorkDir(alone.path() / "work", variantWorkFiles(v));
        ASSERT_FALSE(failedWithPrompt(runBxa({"-p", "a.BXA", "work"}, alone.path())));
        before[v] = readBytes(alone.path() / "a.BXA");
        writeFile(alone.path() / "work" / "NEW.R7D", largeR7dText(4000, 10 + v));
        ASSERT_FALSE(failedWithPrompt(runBxa({"-a", "-f", "NEW.R7D", "a.BXA", "work"}, alone.path())));
        after[v] = readBytes(alone.path() / "a.BXA");
    }
    for (int round = 0; round < Rounds; ++round) {
        for (int v = 0; v < 2; ++v) {
            const std::string work = "w" + std::to_string(v);
            fs::remove_all(at(work));
            writeWorkDir(at(work), variantWorkFiles(v));
            writeFile(at(work) / "NEW.R7D", largeR7dText(4000, 10 + v));
            writeFile(at("a" + std::to_string(v) + ".BXA"), before[v]);
        }
        runTogether({"-a", "-f", "NEW.R7D", "a0.BXA", "w0"}, {"-a", "-f", "NEW.R7D", "a1.BXA", "w1"});
        EXPECT_TRUE(readBytes(at("a0.BXA")) == after[0]) << "round " << round;
        EXPECT_TRUE(readBytes(at("a1.BXA")) == after[1]) << "round " << round;
    }
}

}  // namespace
}  // namespace bxa
