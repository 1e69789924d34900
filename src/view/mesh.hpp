// One model as the viewer draws and exports it: a vertex table, triangles that index it, the model's
// bitmap names (one material each) and named groups of faces, with the problems found while reading it.
//
// A Mesh only ever holds what its model file holds: every vector is filled record by record from bytes
// that are present, so its size is bounded by the file's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bxa::view {

enum class ModelFormat { R7d, R7p, R7t };

// "R7D", "R7P" or "R7T".
const char* formatLabel(ModelFormat format);

struct MeshVertex {
    std::array<float, 3> position{};
    std::array<float, 3> normal{};
    std::array<float, 2> texture{};  // u, v as the model holds them
};

inline constexpr uint32_t NoMaterial = UINT32_MAX;

struct MeshFace {
    // Indices into Mesh::vertices. A corner whose model index lies outside its vertex table has its bit
    // set in `outside` and its index here is 0; such a face is "broken": left out of the OBJ file and
    // drawn in the warning colour by the page.
    std::array<uint32_t, 3> corners{};
    uint32_t material = NoMaterial;  // index into Mesh::bitmaps, or NoMaterial
    uint32_t group = 0;              // index into Mesh::groups
    uint8_t outside = 0;
    uint64_t source = 0;  // where the face record came from (see SourcePlace)

    bool broken() const { return outside != 0; }
};

// Where a record came from: a line of the text form, or a byte offset of the binary form.
struct SourcePlace {
    bool text = false;
    uint64_t position = 0;  // 1-based line, or 0-based byte offset
};

struct MeshBitmap {
    std::string name;  // as the model gives it: up to the first NUL, at most 32 bytes
    SourcePlace place;
};

struct MeshWarning {
    SourcePlace place;
    std::string message;
};

struct Mesh {
    ModelFormat format = ModelFormat::R7d;
    // The records came from a text form: MeshFace::source and warnings give lines, else byte offsets.
    bool fromText = false;
    std::vector<MeshVertex> vertices;
    std::vector<MeshFace> faces;
    std::vector<MeshBitmap> bitmaps;
    // Object group names: entity names where the model has them, as the model gives them. Faces refer to
    // them by index; a group may hold no face.
    std::vector<std::string> groups;
    // The number of entities (R7D, R7P) or records (R7T) read.
    uint64_t entityCount = 0;
    uint64_t brokenFaceCount = 0;
    // Vertex values that were not finite numbers, replaced by 0 in `vertices`.
    uint64_t nonFiniteValues = 0;
    // The first MaxKeptWarnings warnings; warningCount counts them all.
    std::vector<MeshWarning> warnings;
    uint64_t warningCount = 0;
};

// A hostile model can produce a warning per record; the first ones say what is wrong, the count the rest.
inline constexpr size_t MaxKeptWarnings = 20;

// Keeps the warning when fewer than MaxKeptWarnings are kept, and counts it in any case.
void addWarning(Mesh& mesh, SourcePlace place, std::string message);

// True when every vertex normal has a length above zero (the OBJ file then carries them).
bool normalsUsable(const Mesh& mesh);

}  // namespace bxa::view
