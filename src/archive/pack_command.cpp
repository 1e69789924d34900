#include <algorithm>
#include <cinttypes>
#include <string_view>
#include <unordered_set>

#include "archive/catalog.hpp"
#include "archive/command_support.hpp"
#include "archive/commands.hpp"
#include "archive/rebuild.hpp"
#include "entry/file_messages.hpp"
#include "entry/record_encoding.hpp"
#include "platform/line_reader.hpp"
#include "platform/ordered_work.hpp"

namespace bxa {

namespace {

using platform::Console;
using platform::Directory;
using platform::File;

// A catalog name that can be stored and packed back: pack refuses the rest before the archive changes.
bool checkPackableName(const std::string& name, Console& console) {
    switch (recordNameProblem(name)) {
        case NameProblem::TooLong:
            console.err("\n\nError: Record name too long (%s); a name holds at most %zu characters\n\n", name.c_str(),
                        MaxRecordNameLength);
            return false;
        case NameProblem::Escapes:
            console.err("\n\nError: Record name (%s) is absolute or contains '..'; it must name a file in the work "
                        "directory\n\n",
                        name.c_str());
            return false;
        case NameProblem::ControlCharacter:
            console.err("\n\nError: Record name (%s) holds a control character; it cannot be stored\n\n",
                        printableName(name).c_str());
            return false;
        case NameProblem::SideFile:
            console.err("\n\nError: Record name (%s) is the name of a file the unpack writes itself; it cannot be "
                        "packed\n\n",
                        name.c_str());
            return false;
        case NameProblem::WorkingFileName:
            console.err("\n\nError: Record name (%s) has the form of a working file of bxa; it cannot be packed\n\n",
                        name.c_str());
            return false;
        default: return true;
    }
}

struct PackRun {
    TocList& toc;
    const Directory& workDir;
    NewArchive& archive;
    CurrentDirectoryCopies& copies;
    Console& console;
    unsigned threads;
    platform::ThreadBudget budget;
};

// A record large enough to be coded in parts: more than one part of a segment.
constexpr int64_t LargeStreamSize = int64_t{512} << 10;

// The run's threads that are free when a segment of a large record begins are lent to it, each with a
// part work area, and come back once the segment is coded: a large record at the head of the window
// takes the threads that would otherwise wait for it.
unsigned lendThreads(void** areas, unsigned wanted, void* lender) {
    auto& budget = *static_cast<platform::ThreadBudget*>(lender);
    const unsigned taken = budget.takeFree(wanted);
    unsigned lent = 0;
    while (lent < taken && (areas[lent] = budget.takeBlock()) != nullptr) ++lent;
    budget.give(taken - lent);
    return lent;
}

void takeThreadsBack(void* const* areas, unsigned count, void* lender) {
    auto& budget = *static_cast<platform::ThreadBudget*>(lender);
    for (unsigned i = 0; i < count; ++i) budget.giveBlock(static_cast<uint8_t*>(areas[i]));
    budget.give(count);
}

// One catalog member on its way into the archive: encoded by a worker (into its own working file beside
// the archive when several run at once), then appended, with its messages, in catalog order.
struct PendingMember {
    const CatalogLine* line = nullptr;
    bool repeated = false;  // the name was listed on an earlier line
    platform::RecordingConsole messages;
    PreparedSource source;
    TocEntry entry;
    platform::WorkingFile stored;
    bool encoded = false;
};

bool reportSourceProblem(SourceProblem problem, const std::string& path, Console& console) {
    switch (problem) {
        case SourceProblem::TooLarge:
            console.err("\n\nError: File too large for a BXA file (%s)\n\n", path.c_str());
            break;
        case SourceProblem::NotRegular: reportUnopenableFile(platform::OpenFailure::NotRegular, path, console); break;
        case SourceProblem::LinkInPath: reportUnopenableFile(platform::OpenFailure::LinkInPath, path, console); break;
        case SourceProblem::Unconvertible: break;  // reported where it happened
        default: console.err("\n\nError: Could not open file (%s)\n\n", path.c_str()); break;
    }
    return false;
}

bool reportEncodeFailure(EncodeOutcome outcome, const std::string& path, const std::string& archivePath,
                         Console& console) {
    switch (outcome) {
        case EncodeOutcome::NoWorkArea: console.out("\nError: Could not allocate work buffer\n"); break;
        case EncodeOutcome::ReadFailed: console.err("\n\nError: Could not read file (%s)\n\n", path.c_str()); break;
        case EncodeOutcome::TooLarge:
            console.err("\n\nError: Record too large for a BXA file (%s)\n\n", path.c_str());
            break;
        default:
            console.err("\n\nError: Could not write BXA file (%s); it would reach 2 GiB or the disk is full\n\n",
                        archivePath.c_str());
            break;
    }
    console.err("\nAborting...\n");
    return false;
}

// Encodes one catalog member: straight into the new archive when it is encoded alone, else into a working
// file of its own. The member is only read; a model's binary form is made in a working file of the current
// directory.
void encodeMember(PackRun& run, PendingMember& member, bool alone) {
    Console& console = member.messages;
    const CatalogLine& line = *member.line;
    const std::string path = run.workDir.pathOf(line.name);
    if (!line.name.empty() && !checkPackableName(line.name, console)) return;
    if (member.repeated) {
        console.err("\n\nError: Record name (%s) is listed twice in the catalog\n\n", line.name.c_str());
        return;
    }
    SourceProblem problem = line.name.empty()
                                ? SourceProblem::Missing
                                : prepareSource(run.workDir, line.name, path, run.copies.directory(), console, member.source);
    if (problem != SourceProblem::None) {
        reportSourceProblem(problem, path, console);
        return;
    }
    member.entry.name = line.name;
    member.entry.method = line.method;
    member.entry.originalSize = static_cast<int32_t>(member.source.size);
    File* out = &run.archive.file();
    if (!alone) {
        member.stored = run.archive.takePartFile();
        if (!member.stored) {
            reportEncodeFailure(EncodeOutcome::WriteFailed, path, run.archive.archivePath(), console);
            return;
        }
        out = &member.stored.file();
    }
    uint8_t* partArea = run.threads > 1 && member.source.size > LargeStreamSize ? run.budget.takeBlock() : nullptr;
    const CompressHelpers helpers{lendThreads, takeThreadsBack, &run.budget, run.threads - 1};
    const CompressThreads on = partArea ? CompressThreads{1, &helpers, partArea} : CompressThreads{};
    EncodeOutcome outcome = encodeRecord(member.source, member.entry, *out, console, on);
    if (partArea) run.budget.giveBlock(partArea);
    if (outcome != EncodeOutcome::Done) {
        reportEncodeFailure(outcome, path, run.archive.archivePath(), console);
        return;
    }
    member.encoded = true;
}

// Appends an encoded member to the archive and its entry to the table, in catalog order. A member that
// failed, or could not be appended, while others were encoded beside it (their part files take disk space
// too) is encoded again alone, and nothing of it is said yet.
platform::Finish appendMember(PackRun& run, PendingMember& member, bool alone) {
    if (!member.encoded) {
        if (!alone) return platform::Finish::Again;
        member.messages.replayTo(run.console);
        return platform::Finish::Stop;
    }
    const std::string path = run.workDir.pathOf(member.line->name);
    if (member.stored) {
        // Where the member starts, for a member that may be appended again (-1: it may not, or the length
        // is unknown).
        const int64_t before = alone ? -1 : run.archive.file().length().value_or(-1);
        if (!run.archive.append(member.stored.file(), 0, member.entry.storedSize)) {
            // The bytes copied so far go, so that the member can be appended again where it belongs.
            if (before >= 0 && run.archive.file().truncate(before) && run.archive.file().seek(before)) {
                return platform::Finish::Again;
            }
            member.messages.replayTo(run.console);
            reportEncodeFailure(EncodeOutcome::WriteFailed, path, run.archive.archivePath(), run.console);
            return platform::Finish::Stop;
        }
    } else {
        run.archive.startWriteBack();
    }
    member.messages.replayTo(run.console);
    run.archive.givePartFile(std::move(member.stored));
    run.toc.append(member.entry);
    if (!assignRunningOffsets(run.toc)) {
        reportEncodeFailure(EncodeOutcome::WriteFailed, path, run.archive.archivePath(), run.console);
        return platform::Finish::Stop;
    }
    run.copies.protect(member.source.identity);
    if (member.source.converted) {
        run.copies.keepBinaryForm(std::move(member.source.binary));
        run.copies.removeTextCopy();
    }
    return platform::Finish::Next;
}

// Every line of the catalog, the last one too when it has no line end, and with a lone CR as a line end
// as well as LF and CR LF: a catalog saved by any editor lists the same records.
bool encodeCatalogMembers(PackRun& run, File& catalog, const std::string& catalogPath) {
    platform::LineReader reader(catalog, CatalogLineCapacity, platform::LineEnds::LfCrLfOrLoneCr);
    std::vector<CatalogLine> lines;
    while (reader.next()) {
        lines.push_back(parseCatalogLine(reader.line()));
        if (lines.back().outOfRange) {
            run.console.err("\n\nError: Line %zu of the catalog (%s) holds a size or method that does not fit a "
                            "signed 32-bit number: %s\n\n",
                            lines.size(), catalogPath.c_str(), printableName(reader.line()).c_str());
            return false;
        }
    }
    if (catalog.readFailed()) {
        run.console.err("\n\nError: Could not read catalog (%s)\n\n", catalogPath.c_str());
        return false;
    }
    if (!run.archive.reserveTable(lines.size())) {
        return reportEncodeFailure(EncodeOutcome::WriteFailed, "", run.archive.archivePath(), run.console);
    }
    std::vector<bool> repeated(lines.size());
    {
        std::unordered_set<std::string_view> names;
        for (size_t i = 0; i < lines.size(); ++i) {
            repeated[i] = !lines[i].name.empty() && !names.insert(lines[i].name).second;
        }
    }
    // Only the members in flight have their state, however long the catalog is.
    const size_t window = platform::recordWindow(run.threads);
    std::vector<PendingMember> slots(window + 1);
    auto member = [&](size_t i) -> PendingMember& { return slots[i % slots.size()]; };
    auto reset = [&](size_t i) {
        PendingMember& pending = member(i);
        pending.line = &lines[i];
        pending.repeated = repeated[i];
        pending.messages.clear();
        pending.source = PreparedSource();
        pending.entry = TocEntry();
        pending.stored = platform::WorkingFile();  // its directory handle too
        pending.encoded = false;
    };
    platform::OrderedSteps steps;
    steps.work = [&](size_t i, bool alone) {
        reset(i);
        run.budget.takeOne();
        encodeMember(run, member(i), alone);
        run.budget.give(1);
    };
    steps.finish = [&](size_t i, bool alone) {
        const platform::Finish outcome = appendMember(run, member(i), alone);
        // Nothing of a finished member stays open. A member done again alone, and every one after it, goes
        // straight into the archive: the spare part files go, so the run has what one thread has.
        if (outcome == platform::Finish::Again) {
            run.archive.dropSpareParts();
        } else {
            reset(i);
        }
        return outcome;
    };
    steps.abandon = reset;
    steps.cost = [&](size_t i) { return static_cast<uint64_t>(std::max<int64_t>(lines[i].listedSize, 0)); };
    return platform::runInOrder(lines.size(), run.threads, window, steps);
}

}  // namespace

bool packArchive(TocList& toc, const std::string& archivePath, const std::string& workDir, Console& console,
                 unsigned threads) {
    toc.clear();
    if (!checkPathArguments(archivePath, workDir, console)) return false;
    removeLeftoversAround(archivePath);
    // One writer at a time: a pack over an archive that another run is updating waits for it, before it
    // reads the catalog, which that run may renew too (an add). A new archive has nothing to wait for.
    File locked = openArchiveForUpdate(archivePath, console);
    const std::string catalogPath = platform::joinPath(workDir, CatalogFileName);
    Directory directory = Directory::open(workDir);
    platform::OpenFailure failure = platform::OpenFailure::Missing;
    File catalog = directory ? directory.openForReading(CatalogFileName, &failure) : File();
    if (!catalog) {
        if (failure == platform::OpenFailure::NotRegular) {
            console.err("\n\nError: Could not open catalog (%s); it is not a regular file\n\n", catalogPath.c_str());
        } else {
            console.err("\n\nError: Could not open catalog (%s)\n\n", catalogPath.c_str());
        }
        return false;
    }
    directory.removeLeftovers();
    // The new archive is built beside the old one and renamed over it only once it is complete; like the
    // old one, it is writable by its owner afterwards.
    NewArchive archive;
    if (!archive.create(archivePath, true)) {
        if (archive.nameTooLong()) {
            console.err("\n\nError: Could not open BXA file (%s); its name is longer than the file system allows\n\n",
                        archivePath.c_str());
        } else {
            console.err("\n\nError: Could not open BXA file (%s); make sure that it is not read-only\n\n",
                        archivePath.c_str());
        }
        return false;
    }
    console.out("\nReading catalog...");
    CurrentDirectoryCopies copies;
    copies.protect(catalog);
    copies.protect(locked);
    copies.protect(archive.identity());
    threads = std::max(1u, threads);
    PackRun run{toc, directory, archive, copies, console, threads,
                platform::ThreadBudget(threads, CompressPartWorkSize)};
    if (!encodeCatalogMembers(run, catalog, catalogPath)) return false;
    console.out("Done\n");
    console.out("\nPacking files...\n");
    for (const TocEntry& entry : toc) console.out("Packing %s, %" PRId32 " bytes\n", entry.name.c_str(), entry.storedSize);
    if (!archive.writeTable(toc)) {
        console.err("\n\nError: Could not write BXA file (%s)\n\n", archivePath.c_str());
        return false;
    }
    if (!archive.install(console, &locked)) return false;
    console.out("Done\n");
    return true;
}

}  // namespace bxa
