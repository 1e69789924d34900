// bxa-view's one job: every model of a work directory as OBJ + MTL files and on one preview page.
//
// For each R7D, R7P and R7T file of `workDirectory` (by name order) it writes, into `outputDirectory`:
// STEM.obj and STEM.mtl (see obj_writer.hpp), a copy of each bitmap file the model names (found as
// BitmapFiles::find says; one copy however many models use it), and the page's data (page_writer.hpp);
// then index.html and the page's script, when the program was built with them (page_assets.hpp).
//
// Messages go to standard error: a progress line per model, each warning as "warning: PATH line N: ..."
// (or "byte N" for a binary model; at most MaxKeptWarnings per model, then their count), an error line
// for a model or file that could not be read or written, and a closing summary line.
//
// Hostile models cost a warning, never the run: a model that cannot be read at all is listed on the page
// with its error and counts as failed. Memory holds one model at a time (see model_source.hpp for the
// bound); the files written grow linearly with the models and bitmaps read.
#pragma once

#include <cstdint>
#include <string>

namespace bxa::view {

struct ExportSummary {
    uint64_t models = 0;   // model files found
    uint64_t written = 0;  // models whose OBJ, MTL and page data were all written
    uint64_t brokenFaces = 0;
    uint64_t warnings = 0;
    bool pageWritten = false;
    // False when the directories could not be used, a model failed, or the page could not be written.
    bool ok = false;
};

// The output directory is created if it does not exist (its parent must); it must not be the work
// directory itself.
ExportSummary exportWorkDirectory(const std::string& workDirectory, const std::string& outputDirectory);

}  // namespace bxa::view
