#include "view/mesh_reader.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>

#include "model/model_records.hpp"
#include "model/r7d_model.hpp"
#include "model/r7p_model.hpp"
#include "model/r7t_model.hpp"
#include "platform/byte_order.hpp"

namespace bxa::view {

namespace {

// ---------------------------------------------------------------------------------------------------
// Walking the bytes, and the text line each record came from
// ---------------------------------------------------------------------------------------------------

class Cursor {
public:
    Cursor(std::span<const uint8_t> bytes, bool fromText) : bytes_(bytes), fromText_(fromText) {}

    uint64_t left() const { return bytes_.size() - at_; }
    bool has(uint64_t size) const { return size <= left(); }

    // How many of `declared` records of `size` bytes are whole in the file, keeping `reserve` bytes back.
    uint64_t wholeRecords(uint64_t declared, uint64_t size, uint64_t reserve = 0) const {
        uint64_t room = left() > reserve ? left() - reserve : 0;
        return std::min(declared, room / size);
    }

    // The record at the cursor (the caller has checked has(size)); it came from `lines` lines of text.
    const uint8_t* take(uint64_t size, uint64_t lines) {
        const uint8_t* record = bytes_.data() + at_;
        at_ += size;
        line_ += lines;
        return record;
    }

    struct Record {
        const uint8_t* bytes;
        SourcePlace place;
    };
    // take() with the place of the record's first byte or line.
    Record next(uint64_t size, uint64_t lines) {
        SourcePlace at = place();
        return {take(size, lines), at};
    }

    // A line of the text form that holds no record (a comment line, a start or end line).
    void skipLines(uint64_t lines) { line_ += lines; }

    SourcePlace place() const { return fromText_ ? SourcePlace{true, line_} : SourcePlace{false, at_}; }
    bool fromText() const { return fromText_; }

private:
    std::span<const uint8_t> bytes_;
    bool fromText_;
    uint64_t at_ = 0;
    uint64_t line_ = 1;
};

std::string nameOf(const uint8_t* field) {
    const void* nul = std::memchr(field, '\0', ModelNameSize);
    size_t length =
        nul == nullptr ? ModelNameSize : static_cast<size_t>(static_cast<const uint8_t*>(nul) - field);
    return std::string(reinterpret_cast<const char*>(field), length);
}

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

// A header count as the text form prints it: a signed 32-bit number.
int64_t asPrinted(uint64_t count) { return static_cast<int32_t>(static_cast<uint32_t>(count)); }

class MeshBuilder {
public:
    MeshBuilder(ModelFormat format, Cursor& cursor) : cursor_(cursor) {
        mesh_.format = format;
        mesh_.fromText = cursor.fromText();
    }

    Mesh& mesh() { return mesh_; }
    void warn(std::string message) { addWarning(mesh_, cursor_.place(), std::move(message)); }
    void warnAt(SourcePlace place, std::string message) { addWarning(mesh_, place, std::move(message)); }

    // `what` were announced as `declared` by `countName`; only `found` are whole in the file.
    void warnCut(uint64_t found, int64_t declared, const char* what, const std::string& countName) {
        warn("only " + std::to_string(found) + " of the " + std::to_string(declared) + " " + what + " that " +
             countName + " gives are there: the " + (cursor_.fromText() ? "text" : "file") + " ends here");
    }

    // Ten (R7D, R7P) or eight (R7T) float32 values; `normalAt` and `textureAt` index them.
    void addVertex(Cursor::Record record, size_t normalAt, size_t textureAt) {
        MeshVertex vertex;
        for (size_t i = 0; i < 3; ++i) vertex.position[i] = value(record, i);
        for (size_t i = 0; i < 3; ++i) vertex.normal[i] = value(record, normalAt + i);
        for (size_t i = 0; i < 2; ++i) vertex.texture[i] = value(record, textureAt + i);
        mesh_.vertices.push_back(vertex);
    }

    // A face whose corners index the vertices from `base` up to the end of the vertex table.
    void addFace(std::array<int64_t, 3> corners, uint64_t base, uint32_t material, uint32_t group,
                 SourcePlace place) {
        MeshFace face;
        const uint64_t count = mesh_.vertices.size() - base;
        std::string outside;
        for (size_t i = 0; i < 3; ++i) {
            if (corners[i] >= 0 && static_cast<uint64_t>(corners[i]) < count) {
                face.corners[i] = static_cast<uint32_t>(base + static_cast<uint64_t>(corners[i]));
                continue;
            }
            face.outside = static_cast<uint8_t>(face.outside | (1u << i));
            outside += (outside.empty() ? "" : " and ") + std::to_string(corners[i]);
        }
        face.material = material;
        face.group = group;
        face.source = place.position;
        if (face.broken()) {
            ++mesh_.brokenFaceCount;
            warnAt(place, "face " + std::to_string(faceNumber_) + " uses vertex " + outside +
                              ", outside the " + std::to_string(count) + " vertices " + tableName_);
        }
        ++faceNumber_;
        mesh_.faces.push_back(face);
    }

    // Face numbers and the vertex table they index, as the text form numbers them (per mesh or record).
    void startFaceTable(std::string tableName) {
        faceNumber_ = 0;
        tableName_ = std::move(tableName);
    }

    void addBitmap(Cursor::Record record) { mesh_.bitmaps.push_back({nameOf(record.bytes), record.place}); }

    uint32_t addGroup(std::string name) {
        mesh_.groups.push_back(std::move(name));
        return static_cast<uint32_t>(mesh_.groups.size() - 1);
    }

    void finish() {
        if (mesh_.nonFiniteValues > 0) {
            warnAt(firstNonFinite_, std::to_string(mesh_.nonFiniteValues) +
                                        " vertex values are not finite numbers; they are taken as 0");
        }
    }

private:
    float value(Cursor::Record record, size_t index) {
        float v = loadFloat32(record.bytes + 4 * index);
        if (std::isfinite(v)) return v;
        if (mesh_.nonFiniteValues++ == 0) firstNonFinite_ = record.place;
        return 0;
    }

    Mesh mesh_;
    Cursor& cursor_;
    uint64_t faceNumber_ = 0;
    std::string tableName_;
    SourcePlace firstNonFinite_;
};

// ---------------------------------------------------------------------------------------------------
// R7D: header, vertices, faces, bitmaps, entities, then one bitmap-index byte per face
// ---------------------------------------------------------------------------------------------------

constexpr size_t R7dEntityNumFacesAt = 76;
constexpr size_t R7dEntityFirstFaceAt = 78;

// Gives each face the first entity whose range holds it. `next_[i]` leads from face i to the first face at
// or after it still without a group, so every face is given a group once and the work stays linear.
class FaceGroups {
public:
    explicit FaceGroups(std::vector<MeshFace>& faces) : faces_(faces), next_(faces.size() + 1) {
        for (size_t i = 0; i < next_.size(); ++i) next_[i] = static_cast<uint32_t>(i);
        for (MeshFace& face : faces_) face.group = NoGroup;
    }

    void assign(size_t first, size_t end, uint32_t group) {
        for (size_t i = findFree(first); i < end; i = findFree(i + 1)) {
            faces_[i].group = group;
            next_[i] = static_cast<uint32_t>(i + 1);
        }
    }

    // The faces left without a group get `group()`, called once if there are any.
    template <typename MakeGroup>
    void assignRest(MakeGroup group) {
        uint32_t rest = NoGroup;
        for (MeshFace& face : faces_) {
            if (face.group != NoGroup) continue;
            if (rest == NoGroup) rest = group();
            face.group = rest;
        }
    }

private:
    static constexpr uint32_t NoGroup = UINT32_MAX;

    size_t findFree(size_t i) {
        uint32_t root = next_[i];
        while (next_[root] != root) root = next_[root];
        while (next_[i] != root) i = std::exchange(next_[i], root);
        return root;
    }

    std::vector<MeshFace>& faces_;
    std::vector<uint32_t> next_;  // the faces of one model number well below 2^32 (see MaxModelBytes)
};

void readR7d(MeshBuilder& out, Cursor& in, std::string_view modelName) {
    Mesh& mesh = out.mesh();
    if (!in.has(ModelHeaderSize)) return out.warn("the model ends inside its 16-byte header");
    const uint8_t* h = in.take(ModelHeaderSize, 4);
    const uint64_t V = loadUint32(h), F = loadUint32(h + 4), B = loadUint32(h + 8), E = loadUint32(h + 12);

    in.skipLines(1);
    const uint64_t vertices = in.wholeRecords(V, ModelVertexSize);
    mesh.vertices.reserve(vertices);
    for (uint64_t i = 0; i < vertices; ++i) out.addVertex(in.next(ModelVertexSize, 1), 4, 8);
    if (vertices < V) return out.warnCut(vertices, asPrinted(V), "vertices", "NumVertices");

    // The converter writes the bitmap-index table for the faces it wrote even when the text ends early,
    // so the faces' last bytes stay set aside while the tables between are read. Materials and groups are
    // given once the bitmaps, the entities and that table have been read.
    in.skipLines(1);
    const uint64_t faces = in.wholeRecords(F, R7dFaceSize + 1);
    mesh.faces.reserve(faces);
    out.startFaceTable("of the vertex table");
    for (uint64_t i = 0; i < faces; ++i) {
        auto [f, place] = in.next(R7dFaceSize, 1);
        out.addFace({loadInt16(f), loadInt16(f + 2), loadInt16(f + 4)}, 0, NoMaterial, 0, place);
    }
    bool cut = faces < F;
    if (cut) out.warnCut(faces, asPrinted(F), "faces", "NumFaces");

    if (!cut) {
        in.skipLines(1);
        const uint64_t bitmaps = in.wholeRecords(B, BitmapNameSize, faces);
        for (uint64_t i = 0; i < bitmaps; ++i) out.addBitmap(in.next(BitmapNameSize, 1));
        cut = bitmaps < B;
        if (cut) out.warnCut(bitmaps, asPrinted(B), "bitmaps", "NumBitmaps");
    }
    FaceGroups groups(mesh.faces);
    if (!cut) {
        in.skipLines(1);
        const uint64_t count = in.wholeRecords(E, R7dEntitySize, faces);
        for (uint64_t i = 0; i < count; ++i) {
            auto [e, place] = in.next(R7dEntitySize, 1);
            const std::string name = nameOf(e);
            const uint32_t group = out.addGroup(name);
            const int64_t first = loadInt16(e + R7dEntityFirstFaceAt),
                          size = loadInt16(e + R7dEntityNumFacesAt);
            const int64_t end = first + size;
            const int64_t lo = std::max<int64_t>(first, 0),
                          hi = std::min<int64_t>(end, static_cast<int64_t>(faces));
            if (size < 0 || lo != first || hi != end) {
                out.warnAt(place, "entity " + quoted(name) + " gives faces " + std::to_string(first) +
                                      " to " + std::to_string(end - 1) + ", outside the " +
                                      std::to_string(faces) + " faces");
            }
            if (lo < hi) groups.assign(static_cast<size_t>(lo), static_cast<size_t>(hi), group);
        }
        mesh.entityCount = count;
        if (count < E) out.warnCut(count, asPrinted(E), "entities", "NumEntities");
    }
    groups.assignRest(
        [&] { return out.addGroup(mesh.entityCount == 0 ? std::string(modelName) : "no entity"); });

    if (!in.has(faces)) return;
    const uint8_t* bitmapIndices = in.take(faces, 0);
    for (size_t i = 0; i < mesh.faces.size(); ++i) {
        if (bitmapIndices[i] < mesh.bitmaps.size()) mesh.faces[i].material = bitmapIndices[i];
    }
}

// ---------------------------------------------------------------------------------------------------
// R7P: header, bitmaps, then each entity followed by its meshes
// ---------------------------------------------------------------------------------------------------

constexpr size_t R7pMeshCountAt = 82;

void readR7p(MeshBuilder& out, Cursor& in) {
    Mesh& mesh = out.mesh();
    if (!in.has(ModelHeaderSize)) return out.warn("the model ends inside its 16-byte header");
    const uint8_t* h = in.take(ModelHeaderSize, 4);
    const uint64_t B = loadUint32(h + 8), E = loadUint32(h + 12);

    in.skipLines(1);
    const uint64_t bitmaps = in.wholeRecords(B, BitmapNameSize);
    for (uint64_t i = 0; i < bitmaps; ++i) out.addBitmap(in.next(BitmapNameSize, 1));
    if (bitmaps < B) return out.warnCut(bitmaps, asPrinted(B), "bitmaps", "NumBitmaps");

    in.skipLines(1);
    for (uint64_t e = 0; e < E; ++e) {
        if (!in.has(R7pEntitySize)) return out.warnCut(e, asPrinted(E), "entities", "NumEntities");
        auto [entity, entityPlace] = in.next(R7pEntitySize, 1);
        ++mesh.entityCount;
        std::string name = nameOf(entity);
        uint32_t group = out.addGroup(name);
        const int16_t meshes = loadInt16(entity + R7pMeshCountAt);
        if (meshes < 0) {
            out.warnAt(entityPlace, "entity " + quoted(name) + " has a negative mesh count (" +
                                        std::to_string(meshes) + ")");
        }
        for (int m = 0; m < meshes; ++m) {
            std::string meshName = "mesh " + std::to_string(m) + " of entity " + quoted(name);
            if (!in.has(R7pMeshHeaderSize)) {
                return out.warn("the " + std::string(in.fromText() ? "text" : "file") + " ends before " +
                                meshName);
            }
            auto [header, headerPlace] = in.next(R7pMeshHeaderSize, 3);
            const int16_t v = loadInt16(header), f = loadInt16(header + 2), bitmap = loadInt16(header + 4);
            if (v < 0 || f < 0) out.warnAt(headerPlace, meshName + " has a negative vertex or face count");
            const uint64_t base = mesh.vertices.size();
            const uint64_t vertices = in.wholeRecords(std::max<int16_t>(v, 0), ModelVertexSize);
            for (uint64_t i = 0; i < vertices; ++i) out.addVertex(in.next(ModelVertexSize, 1), 4, 8);
            if (vertices < static_cast<uint64_t>(std::max<int16_t>(v, 0))) {
                return out.warnCut(vertices, v, "vertices", "the Vertices line of " + meshName);
            }
            const uint64_t faces = in.wholeRecords(std::max<int16_t>(f, 0), R7pFaceSize);
            uint32_t material = bitmap >= 0 && static_cast<uint64_t>(bitmap) < mesh.bitmaps.size()
                                    ? static_cast<uint32_t>(bitmap)
                                    : NoMaterial;
            out.startFaceTable("of " + meshName);
            for (uint64_t i = 0; i < faces; ++i) {
                auto [face, place] = in.next(R7pFaceSize, 1);
                out.addFace({loadUint16(face), loadUint16(face + 2), loadUint16(face + 4)}, base, material,
                            group, place);
            }
            if (faces < static_cast<uint64_t>(std::max<int16_t>(f, 0))) {
                return out.warnCut(faces, f, "faces", "the Faces line of " + meshName);
            }
        }
    }
}

// ---------------------------------------------------------------------------------------------------
// R7T: NumRecords, the entity names, headerByte, then one geometry record per entity
// ---------------------------------------------------------------------------------------------------

constexpr size_t R7tNormalAt = 3;
constexpr size_t R7tTextureAt = 6;

void readR7t(MeshBuilder& out, Cursor& in) {
    Mesh& mesh = out.mesh();
    if (!in.has(1)) return out.warn("the model is empty: it has no NumRecords byte");
    const uint64_t R = *in.take(1, 1);
    const uint64_t named = in.wholeRecords(R, R7tNameSize);
    std::vector<std::string> names;
    for (uint64_t i = 0; i < named; ++i) names.push_back(nameOf(in.take(R7tNameSize, 1)));
    if (named < R) return out.warnCut(named, static_cast<int64_t>(R), "entity names", "NumRecords");
    if (!in.has(1)) return out.warn("the model ends before the byte after its entity names");
    in.take(1, 1);

    for (uint64_t r = 0; r < R; ++r) {
        std::string recordName = "record " + std::to_string(r) + " (" + quoted(names[r]) + ")";
        in.skipLines(1);
        if (!in.has(R7tRecordHeaderSize)) {
            return out.warnCut(r, static_cast<int64_t>(R), "records", "NumRecords");
        }
        const uint8_t* header = in.take(R7tRecordHeaderSize, 3);
        const uint16_t v = loadUint16(header), f = loadUint16(header + 2);
        uint32_t group = out.addGroup(names[r]);
        ++mesh.entityCount;
        const uint64_t base = mesh.vertices.size();
        const uint64_t vertices = in.wholeRecords(v, R7tVertexSize);
        for (uint64_t i = 0; i < vertices; ++i) {
            out.addVertex(in.next(R7tVertexSize, 1), R7tNormalAt, R7tTextureAt);
        }
        if (vertices < v) return out.warnCut(vertices, v, "vertices", "numVertices of " + recordName);
        if (!in.has(1)) return out.warn("the model ends before the index width of " + recordName);
        const bool narrow = *in.take(1, 1) != 0;
        const uint64_t faceSize = narrow ? 3 : 6;
        const uint64_t faces = in.wholeRecords(f, faceSize);
        out.startFaceTable("of " + recordName);
        for (uint64_t i = 0; i < faces; ++i) {
            auto [face, place] = in.next(faceSize, 1);
            const std::array<int64_t, 3> corners =
                narrow ? std::array<int64_t, 3>{face[0], face[1], face[2]}
                       : std::array<int64_t, 3>{loadInt16(face), loadInt16(face + 2), loadInt16(face + 4)};
            out.addFace(corners, base, NoMaterial, group, place);
        }
        if (faces < f) return out.warnCut(faces, f, "faces", "numFaces of " + recordName);
        in.skipLines(1);
    }
}

}  // namespace

Mesh readMesh(ModelFormat format, std::span<const uint8_t> bytes, bool fromText, std::string_view modelName) {
    Cursor cursor(bytes, fromText);
    MeshBuilder builder(format, cursor);
    switch (format) {
        case ModelFormat::R7d: readR7d(builder, cursor, modelName); break;
        case ModelFormat::R7p: readR7p(builder, cursor); break;
        case ModelFormat::R7t: readR7t(builder, cursor); break;
    }
    builder.finish();
    return std::move(builder.mesh());
}

}  // namespace bxa::view
