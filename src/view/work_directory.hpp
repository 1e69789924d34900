// The files of a work directory, and the names bxa-view gives its output files.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace bxa::view {

// The names of the regular files directly in `directory`, sorted byte by byte. Nothing, with `error`
// set, when it cannot be listed.
std::optional<std::vector<std::string>> listRegularFiles(const std::string& directory, std::string& error);

// The file of `files` that a model's bitmap name refers to: the file of exactly that name, else one whose
// name differs only in the case of ASCII letters (work directories come from a system whose file names
// ignore case, and models often spell their bitmaps in lower case beside upper-case files). Nothing for
// a name that is empty, "." or "..", or holds '/', '\' or ':', so a bitmap never names a file outside the
// work directory.
std::optional<std::string> findBitmapFile(const std::vector<std::string>& files, std::string_view bitmapName);

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

// "a" and "A" are equal, and so on for the other ASCII letters.
bool equalIgnoringCase(std::string_view a, std::string_view b);

}  // namespace bxa::view
