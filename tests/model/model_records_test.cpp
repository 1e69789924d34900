// The binary records as another program reads them: each load/store pair gives back the bytes it was
// handed, whatever they are, and the fields lie where the layouts put them.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "model/r7d_model.hpp"
#include "model/r7p_model.hpp"
#include "model/r7t_model.hpp"

namespace bxa {
namespace {

std::vector<uint8_t> randomBytes(std::mt19937& rng, size_t size) {
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
}

template <typename Load, typename Store>
void expectBytesSurvive(size_t size, Load load, Store store) {
    std::mt19937 rng(static_cast<unsigned>(size));
    for (int round = 0; round < 200; ++round) {
        const std::vector<uint8_t> bytes = randomBytes(rng, size);
        std::vector<uint8_t> back(size, 0xEE);
        store(back.data(), load(bytes.data()));
        ASSERT_EQ(back, bytes) << "record of " << size << " bytes, round " << round;
    }
}

TEST(ModelRecords, EveryRecordStoresBackTheBytesItWasLoadedFrom) {
    expectBytesSurvive(ModelHeaderSize, loadModelHeader, storeModelHeader);
    expectBytesSurvive(ModelVertexSize, loadModelVertex, storeModelVertex);
    expectBytesSurvive(BitmapNameSize, loadBitmapName, storeBitmapName);
    expectBytesSurvive(R7dFaceSize, loadR7dFace, storeR7dFace);
    expectBytesSurvive(R7dEntitySize, loadR7dEntity, storeR7dEntity);
    expectBytesSurvive(R7pEntitySize, loadR7pEntity, storeR7pEntity);
    expectBytesSurvive(R7pMeshHeaderSize, loadR7pMeshHeader, storeR7pMeshHeader);
    expectBytesSurvive(R7pFaceSize, loadR7pFace, storeR7pFace);
    expectBytesSurvive(R7tRecordHeaderSize, loadR7tRecordHeader, storeR7tRecordHeader);
    expectBytesSurvive(R7tVertexSize, loadR7tVertex, storeR7tVertex);
    for (int flagValue : {0, 1, 255}) {
        const auto flag = static_cast<uint8_t>(flagValue);
        expectBytesSurvive(
            r7tFaceSize(flag), [flag](const uint8_t* p) { return loadR7tFace(p, flag); },
            [flag](uint8_t* p, const R7tFace& face) { storeR7tFace(p, face, flag); });
    }
}

TEST(ModelRecords, FieldsLieAtTheirOffsets) {
    std::vector<uint8_t> bytes(R7dEntitySize, 0);
    bytes[0] = 'W';
    bytes[60] = 7;                       // entityID
    bytes[76] = 0xFF, bytes[77] = 0xFF;  // numFaces, int16
    bytes[82] = 3;                       // firstVertexIndex
    bytes[95] = 0x80;                    // unknown4's top byte
    const R7dEntity entity = loadR7dEntity(bytes.data());
    EXPECT_EQ(entity.name[0], 'W');
    EXPECT_EQ(entity.entityID, 7);
    EXPECT_EQ(entity.numFaces, -1);
    EXPECT_EQ(entity.firstVertexIndex, 3);
    EXPECT_EQ(entity.unknown4, INT32_MIN);

    std::vector<uint8_t> r7p(R7pEntitySize, 0);
    r7p[82] = 2;  // value 16
    r7p[60] = 0xFE, r7p[61] = 0xFF, r7p[62] = 0xFF, r7p[63] = 0xFF;
    const R7pEntity part = loadR7pEntity(r7p.data());
    EXPECT_EQ(part.meshCount(), 2);
    EXPECT_EQ(part.integers[0], -2);

    const uint8_t face[6] = {0xFF, 0x01, 0x02, 0x80, 0x03, 0x00};
    EXPECT_EQ(loadR7tFace(face, 1).indices, (std::array<int16_t, 3>{255, 1, 2}));
    EXPECT_EQ(loadR7tFace(face, 0).indices, (std::array<int16_t, 3>{0x01FF, -32766, 3}));
    EXPECT_EQ(loadR7pFace(face).indices, (std::array<uint16_t, 3>{0x01FF, 0x8002, 3}));
    const R7dFace r7dFace = loadR7dFace(face);
    EXPECT_EQ(r7dFace.vertexB, -32766);
    EXPECT_EQ(r7dFace.bitmapIndex, 0);
}

}  // namespace
}  // namespace bxa
