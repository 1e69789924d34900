// Binary models for the viewer tests, described by their records rather than their bytes, and a reader
// of the counts `assimp info` prints.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "model/model_test_support.hpp"

namespace bxa::test {

struct TestVertex {
    std::array<float, 3> position{};
    std::array<float, 3> normal{0, 0, 1};
    std::array<float, 2> texture{};
};

struct TestFace {
    std::array<int32_t, 3> corners{};
    int32_t bitmap = 255;  // R7D: the bitmap-index byte
};

struct R7dEntitySpec {
    std::string name;
    int16_t firstFace = 0;
    int16_t numFaces = 0;
};

struct R7dParts {
    std::vector<TestVertex> vertices;
    std::vector<TestFace> faces;
    std::vector<std::string> bitmaps;
    std::vector<R7dEntitySpec> entities;
};

inline std::string r7dBytes(const R7dParts& m) {
    Bytes b;
    b.u32(static_cast<uint32_t>(m.vertices.size())).u32(static_cast<uint32_t>(m.faces.size()));
    b.u32(static_cast<uint32_t>(m.bitmaps.size())).u32(static_cast<uint32_t>(m.entities.size()));
    for (const TestVertex& v : m.vertices) {
        b.floats({v.position[0], v.position[1], v.position[2], 0, v.normal[0], v.normal[1], v.normal[2], 0,
                  v.texture[0], v.texture[1]});
    }
    for (const TestFace& f : m.faces) b.i16(f.corners[0]).i16(f.corners[1]).i16(f.corners[2]);
    for (const std::string& name : m.bitmaps) b.name(name);
    for (const R7dEntitySpec& e : m.entities) {
        b.name(e.name).floats({0, 0, 0, 0, 0, 0, 0}).i32(1).i32(0).i32(-1).i32(-1);
        b.i16(e.numFaces).i16(e.firstFace).i16(0).i16(0).i32(0).i32(0).i32(0);
    }
    for (const TestFace& f : m.faces) b.u8(static_cast<uint32_t>(f.bitmap));
    return b.str();
}

struct MeshSpec {
    std::vector<TestVertex> vertices;
    std::vector<TestFace> faces;  // indices count from the mesh's (or record's) first vertex
    int16_t bitmap = 0;           // R7P: the mesh's Bitmap value
};

struct EntitySpec {
    std::string name;
    std::vector<MeshSpec> meshes;  // R7T: exactly one, its record
};

inline std::string r7pBytes(const std::vector<std::string>& bitmaps,
                            const std::vector<EntitySpec>& entities) {
    Bytes b;
    b.u32(0).u32(0).u32(static_cast<uint32_t>(bitmaps.size())).u32(static_cast<uint32_t>(entities.size()));
    for (const std::string& name : bitmaps) b.name(name);
    for (const EntitySpec& e : entities) {
        b.name(e.name).floats({0, 0, 0, 0, 0, 0, 0}).i32(0).i32(0).i32(0);
        for (int i = 0; i < 8; ++i) b.i16(i == 5 ? static_cast<int32_t>(e.meshes.size()) : 0);
        for (const MeshSpec& mesh : e.meshes) {
            b.i16(static_cast<int32_t>(mesh.vertices.size())).i16(static_cast<int32_t>(mesh.faces.size()));
            b.i16(mesh.bitmap);
            for (const TestVertex& v : mesh.vertices) {
                b.floats({v.position[0], v.position[1], v.position[2], 0, v.normal[0], v.normal[1],
                          v.normal[2], 0, v.texture[0], v.texture[1]});
            }
            for (const TestFace& f : mesh.faces) {
                b.u16(static_cast<uint32_t>(f.corners[0]))
                    .u16(static_cast<uint32_t>(f.corners[1]))
                    .u16(static_cast<uint32_t>(f.corners[2]));
            }
        }
    }
    return b.str();
}

// One record per entity; `narrow` picks 8-bit face indices.
inline std::string r7tBytes(const std::vector<EntitySpec>& entities, bool narrow) {
    Bytes b;
    b.u8(static_cast<uint32_t>(entities.size()));
    for (const EntitySpec& e : entities) b.name(e.name);
    b.u8(0);
    for (const EntitySpec& e : entities) {
        const MeshSpec& r = e.meshes.at(0);
        b.u16(static_cast<uint32_t>(r.vertices.size())).u16(static_cast<uint32_t>(r.faces.size())).u8(0);
        for (const TestVertex& v : r.vertices) {
            b.floats({v.position[0], v.position[1], v.position[2], v.normal[0], v.normal[1], v.normal[2],
                      v.texture[0], v.texture[1]});
        }
        b.u8(narrow ? 1 : 0);
        for (const TestFace& f : r.faces) {
            for (int32_t c : f.corners) {
                if (narrow) b.u8(static_cast<uint32_t>(c));
                else b.i16(c);
            }
        }
    }
    return b.str();
}

// The numbers of `assimp info FILE`, after its usual post-processing (which joins identical vertices
// within a mesh and leaves out vertices no face uses).
struct ImporterCounts {
    uint64_t meshes = 0;
    uint64_t vertices = 0;
    uint64_t faces = 0;
};

inline std::optional<uint64_t> countAfter(const std::string& text, const std::string& label) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex("\n" + label + ":\\s+([0-9]+)"))) return std::nullopt;
    return std::stoull(match[1]);
}

inline std::optional<ImporterCounts> importerCounts(const std::string& infoOutput) {
    auto meshes = countAfter(infoOutput, "Meshes");
    auto vertices = countAfter(infoOutput, "Vertices");
    auto faces = countAfter(infoOutput, "Faces");
    if (!meshes || !vertices || !faces) return std::nullopt;
    return ImporterCounts{*meshes, *vertices, *faces};
}

}  // namespace bxa::test
