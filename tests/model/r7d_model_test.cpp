#include "model/r7d_model.hpp"
#include "model/r7p_model.hpp"
#include "model/r7t_model.hpp"

#include <random>

#include "model/model_test_support.hpp"

namespace bxa::test {
namespace {

class R7dModelTest : public ModelTest {
protected:
    std::string toText(std::string_view binary) { return ModelTest::toText(convertR7dToText, binary); }
    std::string toBinary(std::string_view text) { return ModelTest::toBinary(convertTextToR7d, text); }
};

// The entity part after the name, for an entity whose numbers are all zero.
constexpr std::string_view ZeroEntityTail =
    "   0.0000   0.0000   0.0000   0.0000   0.0000   0.0000   0.0000      0      0      0      0      0      0"
    "      0    0        0        0        0";

Bytes boxModel() {
    Bytes b;
    b.u32(3).u32(1).u32(1).u32(1);
    b.floats({0, 0, 0, 1, 0, 0, 1, 0, 0, 0}).floats({1, 0, 0, 1, 0, 0, 1, 0, 1, 0}).floats({0, 1, 0, 1, 0, 0, 1, 0, 0, 1});
    b.i16(0).i16(1).i16(2);
    b.name("wall.bmp");
    b.name("Box").floats({0.5f, 0.25f, 0, 0, 0, 1.5708f, 0}).i32(1).i32(0).i32(-1).i32(-1);
    b.i16(1).i16(0).i16(3).i16(0).i32(0).i32(0).i32(0);
    b.u8(0);
    return b;
}

// Header lines and the four comment lines of a model with the given tables.
std::string headerFor(int v, int f, int b, int e) {
    char text[200];
    std::snprintf(text, sizeof text, "NumVertices: %6d\r\nNumFaces: %6d\r\nNumBitmaps: %6d\r\nNumEntities: %6d\r\n", v, f, b, e);
    return text;
}

const std::string VertexComment = "// Vertex: X Y Z unused normalX normalY normalZ unused textureU textureV";
const std::string FaceComment = "// Face: vertexA vertexB vertexC bitmapIndex bitmapName(for information only)";
const std::string EntityComment =
    "// Entities: name positionX,Y,Z unused rotateX,Y,Z(radians) entityID ?? parentEntityID childEntityID "
    "numFaces firstFaceIndex numVertices firstVertexIndex ?? ?? ?? [best guess]";

// ---------------------------------------------------------------------------------------------------
// The worked example (a box with one face and one bitmap), both ways
// ---------------------------------------------------------------------------------------------------

TEST_F(R7dModelTest, BoxExampleTextFromBinaryByteForByte) {
    EXPECT_EQ(toText(boxModel()), golden("box.r7d.txt"));
}

TEST_F(R7dModelTest, BoxExampleBinaryFromTextByteForByte) {
    EXPECT_EQ(toBinary(golden("box.r7d.txt")), boxModel().str());
}

TEST_F(R7dModelTest, TextWithLfLineEndsParsesLikeCrLf) {
    std::string text = golden("box.r7d.txt");
    std::string lf;
    for (char c : text)
        if (c != '\r') lf.push_back(c);
    EXPECT_EQ(toBinary(lf), boxModel().str());
}

// ---------------------------------------------------------------------------------------------------
// Round trips
// ---------------------------------------------------------------------------------------------------

TEST_F(R7dModelTest, RoundTripKeepsEveryValueTheTextCanShow) {
    std::mt19937 rng(7);
    // Multiples of 1/16 have at most four decimals, so they pass through "%8.4f" exactly.
    auto value = [&] { return static_cast<float>(static_cast<int>(rng() % 200001) - 100000) / 16.0f; };
    auto any = [&] { return static_cast<int32_t>(rng()); };
    const int V = 50, F = 40, B = 3, E = 4;
    Bytes b;
    b.u32(V).u32(F).u32(B).u32(E);
    for (int i = 0; i < V * 10; ++i) b.f32(value());
    for (int i = 0; i < F * 3; ++i) b.i16(static_cast<int16_t>(any()));
    b.name("a.bmp").name(" spaced name: with colon").name(std::string(32, 'x'));
    for (int i = 0; i < E; ++i) {
        b.name(i == 0 ? std::string(32, 'N') : "Entity" + std::to_string(i));
        for (int k = 0; k < 7; ++k) b.f32(value());
        for (int k = 0; k < 4; ++k) b.i32(any());
        for (int k = 0; k < 4; ++k) b.i16(static_cast<int16_t>(any()));
        for (int k = 0; k < 3; ++k) b.i32(any());
    }
    for (int i = 0; i < F; ++i) b.u8(i % 2 ? 255u : static_cast<uint32_t>(i % 5));
    EXPECT_EQ(toBinary(toText(b)), b.str());
}

TEST_F(R7dModelTest, AllZeroCountsGiveEightLinesAndBackTheHeaderAlone) {
    std::string zero(16, '\0');
    std::string text = toText(zero);
    EXPECT_EQ(text, headerFor(0, 0, 0, 0) + crlf({VertexComment, FaceComment, "// Bitmaps", EntityComment}));
    EXPECT_EQ(toBinary(text), zero);
}

// ---------------------------------------------------------------------------------------------------
// Faces and bitmaps
// ---------------------------------------------------------------------------------------------------

TEST_F(R7dModelTest, FaceWithoutBitmapShowsNullAndKeepsIndex255) {
    Bytes b;
    b.u32(0).u32(1).u32(0).u32(0).i16(11).i16(1).i16(0).u8(255);
    std::string text = toText(b);
    EXPECT_EQ(linesOf(text).at(6), "Face[   0]: 11   1   0 255 // (null)");
    EXPECT_EQ(toBinary(text), b.str());
}

TEST_F(R7dModelTest, IndexAtOrPastBitmapCountShowsNull) {
    Bytes b;
    b.u32(0).u32(2).u32(1).u32(0).i16(0).i16(0).i16(0).i16(0).i16(0).i16(0).name("only.bmp").u8(0).u8(1);
    auto lines = linesOf(toText(b));
    EXPECT_EQ(lines.at(6), "Face[   0]:  0   0   0   0 // only.bmp");
    EXPECT_EQ(lines.at(7), "Face[   1]:  0   0   0   1 // (null)");
}

TEST_F(R7dModelTest, NegativeAndWideFaceIndicesPassThrough) {
    Bytes b;
    b.u32(0).u32(1).u32(0).u32(0).i16(-1).i16(12345).i16(-32768).u8(7);
    std::string text = toText(b);
    EXPECT_EQ(linesOf(text).at(6), "Face[   0]: -1 12345 -32768   7 // (null)");
    std::string back = toBinary(text);
    EXPECT_EQ(back, b.str());
    EXPECT_EQ(uintAt(back, 16, 2), 0xFFFFu);
}

TEST_F(R7dModelTest, FaceCommentIsIgnoredButItsFourthNumberSetsTheBitmap) {
    std::string text = headerFor(0, 1, 0, 0) + crlf({"", "", "Face[   0]:  1   2   3  9 // edited.bmp", "", ""});
    Bytes expected;
    expected.u32(0).u32(1).u32(0).u32(0).i16(1).i16(2).i16(3).u8(9);
    EXPECT_EQ(toBinary(text), expected.str());
}

TEST_F(R7dModelTest, BitmapNameKeepsLeadingSpaceAndFurtherColons) {
    std::string text = headerFor(0, 0, 2, 0) + crlf({"", "", "", "Bitmap[  0]: wall.bmp", "Bitmap[  1]:a:b c", ""});
    Bytes expected;
    expected.u32(0).u32(0).u32(2).u32(0).name(" wall.bmp").name("a:b c");
    EXPECT_EQ(toBinary(text), expected.str());
}

TEST_F(R7dModelTest, VertexValuesAreRoundedToFourDecimals) {
    Bytes b;
    b.u32(1).u32(0).u32(0).u32(0).floats({0.059406f, -0.00001f, 1.0f / 32.0f, 123456.7f, -1, 0, 0, 0, 0, 0});
    std::string text = toText(b);
    EXPECT_EQ(linesOf(text).at(5),
              "  0.0594  -0.0000   0.0312 123456.7031  -1.0000   0.0000   0.0000   0.0000   0.0000   0.0000");
    std::string back = toBinary(text);
    EXPECT_EQ(floatAt(back, 16), 0.0594f);
    EXPECT_EQ(floatAt(back, 20), -0.0f);
    EXPECT_EQ(floatAt(back, 28), 123456.7031f);
}

// ---------------------------------------------------------------------------------------------------
// Entities and names
// ---------------------------------------------------------------------------------------------------

TEST_F(R7dModelTest, EntityNameIsRightAlignedAndComesBackNulPadded) {
    Bytes b;
    b.u32(0).u32(0).u32(0).u32(6);
    for (int i = 0; i < 6; ++i) b.name(i == 5 ? "Wheel" : "").raw(std::string(64, '\0'));
    std::string text = toText(b);
    EXPECT_EQ(linesOf(text).at(8 + 5), "Entity[  5]:" + std::string(27, ' ') + "Wheel:" + std::string(ZeroEntityTail));
    EXPECT_EQ(toBinary(text), b.str());
}

TEST_F(R7dModelTest, EntityNameLosesLeadingSpacesKeepsTrailingOnes) {
    std::string text = headerFor(0, 0, 0, 2) + crlf({"", "", "", "", "Entity[  0]:   Box  : 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18",
                                                      "Entity[  1]:     :"});
    Bytes expected;
    expected.u32(0).u32(0).u32(0).u32(2);
    expected.name("Box  ").floats({1, 2, 3, 4, 5, 6, 7}).i32(8).i32(9).i32(10).i32(11).i16(12).i16(13).i16(14).i16(15);
    expected.i32(16).i32(17).i32(18);
    expected.name("").raw(std::string(64, '\0'));
    EXPECT_EQ(toBinary(text), expected.str());
}

TEST_F(R7dModelTest, EntityShortFieldsKeepLow16BitsAndIntegersKeepLow32) {
    std::string text = headerFor(0, 0, 0, 1) +
                       crlf({"", "", "", "", "Entity[  0]:A: 0 0 0 0 0 0 0 4294967297 -1 0 0 65537 -5141 40000 -1 0 0 0"});
    std::string back = toBinary(text);
    ASSERT_EQ(back.size(), 16u + 96u);
    EXPECT_EQ(uintAt(back, 16 + 60, 4), 1u);
    EXPECT_EQ(uintAt(back, 16 + 64, 4), 0xFFFFFFFFu);
    EXPECT_EQ(uintAt(back, 16 + 76, 2), 1u);
    EXPECT_EQ(uintAt(back, 16 + 78, 2), static_cast<uint16_t>(-5141));
    EXPECT_EQ(uintAt(back, 16 + 80, 2), 40000u);
    EXPECT_EQ(uintAt(back, 16 + 82, 2), 0xFFFFu);
}

TEST_F(R7dModelTest, NameFieldWithoutNulPrintsExactly32Bytes) {
    std::string full(32, 'Q');
    Bytes b;
    b.u32(0).u32(0).u32(1).u32(1).name(full).name(full).raw(std::string(64, '\0'));
    std::string text = toText(b);
    auto lines = linesOf(text);
    EXPECT_EQ(lines.at(7), "Bitmap[  0]:" + full);
    EXPECT_EQ(lines.at(9), "Entity[  0]:" + full + ":" + std::string(ZeroEntityTail));
    EXPECT_EQ(toBinary(text), b.str());
}

TEST_F(R7dModelTest, NamesLongerThan32BytesAreCut) {
    std::string text = headerFor(0, 0, 1, 1) + crlf({"", "", "", "Bitmap[  0]:" + std::string(40, 'b'), "",
                                                      "Entity[  0]:" + std::string(40, 'e') + ": 1"});
    std::string back = toBinary(text);
    ASSERT_EQ(back.size(), 16u + 32u + 96u);
    EXPECT_EQ(back.substr(16, 32), std::string(32, 'b'));
    EXPECT_EQ(back.substr(48, 32), std::string(32, 'e'));
    EXPECT_EQ(floatAt(back, 48 + 32), 1.0f);
}

// ---------------------------------------------------------------------------------------------------
// Hostile binary models
// ---------------------------------------------------------------------------------------------------

TEST_F(R7dModelTest, HugeCountInTinyFileListsNothingAndAllocatesNothing) {
    Bytes b;
    b.u32(0xFFFFFFFFu).u32(0xFFFFFFFFu).u32(0x80000000u).u32(0xFFFFFFFFu);
    EXPECT_EQ(toText(b), headerFor(-1, -1, -2147483647 - 1, -1) + crlf({VertexComment, FaceComment, "// Bitmaps", EntityComment}));
}

TEST_F(R7dModelTest, TruncatedTableListsWholeRecordsAndEmptiesLaterTables) {
    Bytes b;
    b.u32(3).u32(1).u32(1).u32(0).floats({1, 0, 0, 0, 0, 0, 0, 0, 0, 0}).floats({2, 0, 0, 0, 0});
    auto lines = linesOf(toText(b));
    ASSERT_EQ(lines.size(), 4u + 4u + 1u);
    EXPECT_EQ(lines.at(0), "NumVertices:      3");
    EXPECT_EQ(lines.at(5).substr(0, 8), "  1.0000");
    EXPECT_EQ(lines.at(6), FaceComment);
}

TEST_F(R7dModelTest, MissingBitmapIndexBytesReadAsZero) {
    Bytes b;
    b.u32(0).u32(2).u32(1).u32(0).i16(1).i16(2).i16(3).i16(4).i16(5).i16(6).name("w.bmp").u8(255);
    auto lines = linesOf(toText(b));
    EXPECT_EQ(lines.at(6), "Face[   0]:  1   2   3 255 // (null)");
    EXPECT_EQ(lines.at(7), "Face[   1]:  4   5   6   0 // w.bmp");
}

TEST_F(R7dModelTest, ShortHeaderReadsItsMissingBytesAsZero) {
    std::string text = toText(std::string("\x05\x00\x00", 3));
    EXPECT_EQ(text, headerFor(5, 0, 0, 0) + crlf({VertexComment, FaceComment, "// Bitmaps", EntityComment}));
}

// The whole text of a model whose tables are given as lines.
std::string textOf(int v, int f, int b, int e, const std::vector<std::string>& vertices,
                   const std::vector<std::string>& faces, const std::vector<std::string>& bitmaps,
                   const std::vector<std::string>& entities) {
    std::string text = headerFor(v, f, b, e) + VertexComment + "\r\n";
    for (const std::string& line : vertices) text += line + "\r\n";
    text += FaceComment + "\r\n";
    for (const std::string& line : faces) text += line + "\r\n";
    text += "// Bitmaps\r\n";
    for (const std::string& line : bitmaps) text += line + "\r\n";
    text += EntityComment + "\r\n";
    for (const std::string& line : entities) text += line + "\r\n";
    return text;
}

std::string faceLine(int index, int a, int b, int c, int bitmapIndex, const std::string& name) {
    char line[200];
    std::snprintf(line, sizeof line, "Face[%4d]:%3d %3d %3d %3d // %s", index, a, b, c, bitmapIndex, name.c_str());
    return line;
}

const std::string ZeroVertexLine =
    "  0.0000   0.0000   0.0000   0.0000   0.0000   0.0000   0.0000   0.0000   0.0000   0.0000";

TEST_F(R7dModelTest, FaceTableCutByTheEndListsWholeFacesWithoutBitmaps) {
    Bytes b;
    b.u32(1).u32(3).u32(1).u32(1).raw(std::string(40, '\0')).i16(1).i16(2).i16(3).i16(4).i16(5).i16(6).i16(7);
    EXPECT_EQ(toText(b), textOf(1, 3, 1, 1, {ZeroVertexLine}, {faceLine(0, 1, 2, 3, 0, "(null)"), faceLine(1, 4, 5, 6, 0, "(null)")},
                                {}, {}));
}

TEST_F(R7dModelTest, EntityTableCutByTheEndLeavesEveryFaceIndexZero) {
    // The bitmaps are whole, so index 0 selects the first of them; the index bytes lie past the cut.
    Bytes b;
    b.u32(0).u32(2).u32(2).u32(2).i16(1).i16(2).i16(3).i16(4).i16(5).i16(6).name("first.bmp").name("second.bmp");
    b.name("Whole").raw(std::string(64, '\0')).name("Cut").raw(std::string(10, '\0'));
    EXPECT_EQ(toText(b), textOf(0, 2, 2, 2, {}, {faceLine(0, 1, 2, 3, 0, "first.bmp"), faceLine(1, 4, 5, 6, 0, "first.bmp")},
                                {"Bitmap[  0]:first.bmp", "Bitmap[  1]:second.bmp"},
                                {"Entity[  0]:" + std::string(27, ' ') + "Whole:" + std::string(ZeroEntityTail)}));
}

TEST_F(R7dModelTest, ForgedBitmapCountListsTheWholeNamesAndFacesSelectAmongThem) {
    Bytes b;
    b.u32(0).u32(2).u32(0xFFFFFFFFu).u32(5).i16(0).i16(0).i16(0).i16(0).i16(0).i16(0).name("a.bmp").name("b.bmp");
    b.raw("tail");
    EXPECT_EQ(toText(b), headerFor(0, 2, -1, 5) + crlf({VertexComment, FaceComment}) +
                             crlf({faceLine(0, 0, 0, 0, 0, "a.bmp"), faceLine(1, 0, 0, 0, 0, "a.bmp")}) +
                             crlf({"// Bitmaps", "Bitmap[  0]:a.bmp", "Bitmap[  1]:b.bmp", EntityComment}));
}

TEST_F(R7dModelTest, IndexByteSelectsAmongTheFirst256BitmapsOnly) {
    // Index 255 names the 256th bitmap when there are more, and no bitmap when there are 255.
    for (uint32_t bitmaps : {255u, 256u, 300u}) {
        Bytes b;
        b.u32(0).u32(2).u32(bitmaps).u32(0).i16(0).i16(0).i16(0).i16(0).i16(0).i16(0);
        for (uint32_t i = 0; i < bitmaps; ++i) b.name("bmp" + std::to_string(i));
        b.u8(255).u8(254);
        auto lines = linesOf(toText(b));
        EXPECT_EQ(lines.at(6), faceLine(0, 0, 0, 0, 255, bitmaps > 255 ? "bmp255" : "(null)")) << bitmaps;
        EXPECT_EQ(lines.at(7), faceLine(1, 0, 0, 0, 254, "bmp254")) << bitmaps;
        EXPECT_EQ(lines.at(9 + bitmaps - 1), "Bitmap[" + std::to_string(bitmaps - 1) + "]:bmp" + std::to_string(bitmaps - 1));
    }
}

TEST_F(R7dModelTest, FacesAndIndexBytesMatchAcrossReadBlocksWhenTheIndicesAreCut) {
    // Far more faces than one read block holds, and index bytes for only part of them: the face lines
    // pair every face with its own byte, and those past the end of the file with 0.
    const int faces = 25000, indexed = 15001;
    Bytes b;
    b.u32(0).u32(faces).u32(1).u32(0);
    for (int i = 0; i < faces; ++i) b.i16(i).i16(-i).i16(i % 100);
    b.name("only.bmp");
    for (int i = 0; i < indexed; ++i) b.u8(static_cast<uint32_t>(i % 3));
    std::vector<std::string> faceLines;
    for (int i = 0; i < faces; ++i) {
        int index = i < indexed ? i % 3 : 0;
        faceLines.push_back(faceLine(i, static_cast<int16_t>(i), static_cast<int16_t>(-i), i % 100, index,
                                     index == 0 ? "only.bmp" : "(null)"));
    }
    EXPECT_EQ(toText(b), textOf(0, faces, 1, 0, {}, faceLines, {"Bitmap[  0]:only.bmp"}, {}));
}

// ---------------------------------------------------------------------------------------------------
// Hostile text
// ---------------------------------------------------------------------------------------------------

TEST_F(R7dModelTest, EmptyTextGivesAnEmptyModelHeader) { EXPECT_EQ(toBinary(""), std::string(16, '\0')); }

TEST_F(R7dModelTest, TextEndingBeforeCountsStopsWritingRecords) {
    // Four billion vertices claimed, two given: the output holds the header and those two.
    std::string text = crlf({"NumVertices: 4000000000", "NumFaces: 7", "NumBitmaps: 0", "NumEntities: 0", "",
                             "1 2 3 4 5 6 7 8 9 10", "1"});
    std::string back = toBinary(text);
    ASSERT_EQ(back.size(), 16u + 2u * 40u);
    EXPECT_EQ(uintAt(back, 0, 4), 4000000000u);
    EXPECT_EQ(uintAt(back, 4, 4), 7u);
    EXPECT_EQ(floatAt(back, 16 + 36), 10.0f);
    EXPECT_EQ(floatAt(back, 56), 1.0f);
    EXPECT_EQ(floatAt(back, 60), 0.0f);
}

TEST_F(R7dModelTest, FaceLinesWrittenBeforeTheEndKeepTheirBitmapIndices) {
    std::string text = crlf({"NumVertices: 0", "NumFaces: 1000000", "", "", "", "", "Face[0]: 1 2 3 4", "Face[1]: 5 6 7 8"});
    Bytes expected;
    expected.u32(0).u32(1000000).u32(0).u32(0).i16(1).i16(2).i16(3).i16(5).i16(6).i16(7).u8(4).u8(8);
    EXPECT_EQ(toBinary(text), expected.str());
}

TEST_F(R7dModelTest, TheBitmapIndicesComeFromTheSameFaceLinesAsTheFaces) {
    // Past the first 1,048,576 faces the index table is written from a second reading of the face lines:
    // an overlong line, a NUL, a missing colon, LF and CR LF line ends and a text that ends inside the
    // table must pair up alike whether their indices were held or read again, here across that border.
    const std::string overlong = "Face[1]: 5 6 7 8 " + std::string(40000, 'x') + " 99";
    const std::string tricky = crlf({"Face[0]: 1 2 3 4", overlong}) + std::string("Face[2]: 9 10 11\0 12\n", 21) +
                               "Face[3] 13 14 15 16\n" + "Face[4]: -1 -2 -3 255 // a\rb\r\n" + "Face[5]: 0 0 0 300";
    Bytes trickyFaces;
    trickyFaces.i16(1).i16(2).i16(3).i16(5).i16(6).i16(7).i16(9).i16(10).i16(11).i16(0).i16(0).i16(0);
    trickyFaces.i16(-1).i16(-2).i16(-3).i16(0).i16(0).i16(0);
    Bytes trickyIndices;
    trickyIndices.u8(4).u8(8).u8(0).u8(0).u8(255).u8(300 & 0xFF);
    for (int plain : {0, (1 << 20) - 2}) {
        const std::string text = headerFor(0, plain + 9, 0, 0) + crlf({VertexComment, FaceComment}) +
                                 repeated("f: 7 8 9 10\n", static_cast<size_t>(plain)) + tricky;
        Bytes expected;
        expected.u32(0).u32(static_cast<uint32_t>(plain) + 9).u32(0).u32(0);
        Bytes plainFace;
        plainFace.i16(7).i16(8).i16(9);
        expected.raw(repeated(plainFace, static_cast<size_t>(plain))).raw(trickyFaces);
        expected.raw(std::string(static_cast<size_t>(plain), '\x0A')).raw(trickyIndices);
        EXPECT_TRUE(toBinary(text) == expected.str()) << plain << " plain face lines first";
    }
}

TEST_F(R7dModelTest, ManyFaceLinesGiveTheirIndicesInOrder) {
    // More face lines than the read and write blocks hold, between vertex, bitmap and entity lines.
    const int faces = 70000;
    std::vector<std::string> faceLines;
    Bytes expected;
    expected.u32(1).u32(faces).u32(1).u32(1).floats({1, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    for (int i = 0; i < faces; ++i) {
        faceLines.push_back(faceLine(i, i % 30000, 1, 2, i % 256, "ignored"));
        expected.i16(i % 30000).i16(1).i16(2);
    }
    expected.name("b.bmp").name("E").raw(std::string(64, '\0'));
    for (int i = 0; i < faces; ++i) expected.u8(static_cast<uint32_t>(i % 256));
    const std::string text = textOf(1, faces, 1, 1, {"1"}, faceLines, {"Bitmap[  0]:b.bmp"}, {"Entity[  0]:E:"});
    EXPECT_EQ(toBinary(text), expected.str());
}

TEST_F(R7dModelTest, MissingAndUnparsableNumbersReadAsZero) {
    std::string text = headerFor(2, 2, 0, 0) +
                       crlf({"", "1.5 x 3 4", "", "", "Face[0] 1 2 3 4", "Face[1]: 7 -", "", ""});
    Bytes expected;
    expected.u32(2).u32(2).u32(0).u32(0);
    expected.floats({1.5f, 0, 0, 0, 0, 0, 0, 0, 0, 0}).floats({0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    expected.i16(0).i16(0).i16(0).i16(7).i16(0).i16(0).u8(0).u8(0);
    EXPECT_EQ(toBinary(text), expected.str());
}

TEST_F(R7dModelTest, CountLinesWithoutNumbersOrWithOverlongWordsReadAsZero) {
    std::string longWord(200, 'W');
    std::string text = crlf({"NumVertices:", "", "   ", longWord + " 9"});
    EXPECT_EQ(toBinary(text), std::string(16, '\0'));
}

TEST_F(R7dModelTest, OverlongLineIsCutAndTheNextLineStaysInPlace) {
    std::string longLine = "Bitmap[  0]:" + std::string(40000, 'z');
    std::string text = headerFor(0, 0, 2, 0) + crlf({"", "", "", longLine, "Bitmap[  1]:next.bmp", ""});
    Bytes expected;
    expected.u32(0).u32(0).u32(2).u32(0).name(std::string(32, 'z')).name("next.bmp");
    EXPECT_EQ(toBinary(text), expected.str());
}

TEST_F(R7dModelTest, NulByteEndsATextLine) {
    std::string text = headerFor(0, 0, 1, 0) + crlf({"", "", "", std::string("Bitmap[  0]:ab\0cd", 17), ""});
    Bytes expected;
    expected.u32(0).u32(0).u32(1).u32(0).name("ab");
    EXPECT_EQ(toBinary(text), expected.str());
}

// ---------------------------------------------------------------------------------------------------
// Files that cannot be opened
// ---------------------------------------------------------------------------------------------------

TEST_F(R7dModelTest, MissingModelFileIsReported) {
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(convertR7dToText(path("absent.r7d"), path("out.txt")));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "\nError: Could not open R7 file (" + path("absent.r7d") + ")\n");
    EXPECT_FALSE(std::filesystem::exists(path("out.txt")));
}

TEST_F(R7dModelTest, UnwritableTextFileIsReported) {
    writeFile(path("m.r7d"), std::string(16, '\0'));
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(convertR7dToText(path("m.r7d"), path("no/such/dir.txt")));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "\nError: Could not open output file (" + path("no/such/dir.txt") + ")\n");
}

TEST_F(R7dModelTest, MissingTextFileLeavesAnEmptyModel) {
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(convertTextToR7d(path("m.r7d"), path("absent.txt")));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "\nError: Could not open output file (" + path("absent.txt") + ")\n");
    EXPECT_TRUE(std::filesystem::exists(path("m.r7d")));
    EXPECT_EQ(std::filesystem::file_size(path("m.r7d")), 0u);
}

TEST_F(R7dModelTest, UncreatableModelFileIsReported) {
    writeFile(path("t.txt"), "");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(convertTextToR7d(path("no/dir/m.r7d"), path("t.txt")));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "\nError: Could not open R7 file (" + path("no/dir/m.r7d") + ")\n");
}

}  // namespace
}  // namespace bxa::test

namespace bxa::test {
namespace {

// A full disk must not pass for a finished conversion: unpack and pack take the result as the model's new
// form.
TEST_F(ModelTest, EveryConverterReportsAnOutputThatCouldNotBeWritten) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    writeFile(path("empty.bin"), std::string(16, '\0'));
    for (Converter convert : std::initializer_list<Converter>{convertR7dToText, convertR7pToText, convertR7tToText}) {
        EXPECT_FALSE(convert(path("empty.bin"), "/dev/full"));
    }
    for (Converter convert : std::initializer_list<Converter>{convertTextToR7d, convertTextToR7p, convertTextToR7t}) {
        writeFile(path("counts.txt"), "NumVertices: 100000\r\n");
        EXPECT_FALSE(convert("/dev/full", path("counts.txt")));
    }
}

}  // namespace
}  // namespace bxa::test
