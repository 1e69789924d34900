#include "model/r7d_model.hpp"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "model/model_text.hpp"

namespace bxa {

// ---------------------------------------------------------------------------------------------------
// The binary records
// ---------------------------------------------------------------------------------------------------

R7dFace loadR7dFace(const uint8_t* p) { return {loadInt16(p), loadInt16(p + 2), loadInt16(p + 4), 0}; }

void storeR7dFace(uint8_t* p, const R7dFace& face) {
    storeInt16(p, face.vertexA);
    storeInt16(p + 2, face.vertexB);
    storeInt16(p + 4, face.vertexC);
}

R7dEntity loadR7dEntity(const uint8_t* p) {
    R7dEntity e;
    std::copy(p, p + ModelNameSize, e.name.begin());
    e.positionX = loadFloat32(p + 32);
    e.positionY = loadFloat32(p + 36);
    e.positionZ = loadFloat32(p + 40);
    e.unused = loadFloat32(p + 44);
    e.rotateX = loadFloat32(p + 48);
    e.rotateY = loadFloat32(p + 52);
    e.rotateZ = loadFloat32(p + 56);
    e.entityID = loadInt32(p + 60);
    e.unknown1 = loadInt32(p + 64);
    e.parentEntityID = loadInt32(p + 68);
    e.childEntityID = loadInt32(p + 72);
    e.numFaces = loadInt16(p + 76);
    e.firstFaceIndex = loadInt16(p + 78);
    e.numVertices = loadInt16(p + 80);
    e.firstVertexIndex = loadInt16(p + 82);
    e.unknown2 = loadInt32(p + 84);
    e.unknown3 = loadInt32(p + 88);
    e.unknown4 = loadInt32(p + 92);
    return e;
}

void storeR7dEntity(uint8_t* p, const R7dEntity& e) {
    std::copy(e.name.begin(), e.name.end(), p);
    storeFloat32(p + 32, e.positionX);
    storeFloat32(p + 36, e.positionY);
    storeFloat32(p + 40, e.positionZ);
    storeFloat32(p + 44, e.unused);
    storeFloat32(p + 48, e.rotateX);
    storeFloat32(p + 52, e.rotateY);
    storeFloat32(p + 56, e.rotateZ);
    storeInt32(p + 60, e.entityID);
    storeInt32(p + 64, e.unknown1);
    storeInt32(p + 68, e.parentEntityID);
    storeInt32(p + 72, e.childEntityID);
    storeInt16(p + 76, e.numFaces);
    storeInt16(p + 78, e.firstFaceIndex);
    storeInt16(p + 80, e.numVertices);
    storeInt16(p + 82, e.firstVertexIndex);
    storeInt32(p + 84, e.unknown2);
    storeInt32(p + 88, e.unknown3);
    storeInt32(p + 92, e.unknown4);
}

namespace {

using model_text::Scanner;
using platform::LineReader;
using model_text::TextWriter;

// A line buffer of 32,768 bytes holds 32,767 characters of a line.
constexpr size_t LineChars = 32767;

constexpr std::string_view VertexComment =
    "// Vertex: X Y Z unused normalX normalY normalZ unused textureU textureV";
constexpr std::string_view FaceComment =
    "// Face: vertexA vertexB vertexC bitmapIndex bitmapName(for information only)";
constexpr std::string_view BitmapComment = "// Bitmaps";
constexpr std::string_view EntityComment =
    "// Entities: name positionX,Y,Z unused rotateX,Y,Z(radians) entityID ?? parentEntityID "
    "childEntityID numFaces firstFaceIndex numVertices firstVertexIndex ?? ?? ?? [best guess]";

// The model held in memory: the bitmap indices come last in the file but are printed on the face lines.
// Each converter call owns its lists.
struct R7dModel {
    ModelHeader header;
    std::vector<ModelVertex> vertices;
    std::vector<R7dFace> faces;
    std::vector<BitmapName> bitmaps;
    std::vector<R7dEntity> entities;
};

// ---------------------------------------------------------------------------------------------------
// ModelVertex (40 bytes) <-> "%8.4f" x 10
// ---------------------------------------------------------------------------------------------------

void formatVertexLine(TextWriter& out, const ModelVertex& vertex) {
    bool first = true;
    for (float value : modelVertexValues(vertex)) {
        if (!first) out.text(" ");
        out.fixed(value, 8, 4);
        first = false;
    }
    out.endLine();
}

ModelVertex parseVertexLine(const std::string& line) {
    std::array<float, ModelVertexValues> values{};
    Scanner scan(line.c_str());
    for (float& value : values) scan.scanFloat(value);
    return modelVertexFromValues(values);
}

// ---------------------------------------------------------------------------------------------------
// R7dFace (6 bytes + index byte) <-> "Face[%4d]:%3d %3d %3d %3d // %s"
// ---------------------------------------------------------------------------------------------------

void formatFaceLine(TextWriter& out, size_t index, const R7dFace& face, const std::vector<BitmapName>& bitmaps) {
    out.text("Face[").integer(static_cast<int64_t>(index), 4).text("]:");
    out.integer(face.vertexA, 3).text(" ").integer(face.vertexB, 3).text(" ").integer(face.vertexC, 3);
    out.text(" ").integer(face.bitmapIndex, 3).text(" // ");
    if (face.bitmapIndex < bitmaps.size()) {
        out.name(bitmaps[face.bitmapIndex].bytes.data(), ModelNameSize, 0);
    } else {
        out.text("(null)");
    }
    out.endLine();
}

R7dFace parseFaceLine(const std::string& line) {
    int32_t values[4] = {};
    if (auto numbers = model_text::afterFirstColon(line)) {
        Scanner scan(numbers->data());
        for (int32_t& value : values) scan.scanInt(value);
    }
    return {static_cast<int16_t>(values[0]), static_cast<int16_t>(values[1]), static_cast<int16_t>(values[2]),
            static_cast<uint8_t>(values[3])};
}

// ---------------------------------------------------------------------------------------------------
// BitmapName (32 bytes) <-> "Bitmap[%3d]:%s"
// ---------------------------------------------------------------------------------------------------

void formatBitmapLine(TextWriter& out, size_t index, const BitmapName& bitmap) {
    out.text("Bitmap[").integer(static_cast<int64_t>(index), 3).text("]:");
    out.name(bitmap.bytes.data(), ModelNameSize, 0).endLine();
}

// The name is everything after the first colon, spaces and further colons included.
BitmapName parseBitmapLine(const std::string& line) {
    BitmapName bitmap;
    model_text::storeName(bitmap.bytes.data(), ModelNameSize, model_text::afterFirstColon(line).value_or(""));
    return bitmap;
}

// ---------------------------------------------------------------------------------------------------
// R7dEntity (96 bytes) <-> "Entity[%3d]:%32s: " + 7 x "%8.4f", 7 x "%6d", "%4d", 3 x "%8d"
// ---------------------------------------------------------------------------------------------------

void formatEntityLine(TextWriter& out, size_t index, const R7dEntity& e) {
    out.text("Entity[").integer(static_cast<int64_t>(index), 3).text("]:");
    out.name(e.name.data(), ModelNameSize, 32).text(": ");
    out.fixed(e.positionX, 8, 4).text(" ").fixed(e.positionY, 8, 4).text(" ").fixed(e.positionZ, 8, 4);
    out.text(" ").fixed(e.unused, 8, 4);
    out.text(" ").fixed(e.rotateX, 8, 4).text(" ").fixed(e.rotateY, 8, 4).text(" ").fixed(e.rotateZ, 8, 4);
    out.text(" ").integer(e.entityID, 6).text(" ").integer(e.unknown1, 6);
    out.text(" ").integer(e.parentEntityID, 6).text(" ").integer(e.childEntityID, 6);
    out.text(" ").integer(e.numFaces, 6).text(" ").integer(e.firstFaceIndex, 6);
    out.text(" ").integer(e.numVertices, 6).text(" ").integer(e.firstVertexIndex, 4);
    out.text(" ").integer(e.unknown2, 8).text(" ").integer(e.unknown3, 8).text(" ").integer(e.unknown4, 8);
    out.endLine();
}

R7dEntity parseEntityLine(const std::string& line) {
    R7dEntity e;
    const model_text::EntityLineParts parts = model_text::splitEntityLine(line);
    model_text::storeName(e.name.data(), ModelNameSize, model_text::skipLeadingSpaces(parts.name));

    Scanner scan(parts.numbers);
    float reals[7] = {};
    for (float& value : reals) scan.scanFloat(value);
    int32_t integers[11] = {};
    for (int32_t& value : integers) scan.scanInt(value);

    e.positionX = reals[0];
    e.positionY = reals[1];
    e.positionZ = reals[2];
    e.unused = reals[3];
    e.rotateX = reals[4];
    e.rotateY = reals[5];
    e.rotateZ = reals[6];
    e.entityID = integers[0];
    e.unknown1 = integers[1];
    e.parentEntityID = integers[2];
    e.childEntityID = integers[3];
    e.numFaces = static_cast<int16_t>(integers[4]);
    e.firstFaceIndex = static_cast<int16_t>(integers[5]);
    e.numVertices = static_cast<int16_t>(integers[6]);
    e.firstVertexIndex = static_cast<int16_t>(integers[7]);
    e.unknown2 = integers[8];
    e.unknown3 = integers[9];
    e.unknown4 = integers[10];
    return e;
}

// ---------------------------------------------------------------------------------------------------
// Reading the binary model
// ---------------------------------------------------------------------------------------------------

// Reads up to `count` records of `size` bytes, but only as many as the bytes left in the file can hold
// whole, so a forged count never sizes an allocation. A table that claims more than is left owns the
// rest of the file, so nothing is left for the tables after it.
struct BytesLeft {
    uint64_t count = 0;
    // Without a known file length nothing is reserved ahead; the tables then grow with the data read.
    bool known = false;
};

template <typename Record, typename Load>
void readTable(platform::File& file, uint32_t count, size_t size, BytesLeft& left, std::vector<Record>& table,
               Load load) {
    uint64_t& bytesLeft = left.count;
    uint64_t whole = std::min<uint64_t>(count, bytesLeft / size);
    if (left.known) table.reserve(static_cast<size_t>(whole));
    uint8_t record[R7dEntitySize];
    for (uint64_t i = 0; i < whole; ++i) {
        if (file.read(record, size) != size) {
            bytesLeft = 0;
            return;
        }
        table.push_back(load(record));
    }
    bytesLeft = whole == count ? bytesLeft - whole * size : 0;
}

R7dModel readModel(platform::File& file) {
    R7dModel model;
    // A file whose length cannot be told is read as far as it goes.
    const std::optional<int64_t> length = file.length();
    BytesLeft left{length ? static_cast<uint64_t>(*length) : std::numeric_limits<uint64_t>::max(), length.has_value()};
    uint64_t& bytesLeft = left.count;

    uint8_t header[ModelHeaderSize] = {};
    size_t got = file.read(header, sizeof header);
    bytesLeft = got == sizeof header && bytesLeft >= sizeof header ? bytesLeft - sizeof header : 0;
    model.header = loadModelHeader(header);

    readTable(file, model.header.NumVertices, ModelVertexSize, left, model.vertices, loadModelVertex);
    readTable(file, model.header.NumFaces, R7dFaceSize, left, model.faces, loadR7dFace);
    readTable(file, model.header.NumBitmaps, BitmapNameSize, left, model.bitmaps, loadBitmapName);
    readTable(file, model.header.NumEntities, R7dEntitySize, left, model.entities, loadR7dEntity);

    // The faces read so far bound this table; missing index bytes leave index 0.
    uint8_t block[4096];
    size_t face = 0;
    while (face < model.faces.size() && bytesLeft > 0) {
        size_t want = std::min(sizeof block, model.faces.size() - face);
        if (bytesLeft < want) want = static_cast<size_t>(bytesLeft);
        size_t read = file.read(block, want);
        for (size_t i = 0; i < read; ++i) model.faces[face + i].bitmapIndex = block[i];
        if (read != want) break;
        face += read;
        bytesLeft -= read;
    }
    return model;
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// The two converters
// ---------------------------------------------------------------------------------------------------

ConversionResult convertR7dToText(platform::File& modelFile, platform::File& text) {
    if (!model_text::rewind(modelFile)) return ConversionResult::ReadFailed;
    const R7dModel model = readModel(modelFile);
    {
        TextWriter out(text);
        model_text::formatModelHeaderLines(out, model.header);
        out.text(VertexComment).endLine();
        for (const ModelVertex& vertex : model.vertices) formatVertexLine(out, vertex);
        out.text(FaceComment).endLine();
        for (size_t i = 0; i < model.faces.size(); ++i) formatFaceLine(out, i, model.faces[i], model.bitmaps);
        out.text(BitmapComment).endLine();
        for (size_t i = 0; i < model.bitmaps.size(); ++i) formatBitmapLine(out, i, model.bitmaps[i]);
        out.text(EntityComment).endLine();
        for (size_t i = 0; i < model.entities.size(); ++i) formatEntityLine(out, i, model.entities[i]);
    }
    return model_text::resultOf(modelFile, text);
}

bool convertR7dToText(const std::string& modelPath, const std::string& textPath) {
    return model_text::convertPathToText(modelPath, textPath, convertR7dToText);
}

ConversionResult convertTextToR7d(platform::File& text, platform::File& model) {
    if (!model_text::rewind(text)) return ConversionResult::ReadFailed;
    LineReader in(text, LineChars);

    const ModelHeader header = model_text::parseModelHeaderLines(in);
    uint8_t record[R7dEntitySize];
    storeModelHeader(record, header);
    model.write(record, ModelHeaderSize);

    // Every record takes one line of text, and reading stops with the text, so a forged count cannot
    // make the output (or the bitmap-index table) larger than the text justifies.
    std::vector<uint8_t> bitmapIndices;
    in.next();
    for (uint32_t i = 0; i < header.NumVertices && in.next(); ++i) {
        storeModelVertex(record, parseVertexLine(in.line()));
        model.write(record, ModelVertexSize);
    }
    in.next();
    for (uint32_t i = 0; i < header.NumFaces && in.next(); ++i) {
        R7dFace face = parseFaceLine(in.line());
        storeR7dFace(record, face);
        model.write(record, R7dFaceSize);
        bitmapIndices.push_back(face.bitmapIndex);
    }
    in.next();
    for (uint32_t i = 0; i < header.NumBitmaps && in.next(); ++i) {
        model.write(parseBitmapLine(in.line()).bytes.data(), BitmapNameSize);
    }
    in.next();
    for (uint32_t i = 0; i < header.NumEntities && in.next(); ++i) {
        storeR7dEntity(record, parseEntityLine(in.line()));
        model.write(record, R7dEntitySize);
    }
    model.write(bitmapIndices.data(), bitmapIndices.size());

    return model_text::resultOf(text, model);
}

bool convertTextToR7d(const std::string& modelPath, const std::string& textPath) {
    return model_text::convertPathToModel(modelPath, textPath, convertTextToR7d);
}

}  // namespace bxa
