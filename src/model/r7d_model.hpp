// R7D models: one flat mesh (vertex table, face table, bitmap names, entities) and its editable text form.
//
// Binary form, in order, no padding:
//   ModelHeader (16 bytes: NumVertices, NumFaces, NumBitmaps, NumEntities)
//   NumVertices x ModelVertex (40 bytes)
//   NumFaces    x R7dFace     (6 bytes: vertexA, vertexB, vertexC as int16)
//   NumBitmaps  x BitmapName  (32 bytes)
//   NumEntities x R7dEntity   (96 bytes)
//   NumFaces    x uint8       (the bitmapIndex of each face, in face order)
//
// Text form (CR LF line ends): four count lines, then each table behind one comment line: vertices as ten
// "%8.4f" values, faces as "Face[%4d]:%3d %3d %3d %3d // name", bitmaps as "Bitmap[%3d]:name", entities
// as "Entity[%3d]:%32s: " and eighteen values. Floats pass through rounded to four decimals; integers
// pass through exactly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/conversion_result.hpp"
#include "model/model_records.hpp"
#include "platform/file.hpp"

namespace bxa {

struct R7dFace {
    int16_t vertexA = 0;
    int16_t vertexB = 0;
    int16_t vertexC = 0;
    // Kept in the last section of the file, not in the 6-byte record. Selects a bitmap when it is below
    // the number of bitmaps; any other value (typically 255) means no bitmap.
    uint8_t bitmapIndex = 0;
};
inline constexpr size_t R7dFaceSize = 6;

struct R7dEntity {
    std::array<uint8_t, ModelNameSize> name{};
    float positionX = 0, positionY = 0, positionZ = 0, unused = 0;
    float rotateX = 0, rotateY = 0, rotateZ = 0;  // radians
    int32_t entityID = 0, unknown1 = 0, parentEntityID = 0, childEntityID = 0;
    int16_t numFaces = 0, firstFaceIndex = 0, numVertices = 0, firstVertexIndex = 0;
    int32_t unknown2 = 0, unknown3 = 0, unknown4 = 0;
};
inline constexpr size_t R7dEntitySize = 96;

// The records' bytes (R7dFaceSize or R7dEntitySize of them at `p`); every bit pattern is a valid record.
// A face's bitmapIndex is not among its bytes: loadR7dFace leaves it 0 and storeR7dFace ignores it.
R7dFace loadR7dFace(const uint8_t* p);
void storeR7dFace(uint8_t* p, const R7dFace& face);
R7dEntity loadR7dEntity(const uint8_t* p);
void storeR7dEntity(uint8_t* p, const R7dEntity& entity);

// ---------------------------------------------------------------------------------------------------
// The converters, over open files and over paths (their files and messages: conversion_result.hpp)
// ---------------------------------------------------------------------------------------------------

// Writes the text form of the binary model `model` to `text`.
//
// Streams in memory bounded whatever the counts and the size (under a megabyte with the files' buffers):
// each table is read in blocks, and the face lines pair each block of faces with its block of the
// bitmap-index table, seeked to; of the bitmap names only the 256 that an index byte can select are held.
//
// Hostile input: the four counts are printed as read (signed 32-bit; bytes missing from a short header
// read as zero), but each table lists only the records that are whole in the file (its length bounds
// every loop). Once a table runs past the end of the file the later tables are empty; a face whose
// bitmap-index byte is missing gets index 0. A name with no NUL in its 32 bytes is printed as exactly
// those 32 bytes.
ConversionResult convertR7dToText(platform::File& model, platform::File& text);

// Parses the text form `text` into the binary model `model`.
//
// Reads by line position only: no label or comment is checked, every count comes from the four count
// lines (low 32 bits of the number; 0 when a line holds none). A number that does not parse ends its
// line's numbers and it and the rest read as 0; a line without a colon where one is expected holds no
// name and no numbers. Lines longer than 32,767 characters are cut there; names are cut to 32 bytes.
// When the text ends before the counts are met, no further record is written (the 16-byte header
// always is), so after the header the model holds at most 96 bytes per line of text; the bitmap-index
// table then holds one byte per face written.
//
// Streams in memory bounded whatever the counts and the size: of the bitmap-index table, which comes
// last in the binary form, the first 1,048,576 bytes are held; the rest is written from a second reading
// of the later face lines (the text is seeked back to them), which sees exactly the lines of the first.
ConversionResult convertTextToR7d(platform::File& text, platform::File& model);

bool convertR7dToText(const std::string& modelPath, const std::string& textPath);
bool convertTextToR7d(const std::string& modelPath, const std::string& textPath);

}  // namespace bxa
