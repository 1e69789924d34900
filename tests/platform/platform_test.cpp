#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/byte_order.hpp"
#include "platform/file.hpp"
#include "platform/file_system.hpp"
#include "support/test_support.hpp"

namespace bxa::platform {
namespace {

using bxa::testing::readFile;
using bxa::testing::ScratchDir;
using bxa::testing::writeFile;

TEST(ByteOrder, RoundTripsSignedAndUnsignedFieldsLittleEndian) {
    uint8_t bytes[4];
    storeInt32(bytes, -2);
    EXPECT_EQ(bytes[0], 0xFE);
    EXPECT_EQ(bytes[3], 0xFF);
    EXPECT_EQ(loadInt32(bytes), -2);
    storeUint16(bytes, 40000);
    EXPECT_EQ(loadUint16(bytes), 40000);
    EXPECT_EQ(loadInt16(bytes), static_cast<int16_t>(40000 - 65536));
    storeFloat32(bytes, 1.5f);
    EXPECT_EQ(loadFloat32(bytes), 1.5f);
}

TEST(FileSystem, JoinsWithTheSeparatorAndNothingElse) {
    EXPECT_EQ(joinPath("dir", "a.CSV"), std::string("dir") + pathSeparator() + "a.CSV");
    EXPECT_EQ(joinPath("dir/", ""), std::string("dir/") + pathSeparator());
}

TEST(FileSystem, MakeDirectoryAcceptsAnExistingOneButNotAFile) {
    ScratchDir dir;
    EXPECT_TRUE(makeDirectory(dir / "d"));
    EXPECT_TRUE(makeDirectory(dir / "d"));
    writeFile(dir.path() / "f", "x");
    EXPECT_FALSE(makeDirectory(dir / "f"));
}

TEST(FileSystem, RemoveFileIgnoresAMissingFile) {
    ScratchDir dir;
    EXPECT_TRUE(removeFile(dir / "missing"));
    writeFile(dir.path() / "f", "x");
    EXPECT_TRUE(removeFile(dir / "f"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "f"));
}

TEST(FileSystem, CopyOverReplacesASymbolicLinkInsteadOfWritingThroughIt) {
    ScratchDir dir;
    writeFile(dir.path() / "outside", "precious");
    std::filesystem::create_symlink(dir.path() / "outside", dir.path() / "target");
    writeFile(dir.path() / "source", "new");
    ASSERT_TRUE(copyFileOver(dir / "source", dir / "target"));
    EXPECT_EQ(readFile(dir.path() / "outside"), "precious");
    EXPECT_FALSE(std::filesystem::is_symlink(dir.path() / "target"));
    EXPECT_EQ(readFile(dir.path() / "target"), "new");
}

TEST(FileSystem, FailedCopyLeavesTheTargetAndNoTemporaryFile) {
    ScratchDir dir;
    writeFile(dir.path() / "target", "old");
    EXPECT_FALSE(copyFileOver(dir / "missing", dir / "target"));
    EXPECT_EQ(readFile(dir.path() / "target"), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(FileSystem, ReplaceAtomicallyMovesTheFileIntoPlace) {
    ScratchDir dir;
    writeFile(dir.path() / "new", "fresh");
    writeFile(dir.path() / "archive", "stale");
    ASSERT_TRUE(replaceFileAtomically(dir / "new", dir / "archive"));
    EXPECT_EQ(readFile(dir.path() / "archive"), "fresh");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "new"));
    EXPECT_FALSE(replaceFileAtomically(dir / "missing", dir / "archive"));
    EXPECT_EQ(readFile(dir.path() / "archive"), "fresh");
}

TEST(File, DirectoriesCannotBeOpenedAsFiles) {
    ScratchDir dir;
    EXPECT_FALSE(File::openForReading(dir.path().string()));
    EXPECT_FALSE(File::createForWriting(dir.path().string()));
}

TEST(File, CreateReplacesASymbolicLink) {
    ScratchDir dir;
    writeFile(dir.path() / "outside", "precious");
    std::filesystem::create_symlink(dir.path() / "outside", dir.path() / "link");
    File file = File::createForWriting(dir / "link");
    ASSERT_TRUE(file);
    file.write("mine");
    ASSERT_TRUE(file.close());
    EXPECT_EQ(readFile(dir.path() / "outside"), "precious");
    EXPECT_EQ(readFile(dir.path() / "link"), "mine");
}

TEST(File, CloseReportsAWriteThatFailed) {
    File full = File::createForWriting("/dev/full");
    if (!full) GTEST_SKIP() << "no /dev/full here";
    std::string block(1 << 17, 'x');
    full.write(block);
    EXPECT_FALSE(full.close());
}

}  // namespace
}  // namespace bxa::platform
