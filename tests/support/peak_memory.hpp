// Peak memory of a command run in a process of its own. A probe program runs the command and prints
// "peak NNN kB" from peakResidentKiB(); a test starts the probe with runProbe(). The peak is the kernel's
// high-water mark of the probe's own address space (VmHWM), which exec starts afresh. The ru_maxrss that
// wait4 and getrusage report would not do: it also counts the peak of the address space that exec
// replaced, which for a child of a test process is the test's own.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern char** environ;

namespace bxa::testing {

inline long peakResidentKiB() {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) return -1;
    long peak = -1;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "VmHWM: %ld kB", &peak) == 1) break;
    }
    std::fclose(status);
    return peak;
}

struct ProbeRun {
    bool started = false;
    int status = -1;  // as waitpid gives it
    long peakKiB = -1;
    bool succeeded() const { return started && WIFEXITED(status) && WEXITSTATUS(status) == 0; }
};

// Runs `arguments` (the probe's path first) with its standard output in `report` and reads the peak it
// printed there.
inline ProbeRun runProbe(std::vector<std::string> arguments, const std::string& report) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, report.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    ProbeRun run;
    run.started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!run.started || waitpid(pid, &run.status, 0) != pid) return run;
    std::ifstream in(report, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (std::sscanf(text.c_str(), "peak %ld kB", &run.peakKiB) != 1) run.peakKiB = -1;
    return run;
}

}  // namespace bxa::testing
