#include "driver/driver.hpp"

#include <optional>
#include <string>

#include "bxa/bxa.hpp"

namespace bxa {

namespace {

bool isSwitch(const char* argument, char lower) {
    const char upper = static_cast<char>(lower - 'a' + 'A');
    return argument[0] == '-' && (argument[1] == lower || argument[1] == upper) && argument[2] == '\0';
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
Status runCommand(const Command& command, const Options& options) {
    switch (command.letter) {
        case 'u':
            if (command.recordName) return unpackRecord(command.archive, command.directory, *command.recordName, options);
            return unpack(command.archive, command.directory, options);
        case 'p':
            if (command.recordName) return replace(command.archive, command.directory, *command.recordName, options);
            return pack(command.archive, command.directory, options);
        case 'a': return add(command.archive, command.directory, *command.recordName, options);
        default: return catalog(command.archive, command.directory, options);
    }
}

}  // namespace

int runCommandLine(int argc, const char* const* argv, std::FILE* input) {
    const char* programName = argc > 0 && argv[0] != nullptr ? argv[0] : "bxa";
    Options options;
    options.messages = standardStreams();
    std::optional<Command> command = parseCommandLine(argc, argv);
    if (!command) {
        options.messages(Channel::Error, std::string("\n\nUsage: ") + programName +
                                             " -u|-p|-a [-f filename] BXAfilename outputDirectory\n\n");
        return ExitMalformedCommandLine;
    }
    if (!runCommand(*command, options)) {
        options.messages(Channel::Output, "\n\nPress any key to continue...");
        std::fgetc(input);
    }
    return ExitCommandRan;
}

}  // namespace bxa
