// A model file's binary form, whichever form the work directory holds it in.
//
// A file that holds a NUL byte is taken as the binary form and read as it is; any other file is a text form
// (as unpack writes it) and is turned into its binary form by the model converter, through a temporary
// file of this process inside `scratchDirectory` that is removed before the call returns. This is the one
// place of the viewer that calls the model subsystem.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/directory.hpp"
#include "view/mesh.hpp"

namespace bxa::view {

// The binary form is held in memory while the model is read: at most this many bytes. A mesh takes up to
// about eight times the bytes of its faces (an R7D face of 7 bytes becomes a MeshFace of 32, its place in
// the group table, and its corners again in the page data), so this keeps a model within a few hundred MiB.
inline constexpr uint64_t MaxModelBytes = uint64_t{32} << 20;
// A text form is refused beyond this size, or when it has more than MaxTextLines lines: a converted line
// takes at most 96 bytes of binary form (an R7D entity), so the temporary file stays within MaxTextBytes.
inline constexpr uint64_t MaxTextBytes = uint64_t{256} << 20;
inline constexpr uint64_t MaxTextLines = MaxTextBytes / 96;

// The model kind of a work-directory file name, by its extension after the last '.': exactly "R7D",
// "R7P" or "R7T" (case matters, as it does when bxa packs a work directory); nothing for any other name.
std::optional<ModelFormat> modelFormatOfName(std::string_view fileName);

struct ModelBinary {
    std::vector<uint8_t> bytes;
    bool fromText = false;  // the bytes are the converter's output for a text form
};

// Reads the binary form of the model file at `path`; a text form is converted in a working file of
// `scratchDirectory`. Returns nothing and sets `error` to a short reason when the file cannot be opened or
// read, is larger than the limits above, or the converter fails (the converter then has printed its own
// message as well). Hostile content is no error here: whatever the bytes, at most MaxModelBytes of them
// are returned, and the reader of the binary form checks them.
std::optional<ModelBinary> loadModelBinary(const std::string& path, ModelFormat format,
                                           const platform::Directory& scratchDirectory, std::string& error);

}  // namespace bxa::view
