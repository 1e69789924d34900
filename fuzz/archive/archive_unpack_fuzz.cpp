// Any bytes as an archive, unpacked whole and then one record by name (-u and -u -f). Besides "no crash,
// no hang, no out-of-bounds access": nothing is written outside the work directory, the archive itself is
// never changed, and a successful unpack leaves no "tmp.cmp" behind.
#include <optional>

#include "archive/commands.hpp"
#include "archive_fuzz_support.hpp"

using namespace bxa::fuzz;

namespace {

void checkAfterUnpack(bool succeeded, std::string_view archive, const bxa::TocList& toc, const char* what) {
    Sandbox& sandbox = Sandbox::instance();
    std::set<std::string> names;
    for (const auto& entry : toc) names.insert(entry.name);
    sandbox.checkNothingEscaped({"tmp.cmp"}, names);
    if (readFile(sandbox.dir() / ArchiveName) != archive) fail(std::string(what) + " changed the archive");
    if (succeeded && pathExists(sandbox.dir() / "tmp.cmp")) fail(std::string(what) + " left tmp.cmp behind");
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
    std::string_view archive(reinterpret_cast<const char*>(data), size);
    writeFile(sandbox.dir() / ArchiveName, archive);

    bxa::TocList toc;
    bxa::platform::RecordingConsole console;
    bool whole = bxa::unpackArchive(toc, ArchiveName, WorkDirName, std::nullopt, console);
    checkAfterUnpack(whole, archive, toc, "-u");

    // One record by name: a name from the table when there is one (the size picks which), else one that
    // matches nothing.
    std::string name = toc.empty() ? std::string("absent.DAT") : toc[size % toc.size()].name;
    bool named = bxa::unpackArchive(toc, ArchiveName, WorkDirName, name, console);
    checkAfterUnpack(named, archive, toc, "-u -f");
    return 0;
}
