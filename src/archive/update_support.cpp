#include "archive/update_support.hpp"

#include "entry/file_messages.hpp"

namespace bxa {

bool prepareUpdateSource(const platform::Directory& workDir, const std::string& name, CurrentDirectoryCopies& copies,
                         platform::Console& console, PreparedSource& source) {
    const std::string path = workDir.pathOf(name);
    switch (prepareSource(workDir, name, path, copies.directory(), console, source)) {
        case SourceProblem::None: break;
        case SourceProblem::NotRegular: reportUnopenableFile(platform::OpenFailure::NotRegular, path, console); return false;
        case SourceProblem::LinkInPath: reportUnopenableFile(platform::OpenFailure::LinkInPath, path, console); return false;
        case SourceProblem::Unconvertible: return false;
        case SourceProblem::TooLarge:
            console.out("\nError: File too large for a BXA file (%s)", path.c_str());
            return false;
        default:
            console.out("\nError: Could not open source file (%s); file must exist", path.c_str());
            return false;
    }
    copies.protect(source.identity);
    copies.keepModelForms(source);
    return true;
}

}  // namespace bxa
