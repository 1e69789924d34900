// Any bytes as a work directory to pack (-p): the input is catalog.dat, then the contents of a few work
// files, separated by lines of "====" (see PartSeparator). Besides "no crash, no hang, no out-of-bounds
// access": nothing is written outside the work directory; the work directory is byte for byte as it was
// afterwards (models back in their text form, no encoded copy left), whether the pack succeeded or not; a
// failed pack leaves the old archive unchanged and a successful one leaves a well-formed archive that
// lists exactly the catalog's records.
#include <array>

#include "archive/commands.hpp"
#include "archive_fuzz_support.hpp"

using namespace bxa::fuzz;

namespace {

inline constexpr std::string_view PartSeparator = "\n====\n";

// One name of each kind the encoder treats differently.
constexpr std::array<const char*, 7> WorkFileNames = {"A.R7D", "B.R7P", "C.R7T", "D.CSV", "E.BMP", "F.DAT", "G"};

// A small well-formed archive of two stored records, there before the pack.
std::string oldArchive() {
    std::string bytes(16 + 2 * 48, '\0');
    auto put = [&](size_t at, int32_t v) { bxa::storeInt32(reinterpret_cast<uint8_t*>(bytes.data()) + at, v); };
    put(0, 16), put(4, 1), put(8, 1), put(12, 2);
    put(16 + 0, 3), put(16 + 4, 3), put(16 + 12, 112);
    bytes.replace(16 + 16, 5, "x.DAT");
    put(64 + 0, 2), put(64 + 4, 2), put(64 + 12, 115);
    bytes.replace(64 + 16, 3, "y.Z");
    return bytes + "abcde";
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
    std::vector<std::string_view> parts =
        splitInput(std::string_view(reinterpret_cast<const char*>(data), size), PartSeparator);
    const fs::path work = sandbox.dir() / WorkDirName;
    writeFile(work / "catalog.dat", parts[0]);
    for (size_t i = 1; i < parts.size() && i <= WorkFileNames.size(); ++i) writeFile(work / WorkFileNames[i - 1], parts[i]);
    const std::string before = oldArchive();
    writeFile(sandbox.dir() / ArchiveName, before);
    auto workBefore = snapshot(work);

    bxa::TocList toc;
    bxa::platform::RecordingConsole console;
    bool packed = bxa::packArchive(toc, ArchiveName, WorkDirName, console);
    // Any word of the catalog may be a member's name.
    std::set<std::string> catalogWords;
    std::string catalogText(parts[0]);
    for (size_t at = 0; at < catalogText.size();) {
        size_t end = catalogText.find_first_of(" \t\r\n\v\f", at);
        if (end == std::string::npos) end = catalogText.size();
        if (end > at) catalogWords.insert(catalogText.substr(at, end - at));
        at = end + 1;
    }
    sandbox.checkNothingEscaped({"tmp.cmp", "tmp.r7"}, catalogWords);
    if (snapshot(work) != workBefore) fail("-p changed the work directory");
    std::string after = readFile(sandbox.dir() / ArchiveName);
    if (!packed) {
        if (after != before) fail("-p failed but changed the archive");
        return 0;
    }
    std::vector<ArchiveRecord> records = parseWrittenArchive(after, "-p");
    if (records.size() != toc.size()) fail("-p wrote another number of records than it packed");
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].name != toc[i].name || records[i].method != toc[i].method) fail("-p wrote another record than it packed");
    }
    return 0;
}
