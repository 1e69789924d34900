#include "model/r7t_model.hpp"

#include <random>

#include "model/model_test_support.hpp"

namespace bxa::test {
namespace {

class R7tModelTest : public ModelTest {
protected:
    std::string toText(std::string_view binary) { return ModelTest::toText(convertR7tToText, binary); }
    std::string toBinary(std::string_view text) { return ModelTest::toBinary(convertTextToR7t, text); }
};

Bytes treeModel() {
    Bytes b;
    b.u8(1).name("Tree").u8(0);
    b.u16(3).u16(1).u8(2);
    b.floats({0, 0, 0, 1, 0, 1, 0, 0}).floats({1, 0, 0, 1, 0, 1, 1, 0}).floats({0, 2, 0, 1, 0, 1, 0, 1});
    b.u8(1).u8(0).u8(1).u8(2);
    return b;
}

// One record with no vertices and the given faces.
Bytes& record(Bytes& b, uint8_t flag, std::initializer_list<int> indices) {
    b.u16(0).u16(static_cast<uint32_t>(indices.size() / 3)).u8(0).u8(flag);
    for (int index : indices) flag ? b.u8(static_cast<uint32_t>(index)) : b.i16(index);
    return b;
}

// ---------------------------------------------------------------------------------------------------
// The worked example (a tree with one record), both ways
// ---------------------------------------------------------------------------------------------------

TEST_F(R7tModelTest, TreeExampleTextFromBinaryByteForByte) { EXPECT_EQ(toText(treeModel()), golden("tree.r7t.txt")); }

TEST_F(R7tModelTest, TreeExampleBinaryFromTextByteForByte) {
    EXPECT_EQ(toBinary(golden("tree.r7t.txt")), treeModel().str());
}

// ---------------------------------------------------------------------------------------------------
// Round trips and sizes
// ---------------------------------------------------------------------------------------------------

TEST_F(R7tModelTest, TwoHundredRecordsRoundTrip) {
    std::mt19937 rng(5);
    auto value = [&] { return static_cast<float>(static_cast<int>(rng() % 2000001) - 1000000) / 64.0f; };
    Bytes b;
    b.u8(200);
    for (int i = 0; i < 200; ++i) b.name(i == 7 ? std::string(32, 'T') : "Part:" + std::to_string(i) + " x");
    b.u8(77);
    for (int r = 0; r < 200; ++r) {
        int v = r % 4, f = r % 3;
        uint8_t flag = static_cast<uint8_t>(r % 3 == 0 ? 0 : r % 256);
        b.u16(static_cast<uint32_t>(v)).u16(static_cast<uint32_t>(f)).u8(static_cast<uint32_t>(r));
        for (int k = 0; k < v * 8; ++k) b.f32(value());
        b.u8(flag);
        for (int k = 0; k < f * 3; ++k) flag ? b.u8(static_cast<uint32_t>(rng() & 0xFF)) : b.u16(static_cast<uint32_t>(rng() & 0xFFFF));
    }
    std::string text = toText(b);
    EXPECT_EQ(linesOf(text).at(0), "NumRecords:    200");
    EXPECT_EQ(linesOf(text).at(201), "??:     77");
    EXPECT_EQ(toBinary(text), b.str());
}

TEST_F(R7tModelTest, FortyThousandVerticesRoundTrip) {
    Bytes b;
    b.u8(1).name("Big").u8(0).u16(40000).u16(0).u8(0);
    for (int k = 0; k < 40000 * 8; ++k) b.f32(static_cast<float>(k % 1000) / 8.0f);
    b.u8(0);
    std::string text = toText(b);
    auto lines = linesOf(text);
    ASSERT_EQ(lines.size(), 3u + 4u + 40000u + 2u);
    EXPECT_EQ(lines.at(4), "numVertices:  40000");
    EXPECT_EQ(lines.at(7 + 39999).substr(0, 14), "Vertex[39999]:");
    EXPECT_EQ(toBinary(text), b.str());
}

TEST_F(R7tModelTest, NoRecordsGivesTwoLines) {
    std::string zero("\0\0", 2);
    std::string text = toText(zero);
    EXPECT_EQ(text, crlf({"NumRecords:      0", "??:      0"}));
    EXPECT_EQ(toBinary(text), zero);
}

// ---------------------------------------------------------------------------------------------------
// Face index widths
// ---------------------------------------------------------------------------------------------------

TEST_F(R7tModelTest, SixteenBitMinusOneAndEightBit255PassThrough) {
    Bytes b;
    b.u8(2).name("a").name("b").u8(0);
    record(b, 0, {-1, 12345, 0});
    record(b, 1, {255, 0, 7});
    std::string text = toText(b);
    auto lines = linesOf(text);
    EXPECT_EQ(lines.at(9), "Face[  0]:   -1 12345    0");
    EXPECT_EQ(lines.at(16), "Face[  0]:  255    0    7");
    std::string back = toBinary(text);
    EXPECT_EQ(back, b.str());
    EXPECT_EQ(uintAt(back, 1 + 64 + 1 + 5 + 1, 2), 0xFFFFu);
}

TEST_F(R7tModelTest, FlagLineChoosesTheIndexWidth) {
    std::string body = "NumRecords: 1\r\nEntity[  0]: e\r\n??: 0\r\n\\\\ Start Record\r\nnumVertices: 0\r\nnumFaces: 1\r\n"
                       "Record: 0\r\n";
    Bytes narrow;
    narrow.u8(1).name("e").u8(0);
    record(narrow, 1, {300 & 0xFF, 2, 3});
    EXPECT_EQ(toBinary(body + crlf({"??: 1", "Face[  0]: 300 2 3", "\\\\ End Record"})), narrow.str());
    Bytes wide;
    wide.u8(1).name("e").u8(0);
    record(wide, 0, {300, 2, 3});
    EXPECT_EQ(toBinary(body + crlf({"??: 0", "Face[  0]: 300 2 3", "\\\\ End Record"})), wide.str());
    // A flag line without a number gives 16-bit indices.
    EXPECT_EQ(toBinary(body + crlf({"??:", "Face[  0]: 300 2 3", "\\\\ End Record"})), wide.str());
}

// ---------------------------------------------------------------------------------------------------
// Names
// ---------------------------------------------------------------------------------------------------

TEST_F(R7tModelTest, EmptyNameLineGives32Nuls) {
    std::string text = crlf({"NumRecords:      1", "Entity[  0]:" + std::string(33, ' '), "??:      0"});
    Bytes expected;
    expected.u8(1).name("").u8(0);
    EXPECT_EQ(toBinary(text), expected.str());
}

TEST_F(R7tModelTest, NamesKeepColonsAndInnerSpacesAndAreCutAt32) {
    std::string text = crlf({"NumRecords: 3", "Entity[  0]:   a: b c ", "Entity[  1]: " + std::string(40, 'L'), "no colon",
                             "??: 300"});
    Bytes expected;
    expected.u8(3).name("a: b c ").name(std::string(32, 'L')).name("").u8(300 & 0xFF);
    EXPECT_EQ(toBinary(text), expected.str());
}

// ---------------------------------------------------------------------------------------------------
// Hostile binary models and text
// ---------------------------------------------------------------------------------------------------

TEST_F(R7tModelTest, EmptyFileReadsAsNoRecords) { EXPECT_EQ(toText(""), crlf({"NumRecords:      0"})); }

TEST_F(R7tModelTest, TruncatedFileStopsAfterTheLastWholeField) {
    Bytes b;
    b.u8(2).name("a").name("b").u8(0).u16(2).u16(5).u8(0).floats({1, 2, 3, 4, 5, 6, 7, 8}).floats({1});
    auto lines = linesOf(toText(b));
    ASSERT_EQ(lines.size(), 1u + 2u + 1u + 4u + 1u);
    EXPECT_EQ(lines.back().substr(0, 13), "Vertex[   0]:");
}

TEST_F(R7tModelTest, TextEndingBeforeCountsStopsWritingRecords) {
    std::string text = crlf({"NumRecords: 255", "Entity[  0]: only"});
    Bytes expected;
    expected.u8(255).name("only");
    EXPECT_EQ(toBinary(text), expected.str());

    text = crlf({"NumRecords: 1", "Entity[  0]: a", "??: 0", "\\\\ Start Record", "numVertices: 65535", "numFaces: 65535",
                 "Record: 1", "Vertex[   0]: 1 2"});
    expected = Bytes();
    expected.u8(1).name("a").u8(0).u16(65535).u16(65535).u8(1).floats({1, 2, 0, 0, 0, 0, 0, 0}).u8(0);
    EXPECT_EQ(toBinary(text), expected.str());
}

TEST_F(R7tModelTest, ValueLinesKeepTheirLowBits) {
    std::string text = crlf({"NumRecords: 257", "Entity[  0]: a", "??: -1", "\\\\ Start Record", "numVertices: 65536",
                             "numFaces: -65536", "Record: 511", "??: 256", "\\\\ End Record"});
    Bytes expected;
    expected.u8(1).name("a").u8(255).u16(0).u16(0).u8(255).u8(0);
    EXPECT_EQ(toBinary(text), expected.str());
}

TEST_F(R7tModelTest, NameWithoutNulPrintsExactly32Bytes) {
    Bytes b;
    b.u8(1).name(std::string(32, 'Z')).u8(0).u16(0).u16(0).u8(0).u8(1);
    std::string text = toText(b);
    EXPECT_EQ(linesOf(text).at(1), "Entity[  0]: " + std::string(32, 'Z'));
    EXPECT_EQ(toBinary(text), b.str());
}

TEST_F(R7tModelTest, OpenFailuresAreReported) {
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(convertR7tToText(path("absent.r7t"), path("out.txt")));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "\nError: Could not open R7 file (" + path("absent.r7t") + ")\n");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(convertTextToR7t(path("m.r7t"), path("absent.txt")));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "\nError: Could not open output file (" + path("absent.txt") + ")\n");
    EXPECT_EQ(std::filesystem::file_size(path("m.r7t")), 0u);
}

}  // namespace
}  // namespace bxa::test
