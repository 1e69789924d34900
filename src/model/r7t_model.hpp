// R7T models: a list of named entities and one geometry record per entity, and their editable text form.
//
// Binary form, in order, no padding:
//   uint8 NumRecords (R), R x 32-byte NUL-padded names, uint8 headerByte (carried through),
//   R x R7tRecord: uint16 numVertices (v), uint16 numFaces (f), uint8 recordValue (carried through),
//                  v x R7tVertex (eight float32), uint8 indexWidthFlag,
//                  f x three indices: int16 each when the flag is 0, uint8 each otherwise.
//
// Text form (CR LF line ends): "NumRecords: %6d", "Entity[%3d]: %32s" lines, "??: %6d", then per record
// a "\\ Start Record" line, "numVertices: %6d", "numFaces:    %6d", "Record:      %6d",
// "Vertex[%4d]:" lines of eight "%12f", "??: %d", "Face[%3d]: %4d %4d %4d" lines and "\\ End Record".
// Floats pass through rounded to six decimals; integers exactly.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "model/conversion_result.hpp"
#include "platform/file.hpp"

namespace bxa {

inline constexpr size_t R7tNameSize = 32;
inline constexpr size_t R7tRecordHeaderSize = 5;  // numVertices, numFaces, recordValue
inline constexpr size_t R7tVertexSize = 32;
inline constexpr size_t R7tVertexValues = 8;

struct R7tRecordHeader {
    uint16_t numVertices = 0;
    uint16_t numFaces = 0;
    uint8_t recordValue = 0;  // label "Record"
};

// Eight float32, carried through as numbers.
struct R7tVertex {
    std::array<float, R7tVertexValues> values{};
};

// Three vertex indices, 0 to 255 in a record whose indexWidthFlag is not 0 (one byte each), else signed
// 16-bit numbers (two bytes each).
struct R7tFace {
    std::array<int16_t, 3> indices{};
};

// The bytes of one face: 3 when indexWidthFlag is not 0, else 6.
size_t r7tFaceSize(uint8_t indexWidthFlag);

// The records' bytes (R7tRecordHeaderSize, R7tVertexSize or r7tFaceSize(indexWidthFlag) of them at `p`);
// every bit pattern is a valid record. storeR7tFace keeps the low 8 bits of each index when the flag asks
// for one-byte indices.
R7tRecordHeader loadR7tRecordHeader(const uint8_t* p);
void storeR7tRecordHeader(uint8_t* p, const R7tRecordHeader& header);
R7tVertex loadR7tVertex(const uint8_t* p);
void storeR7tVertex(uint8_t* p, const R7tVertex& vertex);
R7tFace loadR7tFace(const uint8_t* p, uint8_t indexWidthFlag);
void storeR7tFace(uint8_t* p, const R7tFace& face, uint8_t indexWidthFlag);

// ---------------------------------------------------------------------------------------------------
// The converters, over open files and over paths (their files and messages: conversion_result.hpp)
// ---------------------------------------------------------------------------------------------------

// Writes the text form of the binary model `model` to `text`.
//
// Streams in constant memory. Hostile input: an empty file reads as NumRecords 0; otherwise the text
// stops after the last whole field or record when the file ends early. A name with no NUL in its 32
// bytes is printed as exactly those 32 bytes.
ConversionResult convertR7tToText(platform::File& model, platform::File& text);

// Parses the text form `text` into the binary model `model`.
//
// Streams in constant memory. Reads by line position only; counts come from the lines that carry them
// and only their low 8 or 16 bits are written. A missing or unparsable number reads as 0 (so a record
// whose "??" line holds no number gets 16-bit indices); a line without a colon where one is expected holds
// no name and no numbers; lines are cut at 1,023 characters; names are cut to 32 bytes. When the text
// ends before the counts are met no further record is written (the NumRecords byte always is; lines
// missing inside a started record read as empty), so after that byte the model holds at most 32 bytes
// per line of text.
ConversionResult convertTextToR7t(platform::File& text, platform::File& model);

bool convertR7tToText(const std::string& modelPath, const std::string& textPath);
bool convertTextToR7t(const std::string& modelPath, const std::string& textPath);

}  // namespace bxa
