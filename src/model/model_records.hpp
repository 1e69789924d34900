// The records that the R7D and R7P binary forms share: the 16-byte model header, the 40-byte vertex and
// the 32-byte bitmap name. All little-endian; floats are IEEE 754 single precision.
//
// Each record has a load function that reads it from its bytes and a store function that writes them;
// `p` must point at the record's whole size. Every bit pattern is a valid record.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/byte_order.hpp"

namespace bxa {

// Four uint32 counts. In R7D they size the four tables; in R7P only NumBitmaps and NumEntities do.
struct ModelHeader {
    uint32_t NumVertices = 0;
    uint32_t NumFaces = 0;
    uint32_t NumBitmaps = 0;
    uint32_t NumEntities = 0;
};
inline constexpr size_t ModelHeaderSize = 16;

inline ModelHeader loadModelHeader(const uint8_t* p) {
    return {loadUint32(p), loadUint32(p + 4), loadUint32(p + 8), loadUint32(p + 12)};
}

inline void storeModelHeader(uint8_t* p, const ModelHeader& header) {
    storeUint32(p, header.NumVertices);
    storeUint32(p + 4, header.NumFaces);
    storeUint32(p + 8, header.NumBitmaps);
    storeUint32(p + 12, header.NumEntities);
}

// Ten float32 in this order; the two unused values are carried through as numbers.
struct ModelVertex {
    float X = 0, Y = 0, Z = 0, unused1 = 0;
    float normalX = 0, normalY = 0, normalZ = 0, unused2 = 0;
    float textureU = 0, textureV = 0;
};
inline constexpr size_t ModelVertexSize = 40;
inline constexpr size_t ModelVertexValues = 10;

inline ModelVertex modelVertexFromValues(const std::array<float, ModelVertexValues>& v) {
    return {v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]};
}

inline std::array<float, ModelVertexValues> modelVertexValues(const ModelVertex& v) {
    return {v.X, v.Y, v.Z, v.unused1, v.normalX, v.normalY, v.normalZ, v.unused2, v.textureU, v.textureV};
}

inline ModelVertex loadModelVertex(const uint8_t* p) {
    std::array<float, ModelVertexValues> values;
    for (size_t i = 0; i < ModelVertexValues; ++i) values[i] = loadFloat32(p + 4 * i);
    return modelVertexFromValues(values);
}

inline void storeModelVertex(uint8_t* p, const ModelVertex& vertex) {
    auto values = modelVertexValues(vertex);
    for (size_t i = 0; i < ModelVertexValues; ++i) storeFloat32(p + 4 * i, values[i]);
}

// A bitmap name as 8-bit text, NUL-padded; a name of 32 bytes has no NUL.
inline constexpr size_t ModelNameSize = 32;
struct BitmapName {
    std::array<uint8_t, ModelNameSize> bytes{};
};
inline constexpr size_t BitmapNameSize = ModelNameSize;

inline BitmapName loadBitmapName(const uint8_t* p) {
    BitmapName name;
    std::copy(p, p + BitmapNameSize, name.bytes.begin());
    return name;
}

inline void storeBitmapName(uint8_t* p, const BitmapName& name) {
    std::copy(name.bytes.begin(), name.bytes.end(), p);
}

}  // namespace bxa
