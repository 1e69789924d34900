// The data of the preview page, as classic scripts: a page opened from a file:// URL may run scripts from
// its folder but may neither fetch() files nor import modules, and WebGL refuses images from other
// file:// URLs, so models and textures reach the page as script calls and data: URLs.
//
//   page-data/models.js   bxaView.models({...}): the list of models with their counts
//   page-data/mN.js       bxaView.model(N, {...}): model N's vertices, faces by material, broken faces
//   page-data/tN.js       bxaView.texture(N, {...}): texture N as a data: URL
//
// Every writer writes the file `leaf` of `directory` as finishOutput (text_output.hpp) says and returns
// false when it could not be written whole.
// Output grows linearly with its input: a bounded number of bytes per vertex, face and warning, and four
// bytes per three of a texture file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/directory.hpp"
#include "view/mesh.hpp"
#include "view/obj_writer.hpp"

namespace bxa::view {

inline constexpr const char* PageDataDirectory = "page-data";

// What the model list shows of one model; `dataScript` is empty for a model that could not be read,
// and `error` then says why.
struct PageModelEntry {
    std::string name;
    ModelFormat format = ModelFormat::R7d;
    std::string objFile;
    std::string dataScript;
    std::string error;
    uint64_t vertices = 0;
    uint64_t faces = 0;
    uint64_t entities = 0;
    uint64_t brokenFaces = 0;
    uint64_t warnings = 0;
};

bool writeModelList(const platform::Directory& directory, std::string_view leaf, const std::string& title,
                    const std::vector<PageModelEntry>& models);

// `textureIds` holds, per slot of `slots`, the number of its texture script or -1.
bool writeModelData(const platform::Directory& directory, std::string_view leaf, uint64_t index,
                    const Mesh& mesh, const std::vector<MaterialSlot>& slots,
                    const std::vector<int64_t>& textureIds);

// Reads the image file at `imagePath` in blocks and writes it as a data: URL whose type follows its first
// bytes (BMP, PNG, JPEG or GIF; BMP for anything else, which the page then reports as undecodable).
bool writeTextureData(const platform::Directory& directory, std::string_view leaf, uint64_t id,
                      const std::string& fileName, const std::string& imagePath);

// The file name of data script `index` of a kind: 'm' for models, 't' for textures ("m3.js").
std::string dataScriptName(char kind, uint64_t index);

// "line 14: message" or "byte 96: message".
std::string placedMessage(const MeshWarning& warning);

}  // namespace bxa::view
