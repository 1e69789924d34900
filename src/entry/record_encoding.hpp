// Turns a work-directory file into a record's stored bytes.
#pragma once

#include <string>

#include "archive/toc.hpp"

namespace bxa {

// The fixed temporary file, in the current directory, that holds a model's text form while its binary
// form is being encoded.
inline constexpr const char* SavedTextTempName = "tmp.r7";

// The encoded copy of record NAME: DIR/xcmp_NAME.
std::string encodedCopyPath(const std::string& workDir, const std::string& name);

enum class ModelPreparation {
    NotAModel,    // not a model file by extension: nothing was done
    Converted,    // the text form is saved in "tmp.r7" and the file now holds the binary form
    LeftAsIs,     // a model file that is missing, or already binary (it holds a NUL byte): untouched
    Failed,       // the text form could not be saved or converted; the file is untouched (message printed)
};

// Before a model file is encoded: saves its text form as "tmp.r7", parses it into the binary form in
// "tmp.cmp" and puts that in the file's place. A missing file is never created, and a file that holds a
// NUL byte is a binary model already and is left as it is, so it is encoded unchanged.
ModelPreparation prepareModelSource(const std::string& path);

// After a model file was encoded: puts the saved text form from "tmp.r7" back in the file's place.
// Returns false when it could not (the text form then still waits in "tmp.r7").
bool restoreModelSource(const std::string& path, ModelPreparation preparation);

// Prints "Compressing NAME" and writes DIR/xcmp_NAME: compressed with binary (method 1) or ASCII (method 2)
// literals and a 4096-byte dictionary, or an unchanged copy for any other method; then sets the entry's
// storedSize to the copy's length. Returns false, after printing a message, when a file cannot be opened,
// the work area cannot be had, a write fails, or the copy is 2 GiB or more; storedSize is then unchanged
// and no encoded copy is left.
bool encodeRecord(const std::string& workDir, TocEntry& entry);

}  // namespace bxa
