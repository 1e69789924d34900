// Wavefront OBJ and MTL files of a Mesh.
//
// The OBJ lists every vertex as v, vt and (when normalsUsable) vn lines, so one index names all three,
// then the faces in model order: an "o" and a "g" line, both with the group's name, wherever the group
// changes, and a "usemtl" line wherever the material changes. A broken face is left out and leaves a
// comment with its line (or byte offset) in its place. The MTL has one material per bitmap, with the
// bitmap's file as its map_Kd texture when one was found, and "untextured" for faces without a bitmap.
//
// Output grows linearly with the mesh: a bounded number of bytes per vertex, face, group and bitmap.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/directory.hpp"
#include "view/mesh.hpp"

namespace bxa::view {

struct MaterialSlot {
    std::string name;         // an OBJ token, unique within the model
    std::string textureFile;  // the texture's file name beside the OBJ, or empty
};

// One slot per bitmap of `mesh`, in bitmap order, then the untextured slot. `textureFiles` holds one file
// name (or an empty one) per bitmap.
std::vector<MaterialSlot> materialSlots(const Mesh& mesh, const std::vector<std::string>& textureFiles);

// The slot a face is drawn with.
inline size_t slotOf(const MeshFace& face, const std::vector<MaterialSlot>& slots) {
    return face.material == NoMaterial ? slots.size() - 1 : face.material;
}

// Object and group names: the group's name as one token, "group_N" for an empty one.
std::string groupToken(const Mesh& mesh, uint32_t group);

// Both write the file `leaf` of `directory` as finishOutput (text_output.hpp) says; they return false
// when it could not be written whole. `modelFileName` is named in the files' first comment line.
bool writeObj(const platform::Directory& directory, std::string_view leaf, const Mesh& mesh,
              const std::vector<MaterialSlot>& slots, const std::string& modelFileName,
              const std::string& mtlFileName);
bool writeMtl(const platform::Directory& directory, std::string_view leaf,
              const std::vector<MaterialSlot>& slots, const std::string& modelFileName);

}  // namespace bxa::view
