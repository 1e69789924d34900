// The converters over open files: the same bytes as the path-based ones, no console output, a result
// that tells a failed read or write, and the output left open for the caller.
#include "model/model_test_support.hpp"
#include "model/r7d_model.hpp"
#include "model/r7p_model.hpp"
#include "model/r7t_model.hpp"

namespace bxa::test {
namespace {

using platform::File;

using ModelToText = ConversionResult (*)(File& model, File& text);
using TextToModel = ConversionResult (*)(File& text, File& model);

struct Kind {
    const char* name;
    ModelToText toText;
    TextToModel toModel;
    Converter pathToText;
    Converter pathToModel;
    std::string sample;  // a binary model with a little of everything
};

std::vector<Kind> kinds() {
    Bytes r7d;
    r7d.u32(2)
        .u32(2)
        .u32(1)
        .u32(1)
        .floats({1, 2, 3, 4, 5, 6, 7, 8, 9, 10})
        .floats({0.5f, 0, 0, 0, 0, 0, 0, 0, 0, -1});
    r7d.i16(0).i16(1).i16(-1).i16(1).i16(0).i16(7).name("wall.bmp");
    r7d.name("Box").floats({0.5f, 0, 0, 0, 0, 0, 1}).i32(1).i32(2).i32(-1).i32(3).i16(1).i16(0).i16(2).i16(0);
    r7d.i32(0).i32(0).i32(7).u8(0).u8(9);
    Bytes r7p;
    r7p.u32(3)
        .u32(1)
        .u32(1)
        .u32(1)
        .name("hull.bmp")
        .name("Hull")
        .floats({0.5f, 0, 0, 0, 0, 0, 0})
        .i32(1)
        .i32(0)
        .i32(-1);
    r7p.i16(0).i16(0).i16(0).i16(0).i16(0).i16(1).i16(0).i16(0);
    r7p.i16(1).i16(1).i16(0).floats({1, 2, 3, 4, 5, 6, 7, 8, 9, 10}).u16(0).u16(0).u16(40000);
    Bytes r7t;
    r7t.u8(1)
        .name("Tree")
        .u8(0)
        .u16(1)
        .u16(1)
        .u8(2)
        .floats({1, 2, 3, 4, 5, 6, 7, 8})
        .u8(1)
        .u8(0)
        .u8(0)
        .u8(255);
    return {{"R7D", convertR7dToText, convertTextToR7d, convertR7dToText, convertTextToR7d, r7d.str()},
            {"R7P", convertR7pToText, convertTextToR7p, convertR7pToText, convertTextToR7p, r7p.str()},
            {"R7T", convertR7tToText, convertTextToR7t, convertR7tToText, convertTextToR7t, r7t.str()}};
}

class FileConverterTest : public ModelTest {};

TEST_F(FileConverterTest, GiveThePathConvertersBytesPrintNothingAndLeaveTheOutputOpen) {
    for (const Kind& kind : kinds()) {
        SCOPED_TRACE(kind.name);
        const std::string text = ModelTest::toText(kind.pathToText, kind.sample);
        ASSERT_EQ(ModelTest::toBinary(kind.pathToModel, text), kind.sample);

        writeFile(path("in.bin"), kind.sample);
        File model = File::openForReading(path("in.bin"));
        ASSERT_TRUE(model.seek(5));  // read from the start wherever the file stands
        File out = File::createForWriting(path("out.txt"));
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(kind.toText(model, out), ConversionResult::Ok);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        ASSERT_TRUE(out.isOpen());
        ASSERT_TRUE(out.write("after"));
        ASSERT_TRUE(out.close());
        EXPECT_EQ(readFile(path("out.txt")), text + "after");

        writeFile(path("in.txt"), text);
        File textIn = File::openForReading(path("in.txt"));
        ASSERT_TRUE(textIn.seek(3));
        File modelOut = File::createForWriting(path("out.bin"));
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(kind.toModel(textIn, modelOut), ConversionResult::Ok);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
        ASSERT_TRUE(modelOut.isOpen());
        ASSERT_TRUE(modelOut.close());
        EXPECT_EQ(readFile(path("out.bin")), kind.sample);
    }
}

TEST_F(FileConverterTest, AWriteThatFailedIsToldAndNothingIsPrinted) {
    File probe = File::createForWriting("/dev/full");
    if (!probe) GTEST_SKIP() << "no /dev/full here";
    // Outputs far larger than a stream buffer, so that the failure shows before the caller closes.
    Bytes manyVertices;
    manyVertices.u32(20000).u32(0).u32(0).u32(0).raw(std::string(20000 * 40, '\0'));
    Bytes r7t;
    r7t.u8(1).name("T").u8(0).u16(20000).u16(0).u8(0).raw(std::string(20000 * 32, '\0')).u8(0);
    const std::vector<Kind> all = kinds();
    const std::string models[] = {manyVertices.str(), std::string(16, '\0'), r7t.str()};
    // Standard error is read back only after the outputs are closed: reading it flushes every stream.
    for (size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(all[i].name);
        writeFile(path("in.bin"), models[i]);
        writeFile(path("in.txt"), "NumVertices: 100000\r\n" + std::string(200000, '\n'));
        File model = File::openForReading(path("in.bin"));
        File text = File::openForReading(path("in.txt"));
        File fullText = File::createForWriting("/dev/full");
        File fullModel = File::createForWriting("/dev/full");
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(all[i].toText(model, fullText),
                  i == 1 ? ConversionResult::Ok : ConversionResult::WriteFailed);
        EXPECT_EQ(all[i].toModel(text, fullModel),
                  i == 0 ? ConversionResult::WriteFailed : ConversionResult::Ok);
        // A short output fails only when the caller flushes it.
        EXPECT_FALSE(fullText.close());
        EXPECT_FALSE(fullModel.close());
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    }
}

TEST_F(FileConverterTest, AReadThatFailedIsToldAndNothingIsPrinted) {
    for (const Kind& kind : kinds()) {
        SCOPED_TRACE(kind.name);
        // A file open for writing only cannot be read from.
        File unreadable = File::createForWriting(path("unreadable"));
        ASSERT_TRUE(unreadable.write(kind.sample));
        File out = File::createForWriting(path("out"));
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(kind.toText(unreadable, out), ConversionResult::ReadFailed);
        EXPECT_EQ(kind.toModel(unreadable, out), ConversionResult::ReadFailed);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    }
}

}  // namespace
}  // namespace bxa::test
