#include "driver/driver.hpp"

#include <cstring>
#include <optional>
#include <string>

#include "archive/commands.hpp"
#include "archive/toc.hpp"
#include "platform/console.hpp"
#include "platform/ordered_work.hpp"

namespace bxa {

namespace {

bool isSwitch(const char* argument, char lower) {
    const char upper = static_cast<char>(lower - 'a' + 'A');
    return argument[0] == '-' && (argument[1] == lower || argument[1] == upper) && argument[2] == '\0';
}

int printUsage(const char* programName, platform::Console& console) {
    console.err("\n\nUsage: %s -u|-p|-a [-f filename] BXAfilename outputDirectory\n\n", programName);
    return ExitMalformedCommandLine;
}

// The command chosen by position, with the arguments it hands over; nothing when the line is malformed.
struct Command {
    char letter = 0;
    std::optional<std::string> recordName;
    std::string archive;
    std::string directory;
};

std::optional<Command> parseCommandLine(int argc, const char* const* argv) {
    if (argc < 3) return std::nullopt;
    Command command;
    const char* first = argv[1];
    for (char letter : {'u', 'p', 'a', 't'}) {
        if (isSwitch(first, letter)) command.letter = letter;
    }
    if (command.letter == 0) return std::nullopt;
    const bool named = command.letter != 't' && isSwitch(argv[2], 'f');
    if (command.letter == 'a' && (argc != 6 || !named)) return std::nullopt;
    if (named) {
        if (argc < 6) return std::nullopt;
        command.recordName = argv[3];
        command.archive = argv[4];
        command.directory = argv[5];
    } else {
        if (argc < 4) return std::nullopt;
        command.archive = argv[2];
        command.directory = argv[3];
    }
    return command;
}

// Every core of the machine: the command line has no option for it, and the results never depend on it.
bool runCommand(const Command& command, TocList& toc, platform::Console& console) {
    const unsigned threads = platform::machineThreads();
    switch (command.letter) {
        case 'u': return unpackArchive(toc, command.archive, command.directory, command.recordName, console, threads);
        case 'p':
            if (command.recordName) {
                return replaceRecord(toc, command.archive, command.directory, *command.recordName, console, threads);
            }
            return packArchive(toc, command.archive, command.directory, console, threads);
        case 'a': return addFile(toc, command.archive, command.directory, *command.recordName, console, threads);
        default: return catalogArchive(toc, command.archive, command.directory, console);
    }
}

}  // namespace

int runCommandLine(int argc, const char* const* argv, std::FILE* input) {
    const char* programName = argc > 0 && argv[0] != nullptr ? argv[0] : "bxa";
    platform::StandardConsole console;
    std::optional<Command> command = parseCommandLine(argc, argv);
    if (!command) return printUsage(programName, console);
    TocList toc;
    if (!runCommand(*command, toc, console)) {
        console.out("\n\nPress any key to continue...");
        std::fflush(stdout);
        std::fgetc(input);
    }
    std::fflush(stdout);
    return ExitCommandRan;
}

}  // namespace bxa
