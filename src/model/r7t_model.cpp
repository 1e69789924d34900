#include "model/r7t_model.hpp"

#include <array>

#include "model/model_text.hpp"
#include "platform/byte_order.hpp"

namespace bxa {

// ---------------------------------------------------------------------------------------------------
// The binary records
// ---------------------------------------------------------------------------------------------------

namespace {
bool hasByteIndices(uint8_t indexWidthFlag) { return indexWidthFlag != 0; }
}  // namespace

size_t r7tFaceSize(uint8_t indexWidthFlag) { return hasByteIndices(indexWidthFlag) ? 3 : 6; }

R7tRecordHeader loadR7tRecordHeader(const uint8_t* p) { return {loadUint16(p), loadUint16(p + 2), p[4]}; }

void storeR7tRecordHeader(uint8_t* p, const R7tRecordHeader& header) {
    storeUint16(p, header.numVertices);
    storeUint16(p + 2, header.numFaces);
    p[4] = header.recordValue;
}

R7tVertex loadR7tVertex(const uint8_t* p) {
    R7tVertex vertex;
    for (size_t i = 0; i < R7tVertexValues; ++i) vertex.values[i] = loadFloat32(p + 4 * i);
    return vertex;
}

void storeR7tVertex(uint8_t* p, const R7tVertex& vertex) {
    for (size_t i = 0; i < R7tVertexValues; ++i) storeFloat32(p + 4 * i, vertex.values[i]);
}

R7tFace loadR7tFace(const uint8_t* p, uint8_t indexWidthFlag) {
    R7tFace face;
    for (size_t i = 0; i < face.indices.size(); ++i) {
        face.indices[i] = hasByteIndices(indexWidthFlag) ? int16_t{p[i]} : loadInt16(p + 2 * i);
    }
    return face;
}

void storeR7tFace(uint8_t* p, const R7tFace& face, uint8_t indexWidthFlag) {
    for (size_t i = 0; i < face.indices.size(); ++i) {
        if (hasByteIndices(indexWidthFlag)) {
            p[i] = static_cast<uint8_t>(face.indices[i]);
        } else {
            storeInt16(p + 2 * i, face.indices[i]);
        }
    }
}

namespace {

using model_text::Scanner;
using platform::LineReader;
using model_text::TextWriter;

// A line buffer of 1,024 bytes holds 1,023 characters of a line.
constexpr size_t LineChars = 1023;

constexpr std::string_view StartLine = "\\\\ Start Record";
constexpr std::string_view EndLine = "\\\\ End Record";

// ---------------------------------------------------------------------------------------------------
// NumRecords and headerByte (uint8 each) <-> "NumRecords: %6d", "??: %6d"
// ---------------------------------------------------------------------------------------------------

void formatCountLine(TextWriter& out, std::string_view label, uint8_t value) {
    out.text(label).integer(value, 6).endLine();
}

uint8_t parseByteLine(const std::string& line) { return static_cast<uint8_t>(model_text::scanLabelledInt(line)); }

// ---------------------------------------------------------------------------------------------------
// Entity name (32 bytes) <-> "Entity[%3d]: %32s"
// ---------------------------------------------------------------------------------------------------

void formatEntityLine(TextWriter& out, int index, const uint8_t* name) {
    out.text("Entity[").integer(index, 3).text("]: ").name(name, R7tNameSize, 32).endLine();
}

// The name is everything after the first colon, less leading spaces; colons and inner spaces stay.
void parseEntityLine(const std::string& line, uint8_t* name) {
    model_text::storeName(name, R7tNameSize, model_text::skipLeadingSpaces(model_text::afterFirstColon(line).value_or("")));
}

// ---------------------------------------------------------------------------------------------------
// R7tRecordHeader (5 bytes) <-> "numVertices: %6d", "numFaces:    %6d", "Record:      %6d"
// ---------------------------------------------------------------------------------------------------

void formatRecordHeaderLines(TextWriter& out, const R7tRecordHeader& header) {
    out.text("numVertices: ").integer(header.numVertices, 6).endLine();
    out.text("numFaces:    ").integer(header.numFaces, 6).endLine();
    out.text("Record:      ").integer(header.recordValue, 6).endLine();
}

// Reads the three lines; a missing one reads as empty.
R7tRecordHeader parseRecordHeaderLines(LineReader& in) {
    R7tRecordHeader header;
    in.next();
    header.numVertices = static_cast<uint16_t>(model_text::scanLabelledInt(in.line()));
    in.next();
    header.numFaces = static_cast<uint16_t>(model_text::scanLabelledInt(in.line()));
    in.next();
    header.recordValue = static_cast<uint8_t>(model_text::scanLabelledInt(in.line()));
    return header;
}

// ---------------------------------------------------------------------------------------------------
// R7tVertex (eight float32) <-> "Vertex[%4d]: " + 8 x "%12f"
// ---------------------------------------------------------------------------------------------------

void formatVertexLine(TextWriter& out, int index, const R7tVertex& vertex) {
    out.text("Vertex[").integer(index, 4).text("]:");
    for (float value : vertex.values) out.text(" ").fixed(value, 12, 6);
    out.endLine();
}

R7tVertex parseVertexLine(const std::string& line) {
    R7tVertex vertex;
    if (auto numbers = model_text::afterFirstColon(line)) {
        Scanner scan(numbers->data());
        for (float& value : vertex.values) scan.scanFloat(value);
    }
    return vertex;
}

// ---------------------------------------------------------------------------------------------------
// indexWidthFlag (uint8) <-> "??: %d"; a face (3 x uint8 or 3 x int16) <-> "Face[%3d]: %4d %4d %4d"
// ---------------------------------------------------------------------------------------------------

void formatFlagLine(TextWriter& out, uint8_t indexWidthFlag) {
    out.text("??: ").integer(indexWidthFlag, 0).endLine();
}

void formatFaceLine(TextWriter& out, int index, const R7tFace& face) {
    out.text("Face[").integer(index, 3).text("]:");
    for (int16_t value : face.indices) out.text(" ").integer(value, 4);
    out.endLine();
}

// Each number keeps its low 16 bits here, and storeR7tFace its low 8 bits for one-byte indices.
R7tFace parseFaceLine(const std::string& line) {
    int32_t values[3] = {};
    if (auto numbers = model_text::afterFirstColon(line)) {
        Scanner scan(numbers->data());
        for (int32_t& value : values) scan.scanInt(value);
    }
    R7tFace face;
    for (size_t i = 0; i < face.indices.size(); ++i) face.indices[i] = static_cast<int16_t>(values[i]);
    return face;
}

// ---------------------------------------------------------------------------------------------------
// Streaming the binary form into text
// ---------------------------------------------------------------------------------------------------

// Writes one record; false when the file ended inside it.
bool streamRecord(platform::File& model, TextWriter& out) {
    uint8_t bytes[R7tVertexSize];
    if (!model_text::readRecord(model, bytes, R7tRecordHeaderSize)) return false;
    const R7tRecordHeader header = loadR7tRecordHeader(bytes);
    out.text(StartLine).endLine();
    formatRecordHeaderLines(out, header);
    for (int k = 0; k < header.numVertices; ++k) {
        if (!model_text::readRecord(model, bytes, R7tVertexSize)) return false;
        formatVertexLine(out, k, loadR7tVertex(bytes));
    }
    uint8_t indexWidthFlag = 0;
    if (!model_text::readRecord(model, &indexWidthFlag, 1)) return false;
    formatFlagLine(out, indexWidthFlag);
    for (int k = 0; k < header.numFaces; ++k) {
        if (!model_text::readRecord(model, bytes, r7tFaceSize(indexWidthFlag))) return false;
        formatFaceLine(out, k, loadR7tFace(bytes, indexWidthFlag));
    }
    out.text(EndLine).endLine();
    return true;
}

void streamModel(platform::File& model, TextWriter& out) {
    uint8_t numRecords = 0;
    model.read(&numRecords, 1);
    formatCountLine(out, "NumRecords: ", numRecords);
    uint8_t name[R7tNameSize];
    for (int i = 0; i < numRecords; ++i) {
        if (!model_text::readRecord(model, name, R7tNameSize)) return;
        formatEntityLine(out, i, name);
    }
    uint8_t headerByte = 0;
    if (!model_text::readRecord(model, &headerByte, 1)) return;
    formatCountLine(out, "??: ", headerByte);
    for (int r = 0; r < numRecords; ++r) {
        if (!streamRecord(model, out)) return;
    }
}

// ---------------------------------------------------------------------------------------------------
// Parsing the text form
// ---------------------------------------------------------------------------------------------------

void parseText(platform::File& text, platform::File& model) {
    LineReader in(text, LineChars);

    in.next();
    const uint8_t numRecords = parseByteLine(in.line());
    model.write(&numRecords, 1);

    // Every record starts on a line of its own and reading stops with the text, so the output stays
    // proportional to the text.
    uint8_t bytes[R7tVertexSize];
    for (int i = 0; i < numRecords && in.next(); ++i) {
        parseEntityLine(in.line(), bytes);
        model.write(bytes, R7tNameSize);
    }
    if (in.next()) {
        const uint8_t headerByte = parseByteLine(in.line());
        model.write(&headerByte, 1);
    }
    for (int r = 0; r < numRecords && in.next(); ++r) {
        const R7tRecordHeader header = parseRecordHeaderLines(in);
        storeR7tRecordHeader(bytes, header);
        model.write(bytes, R7tRecordHeaderSize);
        for (int k = 0; k < header.numVertices && in.next(); ++k) {
            storeR7tVertex(bytes, parseVertexLine(in.line()));
            model.write(bytes, R7tVertexSize);
        }
        in.next();
        const uint8_t indexWidthFlag = parseByteLine(in.line());
        model.write(&indexWidthFlag, 1);
        for (int k = 0; k < header.numFaces && in.next(); ++k) {
            storeR7tFace(bytes, parseFaceLine(in.line()), indexWidthFlag);
            model.write(bytes, r7tFaceSize(indexWidthFlag));
        }
        in.next();
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------------
// The two converters
// ---------------------------------------------------------------------------------------------------

ConversionResult convertR7tToText(platform::File& model, platform::File& text) {
    return model_text::convertToText(model, text, streamModel);
}

ConversionResult convertTextToR7t(platform::File& text, platform::File& model) {
    return model_text::convertToModel(text, model, parseText);
}

bool convertR7tToText(const std::string& modelPath, const std::string& textPath) {
    return model_text::convertPaths(modelPath, textPath, model_text::Output::Text, convertR7tToText);
}

bool convertTextToR7t(const std::string& modelPath, const std::string& textPath) {
    return model_text::convertPaths(modelPath, textPath, model_text::Output::Model, convertTextToR7t);
}

}  // namespace bxa
