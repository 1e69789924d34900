// What replace and add share: rebuilding an archive around one changed record in the work file "tmp.BXA"
// and putting it in the archive's place atomically.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "archive/toc.hpp"
#include "entry/record_encoding.hpp"
#include "platform/file.hpp"

namespace bxa {

inline constexpr const char* RebuildWorkFileName = "tmp.BXA";

// True when the records lie back to back in table order from the end of the table, as every writer lays
// them out, and end within `archiveLength`. Rebuilding copies the data around the changed record in
// blocks, which is only right for such an archive.
bool isWellFormedArchive(const TocList& toc, int64_t archiveLength);

// The new archive in the work file: the table (with the entries' dataOffset values), then the old
// archive's bytes [frontStart, frontEnd), the encoded copy of the changed record (which must be exactly
// `storedSize` bytes long; it is removed once copied), then the old archive's bytes [backStart, backEnd).
struct RebuildPlan {
    int64_t frontStart = 0;
    int64_t frontEnd = 0;
    std::string encodedCopyPath;
    int32_t storedSize = 0;
    int64_t backStart = 0;
    int64_t backEnd = 0;
};

// Writes and closes the work file. Returns false, after printing a message on standard output, when a
// read or write fails.
bool writeRebuiltArchive(platform::File& work, platform::File& oldArchive, const TocList& toc,
                         const RebuildPlan& plan);

// Moves the work file into the archive's place atomically. On failure the old archive stays, the work file
// stays, and the message says where the rebuilt archive is.
bool installRebuiltArchive(const std::string& archivePath);

// The old archive's length, or -1 when unknown.
int64_t archiveLengthOf(platform::File& archive);

void reportNotWellFormed(const std::string& archivePath);

// The work-directory file of the changed record, ready to be encoded: a model is in its binary form (its
// text form waits in "tmp.r7" until restoreModelSource).
struct PreparedSource {
    std::string path;
    ModelPreparation preparation = ModelPreparation::NotAModel;
    int32_t originalSize = 0;
};

// Prepares DIR/NAME for encoding. Returns nothing, after printing a message on standard output, when the
// file cannot be prepared or opened (or is 2 GiB or more); the file is then as it was.
std::optional<PreparedSource> prepareSourceFile(const std::string& workDir, const std::string& name);

}  // namespace bxa
