#include "model/r7p_model.hpp"

#include <algorithm>

#include "model/model_text.hpp"

namespace bxa {

// ---------------------------------------------------------------------------------------------------
// The binary records
// ---------------------------------------------------------------------------------------------------

R7pEntity loadR7pEntity(const uint8_t* p) {
    R7pEntity e;
    std::copy(p, p + ModelNameSize, e.name.begin());
    for (size_t i = 0; i < e.reals.size(); ++i) e.reals[i] = loadFloat32(p + 32 + 4 * i);
    for (size_t i = 0; i < e.integers.size(); ++i) e.integers[i] = loadInt32(p + 60 + 4 * i);
    for (size_t i = 0; i < e.shorts.size(); ++i) e.shorts[i] = loadInt16(p + 72 + 2 * i);
    return e;
}

void storeR7pEntity(uint8_t* p, const R7pEntity& e) {
    std::copy(e.name.begin(), e.name.end(), p);
    for (size_t i = 0; i < e.reals.size(); ++i) storeFloat32(p + 32 + 4 * i, e.reals[i]);
    for (size_t i = 0; i < e.integers.size(); ++i) storeInt32(p + 60 + 4 * i, e.integers[i]);
    for (size_t i = 0; i < e.shorts.size(); ++i) storeInt16(p + 72 + 2 * i, e.shorts[i]);
}

R7pMeshHeader loadR7pMeshHeader(const uint8_t* p) { return {loadInt16(p), loadInt16(p + 2), loadInt16(p + 4)}; }

void storeR7pMeshHeader(uint8_t* p, const R7pMeshHeader& mesh) {
    storeInt16(p, mesh.vertexCount);
    storeInt16(p + 2, mesh.faceCount);
    storeInt16(p + 4, mesh.bitmap);
}

R7pFace loadR7pFace(const uint8_t* p) { return {{loadUint16(p), loadUint16(p + 2), loadUint16(p + 4)}}; }

void storeR7pFace(uint8_t* p, const R7pFace& face) {
    for (size_t i = 0; i < face.indices.size(); ++i) storeUint16(p + 2 * i, face.indices[i]);
}

namespace {

using model_text::Scanner;
using platform::LineReader;
using model_text::TextWriter;

// A line buffer of 1,024 bytes holds 1,023 characters of a line.
constexpr size_t LineChars = 1023;

constexpr std::string_view BitmapComment = "// Bitmaps";
constexpr std::string_view EntityComment = "// Entity:: name ...";

// ---------------------------------------------------------------------------------------------------
// BitmapName (32 bytes) <-> "Bitmap[%3d]: %s"
// ---------------------------------------------------------------------------------------------------

void formatBitmapLine(TextWriter& out, uint64_t index, const uint8_t* name) {
    out.text("Bitmap[").integer(static_cast<int64_t>(index), 3).text("]: ");
    out.name(name, ModelNameSize, 0).endLine();
}

// The name is the first word after the colon: spaces before it are skipped and the next space ends it.
BitmapName parseBitmapLine(const std::string& line) {
    std::string_view name = model_text::skipLeadingSpaces(model_text::afterFirstColon(line).value_or(""));
    name = name.substr(0, name.find(' '));
    BitmapName bitmap;
    model_text::storeName(bitmap.bytes.data(), ModelNameSize, name);
    return bitmap;
}

// ---------------------------------------------------------------------------------------------------
// R7pEntity (88 bytes) <-> "Entity[%4d]: %32s: " + 7 x "%12f" + 11 x "%6d"
// ---------------------------------------------------------------------------------------------------

void formatEntityLine(TextWriter& out, uint64_t index, const R7pEntity& e) {
    out.text("Entity[").integer(static_cast<int64_t>(index), 4).text("]: ");
    out.name(e.name.data(), ModelNameSize, 32).text(":");
    for (float value : e.reals) out.text(" ").fixed(value, 12, 6);
    for (int32_t value : e.integers) out.text(" ").integer(value, 6);
    for (int16_t value : e.shorts) out.text(" ").integer(value, 6);
    out.endLine();
}

R7pEntity parseEntityLine(const std::string& line) {
    R7pEntity e;
    const model_text::EntityLineParts parts = model_text::splitEntityLine(line);
    model_text::storeName(e.name.data(), ModelNameSize, model_text::skipLeadingSpaces(parts.name));

    Scanner scan(parts.numbers);
    for (float& value : e.reals) scan.scanFloat(value);
    for (int32_t& value : e.integers) scan.scanInt(value);
    for (int16_t& value : e.shorts) {
        int32_t full = 0;
        scan.scanInt(full);
        value = static_cast<int16_t>(full);
    }
    return e;
}

// ---------------------------------------------------------------------------------------------------
// R7pMeshHeader (three int16) <-> "Vertices: %d", "Faces: %d", "Bitmap: %d"
// ---------------------------------------------------------------------------------------------------

void formatMeshHeaderLines(TextWriter& out, const R7pMeshHeader& mesh) {
    out.text("Vertices: ").integer(mesh.vertexCount, 0).endLine();
    out.text("Faces: ").integer(mesh.faceCount, 0).endLine();
    out.text("Bitmap: ").integer(mesh.bitmap, 0).endLine();
}

// The first of the three lines has been read; a missing second or third line reads as empty.
R7pMeshHeader parseMeshHeaderLines(LineReader& in) {
    R7pMeshHeader mesh;
    mesh.vertexCount = static_cast<int16_t>(model_text::scanLabelledInt(in.line()));
    in.next();
    mesh.faceCount = static_cast<int16_t>(model_text::scanLabelledInt(in.line()));
    in.next();
    mesh.bitmap = static_cast<int16_t>(model_text::scanLabelledInt(in.line()));
    return mesh;
}

// ---------------------------------------------------------------------------------------------------
// ModelVertex (40 bytes) <-> "Vertex[%3d]: " + 10 x "%12f"
// ---------------------------------------------------------------------------------------------------

void formatVertexLine(TextWriter& out, int index, const ModelVertex& vertex) {
    out.text("Vertex[").integer(index, 3).text("]:");
    for (float value : modelVertexValues(vertex)) out.text(" ").fixed(value, 12, 6);
    out.endLine();
}

ModelVertex parseVertexLine(const std::string& line) {
    std::array<float, ModelVertexValues> values{};
    if (auto numbers = model_text::afterFirstColon(line)) {
        Scanner scan(numbers->data());
        for (float& value : values) scan.scanFloat(value);
    }
    return modelVertexFromValues(values);
}

// ---------------------------------------------------------------------------------------------------
// Face (three uint16) <-> "Face[%3d]: %3d %3d %3d"
// ---------------------------------------------------------------------------------------------------

void formatFaceLine(TextWriter& out, int index, const R7pFace& face) {
    out.text("Face[").integer(index, 3).text("]: ");
    out.integer(face.indices[0], 3).text(" ").integer(face.indices[1], 3).text(" ").integer(face.indices[2], 3);
    out.endLine();
}

R7pFace parseFaceLine(const std::string& line) {
    int32_t values[3] = {};
    if (auto numbers = model_text::afterFirstColon(line)) {
        Scanner scan(numbers->data());
        for (int32_t& value : values) scan.scanInt(value);
    }
    R7pFace face;
    for (size_t i = 0; i < face.indices.size(); ++i) face.indices[i] = static_cast<uint16_t>(values[i]);
    return face;
}

// ---------------------------------------------------------------------------------------------------
// Streaming the binary form into text
// ---------------------------------------------------------------------------------------------------

// Writes one mesh; false when the file ended inside it.
bool streamMesh(platform::File& model, TextWriter& out) {
    uint8_t record[ModelVertexSize];
    if (!model_text::readRecord(model, record, R7pMeshHeaderSize)) return false;
    const R7pMeshHeader mesh = loadR7pMeshHeader(record);
    formatMeshHeaderLines(out, mesh);
    // A negative count reads nothing.
    for (int k = 0; k < mesh.vertexCount; ++k) {
        if (!model_text::readRecord(model, record, ModelVertexSize)) return false;
        formatVertexLine(out, k, loadModelVertex(record));
    }
    for (int k = 0; k < mesh.faceCount; ++k) {
        if (!model_text::readRecord(model, record, R7pFaceSize)) return false;
        formatFaceLine(out, k, loadR7pFace(record));
    }
    return true;
}

void streamModel(platform::File& model, TextWriter& out) {
    uint8_t record[R7pEntitySize] = {};
    model.read(record, ModelHeaderSize);
    const ModelHeader header = loadModelHeader(record);
    model_text::formatModelHeaderLines(out, header);

    out.text(BitmapComment).endLine();
    for (uint32_t i = 0; i < header.NumBitmaps; ++i) {
        if (!model_text::readRecord(model, record, BitmapNameSize)) return;
        formatBitmapLine(out, i, record);
    }
    out.text(EntityComment).endLine();
    for (uint32_t i = 0; i < header.NumEntities; ++i) {
        if (!model_text::readRecord(model, record, R7pEntitySize)) return;
        const R7pEntity entity = loadR7pEntity(record);
        formatEntityLine(out, i, entity);
        for (int m = 0; m < entity.meshCount(); ++m) {
            if (!streamMesh(model, out)) return;
        }
    }
}

// ---------------------------------------------------------------------------------------------------
// Parsing the text form
// ---------------------------------------------------------------------------------------------------

void parseText(platform::File& text, platform::File& model) {
    LineReader in(text, LineChars);

    const ModelHeader header = model_text::parseModelHeaderLines(in);
    uint8_t record[R7pEntitySize];
    storeModelHeader(record, header);
    model.write(record, ModelHeaderSize);

    // Every record starts on a line of its own and reading stops with the text, so a forged count
    // cannot make the output larger than the text justifies.
    in.next();
    for (uint32_t i = 0; i < header.NumBitmaps && in.next(); ++i) {
        model.write(parseBitmapLine(in.line()).bytes.data(), BitmapNameSize);
    }
    in.next();
    for (uint32_t i = 0; i < header.NumEntities && in.next(); ++i) {
        const R7pEntity entity = parseEntityLine(in.line());
        storeR7pEntity(record, entity);
        model.write(record, R7pEntitySize);
        for (int m = 0; m < entity.meshCount() && in.next(); ++m) {
            const R7pMeshHeader mesh = parseMeshHeaderLines(in);
            storeR7pMeshHeader(record, mesh);
            model.write(record, R7pMeshHeaderSize);
            for (int k = 0; k < mesh.vertexCount && in.next(); ++k) {
                storeModelVertex(record, parseVertexLine(in.line()));
                model.write(record, ModelVertexSize);
            }
            for (int k = 0; k < mesh.faceCount && in.next(); ++k) {
                storeR7pFace(record, parseFaceLine(in.line()));
                model.write(record, R7pFaceSize);
            }
        }
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// The two converters
// ---------------------------------------------------------------------------------------------------

ConversionResult convertR7pToText(platform::File& model, platform::File& text) {
    return model_text::convertToText(model, text, streamModel);
}

ConversionResult convertTextToR7p(platform::File& text, platform::File& model) {
    return model_text::convertToModel(text, model, parseText);
}

bool convertR7pToText(const std::string& modelPath, const std::string& textPath) {
    return model_text::convertPaths(modelPath, textPath, model_text::Output::Text, convertR7pToText);
}

bool convertTextToR7p(const std::string& modelPath, const std::string& textPath) {
    return model_text::convertPaths(modelPath, textPath, model_text::Output::Model, convertTextToR7p);
}

}  // namespace bxa
