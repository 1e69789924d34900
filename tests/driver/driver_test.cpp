// The command line, run as a process: usage, exit status and the closing prompt.
#include <gtest/gtest.h>

#include "support/test_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

const std::string UsageTail = " -u|-p|-a [-f filename] BXAfilename outputDirectory\n\n";

// The program name as the program sees it. Under Wine that is the exe's full Windows path (drive letter
// and all), whatever the command line said, so there only its file name is compared.
void expectProgramNamed(const std::string& err, const std::string& name) {
    if (TargetIsWindows) {
        EXPECT_TRUE(err.starts_with("\n\nUsage: ")) << err;
        EXPECT_TRUE(endsWith(err, TargetSeparator + name + UsageTail)) << err;
    } else {
        EXPECT_EQ(err, "\n\nUsage: " + name + UsageTail);
    }
}

void expectUsage(const RunResult& r) {
    EXPECT_EQ(r.exitCode, 255);
    expectProgramNamed(r.err, TargetIsWindows ? std::filesystem::path(BXA_EXECUTABLE).filename().string()
                                              : std::string(BXA_BINARY));
    EXPECT_EQ(r.out, "");
}

TEST(CommandLine, MalformedLinesGetTheUsageTextAndStatusMinusOne) {
    ScratchDir cwd;
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"-u"},
             {"-x", "a.BXA", "dir"},
             {"-uu", "a.BXA", "dir"},
             {"u", "a.BXA", "dir"},
             {"-a", "n", "a.BXA", "dir", "x"},       // six in all but no -f
             {"-a", "-f", "n", "a.BXA"},             // five in all
             {"-a", "-f", "n", "a.BXA", "dir", "x"}, // seven in all
             {"-u", "a.BXA"},                        // too few for the command
             {"-t", "a.BXA"},
             {"-u", "-f", "n", "a.BXA"},
             {"-p", "-f", "n", "a.BXA"},
         }) {
        SCOPED_TRACE(::testing::PrintToString(args));
        expectUsage(runBxa(args, cwd.path()));
    }
    EXPECT_TRUE(std::filesystem::is_empty(cwd.path()));
}

TEST(CommandLine, TheUsageTextNamesTheProgramAsInvoked) {
    ScratchDir cwd;
    if (TargetIsWindows) {
        std::filesystem::copy_file(BXA_EXECUTABLE, cwd.path() / "renamed.exe");
        // The Wine runner takes the exe to run from BXA_WINE_EXE when it is set.
        RunResult r = runBxa({}, cwd.path(), "", "BXA_WINE_EXE=./renamed.exe");
        expectProgramNamed(r.err, "renamed.exe");
        return;
    }
    std::filesystem::copy_file(BXA_BINARY, cwd.path() / "renamed");
    RunResult r = runBxa({}, cwd.path(), "", "", "./renamed");
    expectProgramNamed(r.err, "./renamed");
}

TEST(CommandLine, ASuccessfulCommandEndsWithStatusOneAndNoPrompt) {
    ScratchDir cwd;
    writeFile(cwd.path() / "a.BXA", buildArchive({{"x.DAT", 0, "abc"}}));
    for (const char* letter : {"-t", "-T"}) {
        RunResult r = runBxa({letter, "a.BXA", "work", "ignored", "extra"}, cwd.path());
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "\nReading table of contents...Done\n");
        EXPECT_EQ(r.err, "");
    }
    EXPECT_EQ(readFile(cwd.path() / "work" / "catalog.dat"), "3 0 x.DAT\r\n");
}

TEST(CommandLine, AFailedCommandPromptsReadsOneCharacterAndStillEndsWithOne) {
    ScratchDir cwd;
    RunResult r = runBxa({"-U", "-F", "x", "missing.BXA", "work"}, cwd.path(), "k");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(endsWith(r.out, ClosingPrompt)) << r.out;
    EXPECT_EQ(r.err, "\n\nError: Could not open (missing.BXA)\n\n");
    // With no input at all the prompt does not wait.
    EXPECT_EQ(runBxa({"-p", "missing.BXA", "nowhere"}, cwd.path()).exitCode, 1);
}

TEST(CommandLine, TheSwitchCountsOnlyInSecondPosition) {
    ScratchDir cwd;
    writeFile(cwd.path() / "a.BXA", buildArchive({{"x.DAT", 0, "abc"}}));
    // "-u ARCHIVE -f": -f is the directory.
    RunResult r = runBxa({"-u", "a.BXA", "-f"}, cwd.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readFile(cwd.path() / "-f" / "x.DAT"), "abc");
}

TEST(CommandLine, PackWithANameReplacesOneRecordAndNeverPacksTheDirectory) {
    ScratchDir cwd;
    writeFile(cwd.path() / "a.BXA", buildArchive({{"x.DAT", 0, "abc"}, {"y.DAT", 0, "def"}}));
    std::filesystem::create_directory(cwd.path() / "work");
    writeFile(cwd.path() / "work" / "x.DAT", "renewed");
    writeFile(cwd.path() / "work" / "catalog.dat", "0 0 other.DAT\r\n");
    RunResult r = runBxa({"-P", "-f", "x.DAT", "a.BXA", "work"}, cwd.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(readFile(cwd.path() / "a.BXA"), buildArchive({{"x.DAT", 0, "renewed"}, {"y.DAT", 0, "def"}}));
}

}  // namespace
}  // namespace bxa
