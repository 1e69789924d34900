// Reading binary models into meshes: groups, materials and corners for each kind, and what hostile
// bytes (out-of-range corners, counts beyond the data, negative counts, nan) come to.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "view/mesh_reader.hpp"
#include "view/view_test_support.hpp"

namespace bxa::test {
namespace {

using view::Mesh;
using view::ModelFormat;
using view::NoMaterial;

std::span<const uint8_t> span(const std::string& bytes) {
    return {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
}

Mesh read(ModelFormat format, const std::string& bytes, bool fromText = false) {
    return view::readMesh(format, span(bytes), fromText, "MODEL");
}

TestVertex at(float x, float y, float z) { return {{x, y, z}, {0, 0, 1}, {x, y}}; }

std::vector<TestVertex> square() { return {at(0, 0, 0), at(1, 0, 0), at(1, 1, 0), at(0, 1, 0)}; }

std::string warningsOf(const Mesh& mesh) {
    std::string all;
    for (const auto& w : mesh.warnings) {
        all +=
            (w.place.text ? "line " : "byte ") + std::to_string(w.place.position) + ": " + w.message + "\n";
    }
    return all;
}

// ---------------------------------------------------------------------------------------------------
// R7D
// ---------------------------------------------------------------------------------------------------

TEST(R7dMesh, EntitiesGroupTheirFaceRangesAndTheFirstEntityWinsAnOverlap) {
    R7dParts model{square(),
                  {{{0, 1, 2}, 0}, {{0, 2, 3}, 1}, {{1, 2, 3}, 255}, {{0, 1, 3}, 7}},
                  {"wall.bmp", "roof.bmp"},
                  {{"Front", 0, 2}, {"Back", 1, 2}}};
    Mesh mesh = read(ModelFormat::R7d, r7dBytes(model));
    ASSERT_EQ(mesh.vertices.size(), 4u);
    ASSERT_EQ(mesh.faces.size(), 4u);
    EXPECT_EQ(mesh.entityCount, 2u);
    EXPECT_EQ(mesh.groups, (std::vector<std::string>{"Front", "Back", "no entity"}));
    EXPECT_EQ(mesh.faces[0].group, 0u);
    EXPECT_EQ(mesh.faces[1].group, 0u);  // in both ranges
    EXPECT_EQ(mesh.faces[2].group, 1u);
    EXPECT_EQ(mesh.faces[3].group, 2u);  // in neither
    // Bitmap indices select a bitmap only below the number of bitmaps.
    EXPECT_EQ(mesh.faces[0].material, 0u);
    EXPECT_EQ(mesh.faces[1].material, 1u);
    EXPECT_EQ(mesh.faces[2].material, NoMaterial);
    EXPECT_EQ(mesh.faces[3].material, NoMaterial);
    EXPECT_EQ(mesh.bitmaps[1].name, "roof.bmp");
    EXPECT_EQ(mesh.faces[2].corners, (std::array<uint32_t, 3>{1, 2, 3}));
    EXPECT_EQ(mesh.vertices[2].texture, (std::array<float, 2>{1, 1}));
    EXPECT_EQ(mesh.warningCount, 0u) << warningsOf(mesh);
}

TEST(R7dMesh, WithoutEntitiesTheFacesFormOneGroupNamedAfterTheModel) {
    Mesh mesh = read(ModelFormat::R7d, r7dBytes({square(), {{{0, 1, 2}}}, {}, {}}));
    EXPECT_EQ(mesh.groups, std::vector<std::string>{"MODEL"});
}

TEST(R7dMesh, CornersOutsideTheVertexTableMakeBrokenFacesNamedByLineOrOffset) {
    R7dParts model{square(), {{{0, 1, 2}}, {{0, 2, 4}}, {{-1, 1, 2}}, {{9, 9, 9}}}, {}, {}};
    Mesh fromText = read(ModelFormat::R7d, r7dBytes(model), true);
    EXPECT_EQ(fromText.brokenFaceCount, 3u);
    EXPECT_FALSE(fromText.faces[0].broken());
    EXPECT_EQ(fromText.faces[1].outside, 0b100);
    EXPECT_EQ(fromText.faces[2].outside, 0b001);
    EXPECT_EQ(fromText.faces[3].outside, 0b111);
    // Lines 1-4 counts, 5 comment, 6-9 vertices, 10 comment, faces from line 11.
    ASSERT_EQ(fromText.warnings.size(), 3u);
    EXPECT_EQ(fromText.warnings[0].place.position, 12u);
    EXPECT_TRUE(fromText.warnings[0].place.text);
    EXPECT_EQ(fromText.warnings[0].message,
              "face 1 uses vertex 4, outside the 4 vertices of the vertex table");
    EXPECT_EQ(fromText.warnings[1].message,
              "face 2 uses vertex -1, outside the 4 vertices of the vertex table");
    EXPECT_EQ(fromText.faces[3].source, 14u);

    Mesh fromBinary = read(ModelFormat::R7d, r7dBytes(model), false);
    EXPECT_FALSE(fromBinary.warnings[0].place.text);
    EXPECT_EQ(fromBinary.warnings[0].place.position, 16u + 4 * 40 + 6);
}

TEST(R7dMesh, CountsBeyondTheFileReadTheWholeRecordsThereAre) {
    std::string bytes = r7dBytes({square(), {}, {}, {}});
    bytes.replace(0, 4, std::string("\xff\xff\xff\x7f", 4));  // 2,147,483,647 vertices announced
    bytes.resize(bytes.size() - 20);                          // and the last vertex cut in half
    Mesh mesh = read(ModelFormat::R7d, bytes, true);
    EXPECT_EQ(mesh.vertices.size(), 3u);
    EXPECT_LE(mesh.vertices.capacity(), 3u);
    EXPECT_TRUE(mesh.faces.empty());
    ASSERT_EQ(mesh.warnings.size(), 1u);
    EXPECT_EQ(mesh.warnings[0].place.position, 9u);
    EXPECT_EQ(mesh.warnings[0].message,
              "only 3 of the 2147483647 vertices that NumVertices gives are there: the text ends here");
}

TEST(R7dMesh, ATextCutInsideTheFacesKeepsTheBitmapIndicesOfTheFacesItHas) {
    // What the converter writes for a text whose face lines end early: the faces there are, then one
    // bitmap-index byte for each of them.
    R7dParts whole{square(), {{{0, 1, 2}, 0}, {{0, 2, 3}, 255}, {{1, 2, 3}, 0}}, {"wall.bmp"}, {}};
    std::string bytes = r7dBytes(whole).substr(0, 16 + 4 * 40 + 2 * 6);
    bytes += std::string("\x00\xff", 2);
    Mesh mesh = read(ModelFormat::R7d, bytes, true);
    ASSERT_EQ(mesh.faces.size(), 2u);
    EXPECT_TRUE(mesh.bitmaps.empty());
    EXPECT_EQ(mesh.warnings.at(0).message,
              "only 2 of the 3 faces that NumFaces gives are there: the text ends here");
    // No bitmaps were read, so neither index can select one; the faces still belong to the model.
    EXPECT_EQ(mesh.faces[0].material, NoMaterial);
    EXPECT_EQ(mesh.groups, std::vector<std::string>{"MODEL"});
}

TEST(R7dMesh, AnEntityRangeOutsideTheFacesIsCutAndWarnedAbout) {
    R7dParts model{square(),
                  {{{0, 1, 2}}, {{0, 2, 3}}},
                  {},
                  {{"Wide", 1, 30000}, {"Before", -5, 3}, {"Negative", 0, -2}}};
    Mesh mesh = read(ModelFormat::R7d, r7dBytes(model), true);
    EXPECT_EQ(mesh.faces[0].group, 3u);  // "no entity": Before reaches face -3 only
    EXPECT_EQ(mesh.faces[1].group, 0u);
    EXPECT_EQ(mesh.warningCount, 3u) << warningsOf(mesh);
    EXPECT_EQ(mesh.warnings[0].message, "entity \"Wide\" gives faces 1 to 30000, outside the 2 faces");
    // Counts 4, comment, 4 vertices, comment, 2 faces, comment, no bitmaps, comment: entities from line 15.
    EXPECT_EQ(mesh.warnings[0].place.position, 15u);
}

TEST(R7dMesh, ManyEntitiesOverManyFacesStayLinear) {
    // 3,000 entities each naming all 30,000 faces: giving each face its group once keeps this instant.
    R7dParts model{square(), std::vector<TestFace>(30000, TestFace{{0, 1, 2}}), {}, {}};
    for (int i = 0; i < 3000; ++i) model.entities.push_back({"E" + std::to_string(i), 0, 30000});
    Mesh mesh = read(ModelFormat::R7d, r7dBytes(model));
    EXPECT_EQ(mesh.faces.back().group, 0u);
    EXPECT_EQ(mesh.groups.size(), 3000u);
}

TEST(R7dMesh, AFileShorterThanItsHeaderIsAnEmptyModelWithAWarning) {
    Mesh mesh = read(ModelFormat::R7d, std::string(5, '\x01'));
    EXPECT_TRUE(mesh.vertices.empty());
    EXPECT_EQ(mesh.warnings.at(0).message, "the model ends inside its 16-byte header");
}

TEST(R7dMesh, ValuesThatAreNotFiniteBecomeZeroWithOneWarning) {
    auto vertices = square();
    vertices[1].position[0] = std::numeric_limits<float>::quiet_NaN();
    vertices[2].normal[2] = std::numeric_limits<float>::infinity();
    Mesh mesh = read(ModelFormat::R7d, r7dBytes({vertices, {{{0, 1, 2}}}, {}, {}}), true);
    EXPECT_EQ(mesh.vertices[1].position[0], 0.0f);
    EXPECT_EQ(mesh.vertices[2].normal[2], 0.0f);
    EXPECT_EQ(mesh.nonFiniteValues, 2u);
    ASSERT_EQ(mesh.warningCount, 1u);
    EXPECT_EQ(mesh.warnings[0].place.position, 7u);
}

TEST(R7dMesh, WarningsBeyondTheKeptOnesAreCounted) {
    R7dParts model{square(), std::vector<TestFace>(500, TestFace{{0, 1, 4}}), {}, {}};
    Mesh mesh = read(ModelFormat::R7d, r7dBytes(model));
    EXPECT_EQ(mesh.warnings.size(), view::MaxKeptWarnings);
    EXPECT_EQ(mesh.warningCount, 500u);
    EXPECT_EQ(mesh.brokenFaceCount, 500u);
}

// ---------------------------------------------------------------------------------------------------
// R7P
// ---------------------------------------------------------------------------------------------------

TEST(R7pMesh, FaceIndicesCountFromTheirMeshAndTheMeshBitmapSelectsTheMaterial) {
    MeshSpec first{{at(0, 0, 0), at(1, 0, 0), at(0, 1, 0)}, {{{0, 1, 2}}}, 1};
    MeshSpec second{{at(5, 0, 0), at(6, 0, 0), at(5, 1, 0)}, {{{2, 1, 0}}}, 4};
    Mesh mesh =
        read(ModelFormat::R7p, r7pBytes({"a.bmp", "b.bmp"}, {{"Hull", {first, second}}, {"Empty", {}}}));
    EXPECT_EQ(mesh.entityCount, 2u);
    ASSERT_EQ(mesh.faces.size(), 2u);
    EXPECT_EQ(mesh.faces[1].corners, (std::array<uint32_t, 3>{5, 4, 3}));
    EXPECT_EQ(mesh.faces[0].material, 1u);
    EXPECT_EQ(mesh.faces[1].material, NoMaterial);
    EXPECT_EQ(mesh.groups, (std::vector<std::string>{"Hull", "Empty"}));
    EXPECT_EQ(mesh.warningCount, 0u) << warningsOf(mesh);
}

TEST(R7pMesh, AnIndexPastItsOwnMeshIsBrokenEvenWhenTheModelHasThatManyVertices) {
    MeshSpec first{{at(0, 0, 0), at(1, 0, 0), at(0, 1, 0)}, {}, 0};
    MeshSpec second{{at(5, 0, 0), at(6, 0, 0), at(5, 1, 0)}, {{{0, 1, 3}}, {{0, 1, 65535}}}, 0};
    Mesh mesh = read(ModelFormat::R7p, r7pBytes({}, {{"Hull", {first, second}}}), true);
    EXPECT_EQ(mesh.brokenFaceCount, 2u);
    // Counts 1-4, two comments, the entity on line 7, mesh 0 on lines 8-13, mesh 1's header on 14-16 and
    // its vertices on 17-19: its faces from line 20.
    EXPECT_EQ(mesh.warnings.at(0).place.position, 20u);
    EXPECT_EQ(mesh.warnings[0].message,
              "face 0 uses vertex 3, outside the 3 vertices of mesh 1 of entity \"Hull\"");
    EXPECT_EQ(mesh.warnings[1].message,
              "face 1 uses vertex 65535, outside the 3 vertices of mesh 1 of entity \"Hull\"");
}

TEST(R7pMesh, NegativeCountsReadNothingAndSayWhere) {
    Bytes b;
    b.u32(0).u32(0).u32(0).u32(2);
    b.name("Minus").floats({0, 0, 0, 0, 0, 0, 0}).i32(0).i32(0).i32(0);
    for (int i = 0; i < 8; ++i) b.i16(i == 5 ? -3 : 0);
    b.name("Mesh").floats({0, 0, 0, 0, 0, 0, 0}).i32(0).i32(0).i32(0);
    for (int i = 0; i < 8; ++i) b.i16(i == 5 ? 1 : 0);
    b.i16(-1).i16(-32768).i16(0);
    Mesh mesh = read(ModelFormat::R7p, b.str(), true);
    EXPECT_EQ(mesh.entityCount, 2u);
    EXPECT_TRUE(mesh.vertices.empty());
    EXPECT_TRUE(mesh.faces.empty());
    EXPECT_EQ(warningsOf(mesh),
              "line 7: entity \"Minus\" has a negative mesh count (-3)\n"
              "line 9: mesh 0 of entity \"Mesh\" has a negative vertex or face count\n");
}

TEST(R7pMesh, AMeshCutShortEndsTheModelWithAWarning) {
    MeshSpec mesh3{{at(0, 0, 0), at(1, 0, 0), at(0, 1, 0)}, {{{0, 1, 2}}, {{0, 1, 2}}}, 0};
    std::string bytes = r7pBytes({"hull.bmp"}, {{"Hull", {mesh3}}, {"Next", {}}});
    bytes.resize(16 + 32 + 88 + 6 + 3 * 40 + 6 + 3);
    Mesh mesh = read(ModelFormat::R7p, bytes);
    EXPECT_EQ(mesh.faces.size(), 1u);
    EXPECT_EQ(mesh.entityCount, 1u);
    EXPECT_EQ(mesh.warnings.at(0).message,
              "only 1 of the 2 faces that the Faces line of mesh 0 of entity \"Hull\" gives are there: the "
              "file ends here");
}

TEST(R7pMesh, HugeEntityCountsEndWithTheFile) {
    Bytes b;
    b.u32(0).u32(0).u32(0xFFFFFFF0u).u32(0xFFFFFFFFu);
    Mesh bitmaps = read(ModelFormat::R7p, b.str());
    EXPECT_EQ(bitmaps.warnings.at(0).message,
              "only 0 of the -16 bitmaps that NumBitmaps gives are there: the file ends here");
    Bytes e;
    e.u32(0).u32(0).u32(0).u32(0x7FFFFFFFu).name("One").floats({0, 0, 0, 0, 0, 0, 0}).i32(0).i32(0).i32(0);
    for (int i = 0; i < 8; ++i) e.i16(0);
    Mesh entities = read(ModelFormat::R7p, e.str());
    EXPECT_EQ(entities.entityCount, 1u);
}

// ---------------------------------------------------------------------------------------------------
// R7T
// ---------------------------------------------------------------------------------------------------

TEST(R7tMesh, RecordsAreGroupsAndTheirEightValuesArePositionNormalTexture) {
    MeshSpec tree{{{{1, 2, 3}, {0, 1, 0}, {0.25f, 0.75f}}, at(0, 0, 0), at(1, 0, 0)}, {{{0, 1, 2}}}, 0};
    MeshSpec rock{{at(0, 0, 0), at(1, 0, 0), at(0, 1, 0)}, {{{2, 0, 1}}}, 0};
    for (bool narrow : {false, true}) {
        Mesh mesh = read(ModelFormat::R7t, r7tBytes({{"Tree", {tree}}, {"Rock", {rock}}}, narrow));
        EXPECT_EQ(mesh.groups, (std::vector<std::string>{"Tree", "Rock"}));
        EXPECT_EQ(mesh.entityCount, 2u);
        EXPECT_EQ(mesh.vertices[0].position, (std::array<float, 3>{1, 2, 3}));
        EXPECT_EQ(mesh.vertices[0].normal, (std::array<float, 3>{0, 1, 0}));
        EXPECT_EQ(mesh.vertices[0].texture, (std::array<float, 2>{0.25f, 0.75f}));
        ASSERT_EQ(mesh.faces.size(), 2u);
        EXPECT_EQ(mesh.faces[1].corners, (std::array<uint32_t, 3>{5, 3, 4}));
        EXPECT_EQ(mesh.faces[1].group, 1u);
        EXPECT_EQ(mesh.faces[1].material, NoMaterial);
        EXPECT_EQ(mesh.warningCount, 0u) << warningsOf(mesh);
    }
}

TEST(R7tMesh, SixteenBitMinusOneAndEightBitIndicesPastTheRecordAreBroken) {
    MeshSpec wide{{at(0, 0, 0), at(1, 0, 0), at(0, 1, 0)}, {{{0, 1, -1}}}, 0};
    Mesh mesh = read(ModelFormat::R7t, r7tBytes({{"Bush", {wide}}}, false), true);
    EXPECT_EQ(mesh.brokenFaceCount, 1u);
    // NumRecords, one name, ??, start, three values, three vertices, ??: the face is line 12.
    EXPECT_EQ(warningsOf(mesh),
              "line 12: face 0 uses vertex -1, outside the 3 vertices of record 0 (\"Bush\")\n");
    MeshSpec narrow{{at(0, 0, 0), at(1, 0, 0), at(0, 1, 0)}, {{{0, 1, 255}}}, 0};
    EXPECT_EQ(read(ModelFormat::R7t, r7tBytes({{"Bush", {narrow}}}, true)).brokenFaceCount, 1u);
}

TEST(R7tMesh, RecordsMissingFromTheFileEndTheModel) {
    std::string bytes = r7tBytes({{"Only", {MeshSpec{}}}}, true);
    bytes[0] = static_cast<char>(200);
    bytes.insert(1 + 32, std::string(199 * 32, '\0'));
    Mesh mesh = read(ModelFormat::R7t, bytes);
    EXPECT_EQ(mesh.entityCount, 1u);
    EXPECT_EQ(mesh.warnings.at(0).message,
              "only 1 of the 200 records that NumRecords gives are there: the file ends here");
    EXPECT_EQ(read(ModelFormat::R7t, "").warnings.at(0).message,
              "the model is empty: it has no NumRecords byte");
}

}  // namespace
}  // namespace bxa::test
