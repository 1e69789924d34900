// Any bytes as an archive, then the catalog command (-t), an add (-a -f) and a replace (-p -f). Besides
// "no crash, no hang, no out-of-bounds access": nothing is written outside the work directory; a failed add
// or replace leaves the archive byte for byte as it was; a successful one leaves a well-formed archive
// with the records it should hold.
#include <algorithm>
#include <array>

#include "archive/catalog.hpp"
#include "archive/commands.hpp"
#include "archive_fuzz_support.hpp"
#include "entry/entry_kinds.hpp"

using namespace bxa::fuzz;

namespace {

// One name of each kind the encoder treats differently: the three models, bitmaps, text-like data and
// everything else.
constexpr std::array<const char*, 7> AddedNames = {"NEW.R7D", "NEW.R7P", "NEW.R7T", "NEW.BMP",
                                                   "NEW.CSV", "NEW.BIN", "A"};

// Every name the input's table holds, which the commands may legitimately have made files of.
std::set<std::string> inputNames;

void checkUpdate(bool succeeded, const std::string& before, const char* what) {
    Sandbox& sandbox = Sandbox::instance();
    sandbox.checkNothingEscaped({"tmp.cmp", "tmp.r7", "tmp.BXA"}, inputNames);
    std::string after = readFile(sandbox.dir() / ArchiveName);
    if (!succeeded && after != before) fail(std::string(what) + " failed but changed the archive");
    if (succeeded) parseWrittenArchive(after, what, TrailingBytes::Kept);
}

std::vector<std::string> namesOf(const std::vector<ArchiveRecord>& records) {
    std::vector<std::string> names;
    for (const auto& r : records) names.push_back(r.name);
    return names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    absoluteArtifactPrefix(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > MaxInputSize) return 0;
    Sandbox& sandbox = Sandbox::instance();
    SandboxVisit visit;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    writeFile(sandbox.dir() / ArchiveName, input);
    const fs::path work = sandbox.dir() / WorkDirName;

    bxa::TocList toc;
    bxa::platform::RecordingConsole console;
    if (!bxa::catalogArchive(toc, ArchiveName, WorkDirName, console)) {
        // Only a name that catalog.dat could not carry makes -t fail.
        bool unlistable = std::any_of(toc.begin(), toc.end(), [](const bxa::TocEntry& entry) {
            return bxa::recordNameProblem(entry.name) == bxa::NameProblem::ControlCharacter;
        });
        if (!unlistable) fail("-t failed on a fresh work directory");
        return 0;
    }
    inputNames.clear();
    for (const auto& entry : toc) inputNames.insert(entry.name);
    sandbox.checkNothingEscaped({}, inputNames);
    if (readFile(sandbox.dir() / ArchiveName) != input) fail("-t changed the archive");

    // Add: the file's bytes are the input's second half, so models and bitmaps see fuzzed content too.
    const std::string added = AddedNames[size % AddedNames.size()];
    writeFile(work / added, input.substr(size / 2));
    std::string before = readFile(sandbox.dir() / ArchiveName);
    bool addedOk = bxa::addFile(toc, ArchiveName, WorkDirName, added, console);
    checkUpdate(addedOk, before, "-a -f");
    if (addedOk) {
        std::vector<std::string> names = namesOf(parseWrittenArchive(readFile(sandbox.dir() / ArchiveName), "-a -f", TrailingBytes::Kept));
        if (std::count(names.begin(), names.end(), added) != 1) fail("-a -f did not add the record once");
    }

    // Replace: a record of the current table, picked by the input's size, renewed from the input's first
    // half. A hostile name is handed over as it is; the harness only refuses to create its file.
    bxa::TocList current;
    bxa::ArchiveReading reading;
    bxa::readTableOfContents(current, ArchiveName, WorkDirName, console, reading);
    reading = bxa::ArchiveReading();
    std::string name = current.empty() ? added : current[size % current.size()].name;
    if (isPlainFileName(name) && name != "catalog.dat" && name != "header.dat") {
        writeFile(work / name, input.substr(0, size / 2));
    }
    before = readFile(sandbox.dir() / ArchiveName);
    bool replaced = bxa::replaceRecord(toc, ArchiveName, WorkDirName, name, console);
    checkUpdate(replaced, before, "-p -f");
    if (replaced) {
        // A replace keeps every record's place and name.
        std::vector<std::string> names = namesOf(parseWrittenArchive(readFile(sandbox.dir() / ArchiveName), "-p -f", TrailingBytes::Kept));
        std::vector<std::string> expected;
        for (const auto& entry : current) expected.push_back(entry.name);
        if (names != expected) fail("-p -f changed the list of records");
    }
    return 0;
}
