#include "model/r7d_model.hpp"

#include <algorithm>
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

// Records are read and written in blocks of about this many bytes; with the text writer's and the files'
// buffers a conversion holds well under a megabyte, whatever the model's counts and size.
constexpr size_t BlockBytes = size_t{1} << 16;
constexpr size_t FacesPerBlock = BlockBytes / R7dFaceSize;

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

// `bitmaps` holds the first bitmap names, as many as a one-byte index can select (at most 256).
void formatFaceLine(TextWriter& out, uint64_t index, const R7dFace& face, const std::vector<BitmapName>& bitmaps) {
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

void formatBitmapLine(TextWriter& out, uint64_t index, const BitmapName& bitmap) {
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

void formatEntityLine(TextWriter& out, uint64_t index, const R7dEntity& e) {
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
// Streaming the binary form into text
// ---------------------------------------------------------------------------------------------------

// Where a table lies in the file, and how many of its records are whole there.
struct TablePlace {
    int64_t offset = 0;
    uint64_t count = 0;
};

struct R7dLayout {
    TablePlace vertices, faces, bitmaps, entities;
    // The bitmap-index bytes present, one per face from face 0 on; a face beyond them has index 0.
    TablePlace indices;
};

// Each table lists only the records that are whole in the file, so a forged count never sizes a loop
// beyond the data. A table that claims more than is left owns the rest of the file: the tables after it,
// and the bitmap indices, are empty. `bytesAfterHeader` is 0 when the header itself was cut short.
R7dLayout layOut(const ModelHeader& header, uint64_t bytesAfterHeader) {
    R7dLayout layout;
    uint64_t left = bytesAfterHeader;
    int64_t offset = ModelHeaderSize;
    auto place = [&](uint32_t count, size_t size, TablePlace& table) {
        table.offset = offset;
        table.count = std::min<uint64_t>(count, left / size);
        if (table.count == count) {
            left -= table.count * size;
            offset += static_cast<int64_t>(table.count * size);
        } else {
            left = 0;
        }
    };
    place(header.NumVertices, ModelVertexSize, layout.vertices);
    place(header.NumFaces, R7dFaceSize, layout.faces);
    place(header.NumBitmaps, BitmapNameSize, layout.bitmaps);
    place(header.NumEntities, R7dEntitySize, layout.entities);
    layout.indices = {offset, std::min(layout.faces.count, left)};
    return layout;
}

// Reads records `first` to `first + count` of a table into `block`; false when the file ends or fails
// first (it then no longer matches its length).
bool readRecords(platform::File& file, const TablePlace& table, uint64_t first, size_t count, size_t size,
                 uint8_t* block) {
    return file.seek(table.offset + static_cast<int64_t>(first * size)) &&
           model_text::readRecord(file, block, count * size);
}

// Hands every record of a table to `each` (record bytes, index), reading them in blocks. False when the
// file ended early.
template <typename Each>
bool forEachRecord(platform::File& file, const TablePlace& table, size_t size, std::vector<uint8_t>& block,
                   Each each) {
    const size_t perBlock = block.size() / size;
    for (uint64_t first = 0; first < table.count; first += perBlock) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(perBlock, table.count - first));
        if (!readRecords(file, table, first, count, size, block.data())) return false;
        for (size_t i = 0; i < count; ++i) each(block.data() + i * size, first + i);
    }
    return true;
}

// The face lines need each face's index byte, which lies after all the other tables, and the name it
// selects: faces and index bytes are read in matching blocks, and only the first 256 names are kept.
bool streamFaces(platform::File& file, const R7dLayout& layout, std::vector<uint8_t>& block, TextWriter& out) {
    const TablePlace named{layout.bitmaps.offset, std::min<uint64_t>(layout.bitmaps.count, 256)};
    std::vector<BitmapName> bitmaps;
    if (!forEachRecord(file, named, BitmapNameSize, block,
                       [&](const uint8_t* p, uint64_t) { bitmaps.push_back(loadBitmapName(p)); })) {
        return false;
    }
    std::vector<uint8_t> indices(FacesPerBlock);
    for (uint64_t first = 0; first < layout.faces.count; first += FacesPerBlock) {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(FacesPerBlock, layout.faces.count - first));
        if (!readRecords(file, layout.faces, first, count, R7dFaceSize, block.data())) return false;
        const uint64_t indexLeft = first < layout.indices.count ? layout.indices.count - first : 0;
        const size_t indexed = static_cast<size_t>(std::min<uint64_t>(count, indexLeft));
        std::fill(indices.begin(), indices.end(), uint8_t{0});
        if (indexed > 0 && !readRecords(file, layout.indices, first, indexed, 1, indices.data())) return false;
        for (size_t i = 0; i < count; ++i) {
            R7dFace face = loadR7dFace(block.data() + i * R7dFaceSize);
            face.bitmapIndex = indices[i];
            formatFaceLine(out, first + i, face, bitmaps);
        }
    }
    return true;
}

void streamModel(platform::File& file, TextWriter& out) {
    // The length bounds every table; a file whose length cannot be told is read as holding the header only.
    const uint64_t length = static_cast<uint64_t>(std::max<int64_t>(file.length().value_or(0), 0));
    uint8_t headerBytes[ModelHeaderSize] = {};
    const bool wholeHeader =
        file.read(headerBytes, ModelHeaderSize) == ModelHeaderSize && length >= ModelHeaderSize;
    const ModelHeader header = loadModelHeader(headerBytes);
    const R7dLayout layout = layOut(header, wholeHeader ? length - ModelHeaderSize : 0);

    const auto vertexLine = [&](const uint8_t* p, uint64_t) { formatVertexLine(out, loadModelVertex(p)); };
    const auto bitmapLine = [&](const uint8_t* p, uint64_t i) { formatBitmapLine(out, i, loadBitmapName(p)); };
    const auto entityLine = [&](const uint8_t* p, uint64_t i) { formatEntityLine(out, i, loadR7dEntity(p)); };

    // Once a read falls short the file has changed under the converter: the later tables stay empty.
    std::vector<uint8_t> block(BlockBytes);
    model_text::formatModelHeaderLines(out, header);
    out.text(VertexComment).endLine();
    bool intact = forEachRecord(file, layout.vertices, ModelVertexSize, block, vertexLine);
    out.text(FaceComment).endLine();
    intact = intact && streamFaces(file, layout, block, out);
    out.text(BitmapComment).endLine();
    intact = intact && forEachRecord(file, layout.bitmaps, BitmapNameSize, block, bitmapLine);
    out.text(EntityComment).endLine();
    if (intact) forEachRecord(file, layout.entities, R7dEntitySize, block, entityLine);
}

// ---------------------------------------------------------------------------------------------------
// Parsing the text form
// ---------------------------------------------------------------------------------------------------

// The bitmap-index table comes last in the binary form but each index is on its face line. The indices
// of the first faces are held (a megabyte covers most models); those of the faces after them come from
// a second reading of their lines, which starts where the first reading met the first of them.
constexpr uint32_t IndicesHeld = uint32_t{1} << 20;

// Writes the indices of the `count` face lines from `start` (bytes into the text), a block at a time.
void writeLaterBitmapIndices(platform::File& text, uint64_t start, uint64_t count, platform::File& model) {
    if (count == 0 || !text.seek(static_cast<int64_t>(start))) return;
    LineReader in(text, LineChars);
    std::vector<uint8_t> indices;
    indices.reserve(BlockBytes);
    for (uint64_t i = 0; i < count && in.next(); ++i) {
        indices.push_back(parseFaceLine(in.line()).bitmapIndex);
        if (indices.size() == BlockBytes) {
            model.write(indices.data(), indices.size());
            indices.clear();
        }
    }
    model.write(indices.data(), indices.size());
}

void parseText(platform::File& text, platform::File& model) {
    LineReader in(text, LineChars);

    const ModelHeader header = model_text::parseModelHeaderLines(in);
    uint8_t record[R7dEntitySize];
    storeModelHeader(record, header);
    model.write(record, ModelHeaderSize);

    // Every record takes one line of text, and reading stops with the text, so a forged count cannot
    // make the output (or the bitmap-index table) larger than the text justifies.
    in.next();
    for (uint32_t i = 0; i < header.NumVertices && in.next(); ++i) {
        storeModelVertex(record, parseVertexLine(in.line()));
        model.write(record, ModelVertexSize);
    }
    in.next();
    std::vector<uint8_t> heldIndices;
    uint64_t laterFaceLines = 0;
    uint32_t faces = 0;
    for (; faces < header.NumFaces; ++faces) {
        if (faces == IndicesHeld) laterFaceLines = in.consumed();
        if (!in.next()) break;
        const R7dFace face = parseFaceLine(in.line());
        storeR7dFace(record, face);
        model.write(record, R7dFaceSize);
        if (faces < IndicesHeld) heldIndices.push_back(face.bitmapIndex);
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
    model.write(heldIndices.data(), heldIndices.size());
    if (faces > IndicesHeld) writeLaterBitmapIndices(text, laterFaceLines, faces - IndicesHeld, model);
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// The two converters
// ---------------------------------------------------------------------------------------------------

ConversionResult convertR7dToText(platform::File& model, platform::File& text) {
    return model_text::convertToText(model, text, streamModel);
}

ConversionResult convertTextToR7d(platform::File& text, platform::File& model) {
    return model_text::convertToModel(text, model, parseText);
}

bool convertR7dToText(const std::string& modelPath, const std::string& textPath) {
    return model_text::convertPaths(modelPath, textPath, model_text::Output::Text, convertR7dToText);
}

bool convertTextToR7d(const std::string& modelPath, const std::string& textPath) {
    return model_text::convertPaths(modelPath, textPath, model_text::Output::Model, convertTextToR7d);
}

}  // namespace bxa
