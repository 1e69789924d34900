// The files of a work directory, and the names bxa-view gives its output files.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.hpp"

namespace bxa::view {

// Why a file or directory could not be opened, said of it: "does not exist", "is a directory", ...
// `wanted` names what was expected there (a "regular file" or a "directory").
std::string whyNotOpened(platform::OpenFailure failure, std::string_view wanted);

// The names of the regular files directly in `directory`, sorted byte by byte. Nothing, with `error`
// set, when it cannot be listed.
std::optional<std::vector<std::string>> listRegularFiles(const std::string& directory, std::string& error);

// The files of a work directory as models' bitmap names refer to them.
class BitmapFiles {
public:
    // `files` sorted byte by byte, as listRegularFiles gives them.
    explicit BitmapFiles(std::vector<std::string> files = {});

    // The file that a bitmap name refers to: the file of exactly that name, else the first one whose name
    // differs only in the case of ASCII letters (work directories come from a system whose file names
    // ignore case, and models often spell their bitmaps in lower case beside upper-case files). Nothing for
    // a name that is empty, "." or "..", or holds '/', '\' or ':', so a bitmap never names a file outside
    // the work directory. Each look-up costs a logarithm of the files, however many a model names.
    std::optional<std::string> find(std::string_view bitmapName) const;

private:
    std::vector<std::string> files_;
    std::map<std::string, std::string, std::less<>> byLowered_;  // the first file of each lower-cased name
};

// Output file names, unique within the output directory however the file system treats case.
class OutputNames {
public:
    // `wanted` made a safe file name (see objToken) and, when that is taken, prefixed with "N_" for the
    // smallest N from 2 that makes it free; the name is then taken.
    std::string claim(std::string_view wanted);

private:
    std::set<std::string> taken_;  // in lower case
};

// The stems the OBJ and MTL files of the models are named after, one per file of `modelFiles`: the file
// name without its extension, or the whole name with '_' for each '.' when another model has the same
// stem, whatever the case (PANEL.R7D and panel.R7P give PANEL_R7D and panel_R7P).
std::vector<std::string> outputStems(const std::vector<std::string>& modelFiles);

}  // namespace bxa::view
