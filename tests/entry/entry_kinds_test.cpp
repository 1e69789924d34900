#include <gtest/gtest.h>

#include "archive/toc.hpp"
#include "entry/entry_kinds.hpp"
#include "support/test_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

TEST(ExtensionOf, TakesTheTextAfterTheLastDotOfTheWholeString) {
    EXPECT_EQ(extensionOf("a.b.TOC"), "TOC");
    EXPECT_EQ(extensionOf("R7D"), "R7D");
    EXPECT_EQ(extensionOf("name."), "");
    EXPECT_EQ(extensionOf("data.old/readme"), "old/readme");
}

TEST(ModelKindOf, IsExactAndCaseSensitive) {
    EXPECT_EQ(modelKindOf("work/model.R7D"), ModelKindR7D);
    EXPECT_EQ(modelKindOf("work/model.R7P"), ModelKindR7P);
    EXPECT_EQ(modelKindOf("work/model.R7T"), ModelKindR7T);
    EXPECT_EQ(modelKindOf("work/model.r7d"), ModelKindNone);
    EXPECT_EQ(modelKindOf("work/R7D"), ModelKindNone);
    EXPECT_EQ(modelKindOf("work/model.R7DX"), ModelKindNone);
}

TEST(StorageMethodFor, ChoosesByExtensionAndBitmapsByContent) {
    ScratchDir dir;
    auto methodOf = [&](const std::string& name, const std::string& bytes) {
        writeFile(dir.path() / name, bytes);
        platform::File file = platform::File::openForReading(dir / name);
        return storageMethodFor(dir / name, file);
    };
    EXPECT_EQ(methodOf("a.b.TOC", "x"), MethodCompressedAscii);
    for (const char* name : {"a.MIS", "a.MMD", "a.DAT", "a.CSV", "a.FLT", "a.INF"}) {
        EXPECT_EQ(methodOf(name, "x"), MethodCompressedAscii) << name;
    }
    for (const char* name : {"a.RGN", "a.R7D", "a.R7P", "a.R7T", "a.csv", "a.TXT", "noext"}) {
        EXPECT_EQ(methodOf(name, "x"), MethodCompressedBinary) << name;
    }
    EXPECT_EQ(methodOf("png.BMP", std::string("\x89PNG\r\n", 6)), MethodStoredPng);
    EXPECT_EQ(methodOf("jpg.BMP", std::string("\xff\xd8\xff\xe0\x00\x10JFIF\x00", 11)), MethodStoredJfif);
    EXPECT_EQ(methodOf("true.BMP", "BM\x36\x00"), MethodCompressedBinary);
    EXPECT_EQ(methodOf("short.BMP", "xPN"), MethodCompressedBinary);
    EXPECT_EQ(methodOf("lower.bmp", std::string("\x89PNG", 4)), MethodCompressedBinary);
    platform::File missing;
    EXPECT_EQ(storageMethodFor(dir / "missing.BMP", missing), MethodCompressedBinary);
}

}  // namespace
}  // namespace bxa
