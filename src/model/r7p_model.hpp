// R7P models: entities, each directly followed by its meshes, and their editable text form.
//
// Binary form, in order, no padding:
//   ModelHeader (16 bytes; only NumBitmaps and NumEntities shape the file, the other two are carried)
//   NumBitmaps x BitmapName (32 bytes)
//   NumEntities x { R7pEntity (88 bytes), then meshCount x R7pMesh }
//   R7pMesh: int16 v, int16 f, int16 bitmap; v x ModelVertex (40 bytes); f x three uint16 indices
//
// Text form (CR LF line ends): the four count lines, "// Bitmaps", "Bitmap[%3d]: name" lines,
// "// Entity:: name ...", then per entity "Entity[%4d]: %32s: " with eighteen values and, per mesh,
// "Vertices: %d", "Faces: %d", "Bitmap: %d", "Vertex[%3d]:" lines of ten "%12f" and
// "Face[%3d]: %3d %3d %3d" lines. Floats pass through rounded to six decimals; integers exactly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/conversion_result.hpp"
#include "model/model_records.hpp"
#include "platform/file.hpp"

namespace bxa {

// Apart from the name the fields are known only by their position on the text line (values 1 to 18).
struct R7pEntity {
    std::array<uint8_t, ModelNameSize> name{};
    std::array<float, 7> reals{};       // values 1 to 7, offsets 32 to 56
    std::array<int32_t, 3> integers{};  // values 8 to 10, offsets 60 to 68
    std::array<int16_t, 8> shorts{};    // values 11 to 18, offsets 72 to 86
    // Value 16: the number of meshes that follow the entity record.
    int16_t meshCount() const { return shorts[5]; }
};
inline constexpr size_t R7pEntitySize = 88;

struct R7pMeshHeader {
    int16_t vertexCount = 0;  // label "Vertices"
    int16_t faceCount = 0;    // label "Faces"
    int16_t bitmap = 0;       // label "Bitmap", carried through
};
inline constexpr size_t R7pMeshHeaderSize = 6;

// Three vertex indices into the mesh's own vertices.
struct R7pFace {
    std::array<uint16_t, 3> indices{};
};
inline constexpr size_t R7pFaceSize = 6;

// The records' bytes (R7pEntitySize, R7pMeshHeaderSize or R7pFaceSize of them at `p`); every bit pattern
// is a valid record. A mesh's vertices are ModelVertex records (model_records.hpp).
R7pEntity loadR7pEntity(const uint8_t* p);
void storeR7pEntity(uint8_t* p, const R7pEntity& entity);
R7pMeshHeader loadR7pMeshHeader(const uint8_t* p);
void storeR7pMeshHeader(uint8_t* p, const R7pMeshHeader& mesh);
R7pFace loadR7pFace(const uint8_t* p);
void storeR7pFace(uint8_t* p, const R7pFace& face);

// ---------------------------------------------------------------------------------------------------
// The converters, over open files and over paths (their files and messages: conversion_result.hpp)
// ---------------------------------------------------------------------------------------------------

// Writes the text form of the binary model `model` to `text`.
//
// Streams in constant memory. Hostile input: a header shorter than 16 bytes reads its missing bytes as
// zero; the text stops after the last whole record when the file ends early; a negative meshCount,
// vertex count or face count is printed as it is and reads no records. A name with no NUL in its 32
// bytes is printed as exactly those 32 bytes.
ConversionResult convertR7pToText(platform::File& model, platform::File& text);

// Parses the text form `text` into the binary model `model`.
//
// Streams in constant memory. Reads by line position only; counts come from the lines that carry them
// (the header's third and fourth lines, value 16 of each entity line, each mesh's "Vertices" and "Faces"
// lines, as signed 16-bit numbers, so a negative count reads no lines). A missing or unparsable number
// reads as 0 (it ends its line's numbers); a line without a colon where one is expected holds no name and
// no numbers; lines are cut at 1,023 characters; a bitmap name is the first space-delimited word after the
// colon; names are cut to 32 bytes. When the text ends before the counts are met no further record is
// written (the 16-byte header always is; lines missing inside a started mesh header read as empty), so
// after the header the model holds at most 88 bytes per line of text.
ConversionResult convertTextToR7p(platform::File& text, platform::File& model);

bool convertR7pToText(const std::string& modelPath, const std::string& textPath);
bool convertTextToR7p(const std::string& modelPath, const std::string& textPath);

}  // namespace bxa
