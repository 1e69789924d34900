#include "model/r7p_model.hpp"

#include <random>

#include "model/model_test_support.hpp"

namespace bxa::test {
namespace {

class R7pModelTest : public ModelTest {
protected:
    std::string toText(std::string_view binary) { return ModelTest::toText(convertR7pToText, binary); }
    std::string toBinary(std::string_view text) { return ModelTest::toBinary(convertTextToR7p, text); }
};

// An entity record with all values zero except value 16, the mesh count, and optionally value 11.
Bytes& entity(Bytes& b, std::string_view name, int16_t meshCount, int16_t value11 = 0) {
    b.name(name).floats({0, 0, 0, 0, 0, 0, 0}).i32(0).i32(0).i32(0);
    b.i16(value11).i16(0).i16(0).i16(0).i16(0).i16(meshCount).i16(0).i16(0);
    return b;
}

Bytes hullModel() {
    Bytes b;
    b.u32(3).u32(1).u32(1).u32(1).name("hull.bmp");
    b.name("Hull").floats({0.5f, 0.25f, 0, 0, 0, 0, 0}).i32(1).i32(0).i32(-1);
    b.i16(0).i16(0).i16(0).i16(0).i16(0).i16(1).i16(0).i16(0);
    b.i16(3).i16(1).i16(0);
    b.floats({0, 0, 0, 1, 0, 0, 1, 0, 0, 0}).floats({1, 0, 0, 1, 0, 0, 1, 0, 1, 0}).floats({0, 1, 0, 1, 0, 0, 1, 0, 0, 1});
    b.u16(0).u16(1).u16(2);
    return b;
}

std::string header(int v, int f, int b, int e) {
    char text[200];
    std::snprintf(text, sizeof text, "NumVertices: %6d\r\nNumFaces: %6d\r\nNumBitmaps: %6d\r\nNumEntities: %6d\r\n", v, f, b, e);
    return text;
}

const std::string ZeroEntityValues =
    "     0.000000     0.000000     0.000000     0.000000     0.000000     0.000000     0.000000"
    "      0      0      0";

// ---------------------------------------------------------------------------------------------------
// The worked example (a hull with one mesh), both ways
// ---------------------------------------------------------------------------------------------------

TEST_F(R7pModelTest, HullExampleTextFromBinaryByteForByte) { EXPECT_EQ(toText(hullModel()), golden("hull.r7p.txt")); }

TEST_F(R7pModelTest, HullExampleBinaryFromTextByteForByte) {
    EXPECT_EQ(toBinary(golden("hull.r7p.txt")), hullModel().str());
}

// ---------------------------------------------------------------------------------------------------
// Round trips and layout
// ---------------------------------------------------------------------------------------------------

TEST_F(R7pModelTest, RoundTripKeepsEveryValueTheTextCanShow) {
    std::mt19937 rng(3);
    // Multiples of 1/64 have at most six decimals, so they pass through "%12f" exactly.
    auto value = [&] { return static_cast<float>(static_cast<int>(rng() % 2000001) - 1000000) / 64.0f; };
    Bytes b;
    b.u32(static_cast<uint32_t>(rng())).u32(static_cast<uint32_t>(rng())).u32(2).u32(3).name("one.bmp").name(std::string(32, 'B'));
    for (int e = 0; e < 3; ++e) {
        b.name(e == 1 ? std::string(32, 'E') : "Part" + std::to_string(e));
        for (int k = 0; k < 7; ++k) b.f32(value());
        for (int k = 0; k < 3; ++k) b.i32(static_cast<int32_t>(rng()));
        int16_t meshes = static_cast<int16_t>(e);
        for (int k = 0; k < 8; ++k) b.i16(k == 5 ? meshes : static_cast<int16_t>(rng()));
        for (int m = 0; m < meshes; ++m) {
            int v = 1 + m * 5, f = m * 3;
            b.i16(static_cast<int16_t>(v)).i16(static_cast<int16_t>(f)).i16(static_cast<int16_t>(rng()));
            for (int k = 0; k < v * 10; ++k) b.f32(value());
            for (int k = 0; k < f * 3; ++k) b.u16(static_cast<uint32_t>(rng() & 0xFFFF));
        }
    }
    EXPECT_EQ(toBinary(toText(b)), b.str());
}

TEST_F(R7pModelTest, EntityWithoutMeshesIsFollowedByTheNextEntity) {
    Bytes b;
    b.u32(0).u32(0).u32(0).u32(2);
    entity(b, "A", 0);
    entity(b, "B", 1).i16(1).i16(0).i16(5).floats({0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    std::string text = toText(b);
    auto lines = linesOf(text);
    ASSERT_EQ(lines.size(), 4u + 2u + 2u + 3u + 1u);
    EXPECT_EQ(lines.at(6).substr(0, 14), "Entity[   0]: ");
    EXPECT_EQ(lines.at(7).substr(0, 14), "Entity[   1]: ");
    EXPECT_EQ(lines.at(8), "Vertices: 1");
    EXPECT_EQ(lines.at(9), "Faces: 0");
    EXPECT_EQ(lines.at(10), "Bitmap: 5");
    EXPECT_EQ(toBinary(text), b.str());
}

TEST_F(R7pModelTest, WideFaceIndexAndNegativeShortValuePassThrough) {
    Bytes b;
    b.u32(0).u32(0).u32(0).u32(1);
    entity(b, "W", 1, -5141).i16(0).i16(1).i16(0).u16(40000).u16(65535).u16(0);
    std::string text = toText(b);
    auto lines = linesOf(text);
    EXPECT_EQ(lines.at(6), "Entity[   0]: " + std::string(31, ' ') + "W:" + ZeroEntityValues +
                               "  -5141      0      0      0      0      1      0      0");
    EXPECT_EQ(lines.at(10), "Face[  0]: 40000 65535   0");
    EXPECT_EQ(toBinary(text), b.str());
}

TEST_F(R7pModelTest, VertexValuesAreRoundedToSixDecimals) {
    Bytes b;
    b.u32(0).u32(0).u32(0).u32(1);
    entity(b, "V", 1).i16(1).i16(0).i16(0).floats({0.1079391f, -2.5f, 0, 0, 0, 0, 0, 0, 0, 1e-7f});
    std::string text = toText(b);
    EXPECT_EQ(linesOf(text).at(10),
              "Vertex[  0]:     0.107939    -2.500000     0.000000     0.000000     0.000000     0.000000     0.000000"
              "     0.000000     0.000000     0.000000");
    std::string back = toBinary(text);
    EXPECT_EQ(floatAt(back, 16 + 88 + 6), 0.107939f);
}

TEST_F(R7pModelTest, BitmapNameIsTheFirstWordAfterTheColon) {
    std::string text = header(0, 0, 4, 0) +
                       crlf({"", "Bitmap[  3]: hull.bmp", "Bitmap[  4]:   two words.bmp", "Bitmap[  5]: \tx y", "no colon", ""});
    Bytes expected;
    expected.u32(0).u32(0).u32(4).u32(0).name("hull.bmp").name("two").name("\tx").name("");
    EXPECT_EQ(toBinary(text), expected.str());
}

TEST_F(R7pModelTest, HeaderVertexAndFaceCountsAreCarriedOnly) {
    std::string text = golden("hull.r7p.txt");
    text.replace(text.find("NumVertices:      3"), 19, "NumVertices:     77");
    text.replace(text.find("NumFaces:      1"), 16, "NumFaces:     -2");
    std::string expected = hullModel().str();
    expected[0] = 77;
    expected.replace(4, 4, std::string("\xFE\xFF\xFF\xFF", 4));
    EXPECT_EQ(toBinary(text), expected);
}

// ---------------------------------------------------------------------------------------------------
// Hostile binary models
// ---------------------------------------------------------------------------------------------------

TEST_F(R7pModelTest, NegativeCountsReadNothing) {
    Bytes b;
    b.u32(0).u32(0).u32(0).u32(2);
    entity(b, "Neg", -3);
    entity(b, "M", 1).i16(-5).i16(-32768).i16(0);
    std::string text = toText(b);
    auto lines = linesOf(text);
    ASSERT_EQ(lines.size(), 6u + 2u + 3u);
    EXPECT_EQ(lines.at(8), "Vertices: -5");
    EXPECT_EQ(lines.at(9), "Faces: -32768");
    EXPECT_EQ(toBinary(text), b.str());
}

TEST_F(R7pModelTest, TruncatedFileStopsAfterTheLastWholeRecord) {
    Bytes b;
    b.u32(0).u32(0).u32(1).u32(1).name("a.bmp");
    entity(b, "E", 2).i16(2).i16(1).i16(0).floats({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}).floats({1, 2});
    auto lines = linesOf(toText(b));
    ASSERT_EQ(lines.size(), 4u + 1u + 1u + 1u + 1u + 3u + 1u);
    EXPECT_EQ(lines.back().substr(0, 12), "Vertex[  0]:");
}

TEST_F(R7pModelTest, HugeCountsInTinyFileProduceAShortText) {
    Bytes b;
    b.u32(0).u32(0).u32(0xFFFFFFFFu).u32(0xFFFFFFFFu);
    EXPECT_EQ(toText(b), header(0, 0, -1, -1) + crlf({"// Bitmaps"}));
}

TEST_F(R7pModelTest, ShortHeaderReadsItsMissingBytesAsZero) {
    EXPECT_EQ(toText(""), header(0, 0, 0, 0) + crlf({"// Bitmaps", "// Entity:: name ..."}));
}

// ---------------------------------------------------------------------------------------------------
// Hostile text
// ---------------------------------------------------------------------------------------------------

TEST_F(R7pModelTest, TextEndingBeforeCountsStopsWritingRecords) {
    std::string text = header(0, 0, 0, -1) + crlf({"", "", "Entity[0]: A: 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 32767 0 0",
                                                    "Vertices: 30000", "Faces: 30000"});
    Bytes expected;
    expected.u32(0).u32(0).u32(0).u32(0xFFFFFFFFu);
    entity(expected, "A", 32767).i16(30000).i16(30000).i16(0);
    EXPECT_EQ(toBinary(text), expected.str());
}

TEST_F(R7pModelTest, MissingNumbersAndMissingColonsReadAsZero) {
    std::string text = header(0, 0, 0, 1) + crlf({"", "", "Entity[0] no colons 1 2 3", "Vertices: 2", "Faces", "Bitmap: 9",
                                                  "Vertex[0]: 1.5 2.5", "Vertex[1] 7 7 7"});
    Bytes expected;
    expected.u32(0).u32(0).u32(0).u32(1);
    expected.name("").raw(std::string(56, '\0'));
    // Value 16 is 0, so the mesh lines are never read.
    EXPECT_EQ(toBinary(text), expected.str());

    text = header(0, 0, 0, 1) + crlf({"", "", "Entity[0]: A: 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1", "Vertices: 2", "Faces",
                                      "Bitmap: 9", "Vertex[0]: 1.5 2.5", "Vertex[1] 7 7 7"});
    expected = Bytes();
    expected.u32(0).u32(0).u32(0).u32(1);
    entity(expected, "A", 1).i16(2).i16(0).i16(9).floats({1.5f, 2.5f, 0, 0, 0, 0, 0, 0, 0, 0});
    expected.floats({0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(toBinary(text), expected.str());
}

TEST_F(R7pModelTest, OverlongLineIsCutAndTheNextLineStaysInPlace) {
    std::string text = header(0, 0, 2, 0) + crlf({"", "Bitmap[0]: " + std::string(5000, 'n'), "Bitmap[1]: next.bmp", ""});
    Bytes expected;
    expected.u32(0).u32(0).u32(2).u32(0).name(std::string(32, 'n')).name("next.bmp");
    EXPECT_EQ(toBinary(text), expected.str());
}

TEST_F(R7pModelTest, OpenFailuresAreReported) {
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(convertR7pToText(path("absent.r7p"), path("out.txt")));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "\nError: Could not open R7 file (" + path("absent.r7p") + ")\n");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(convertTextToR7p(path("m.r7p"), path("absent.txt")));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "\nError: Could not open output file (" + path("absent.txt") + ")\n");
    EXPECT_EQ(std::filesystem::file_size(path("m.r7p")), 0u);
}

}  // namespace
}  // namespace bxa::test
