// The public interface as a client sees it: errors as values with messages, messages through the callback
// exactly as the command line prints them, records read in each form, streams in memory.
#include <gtest/gtest.h>

#include "bxa/bxa.hpp"
#include "faults/fault_support.hpp"

namespace bxa {
namespace {

using namespace bxa::testing;

class Library : public ::testing::Test {
protected:
    InScratchDirectory scratch;

    // Options whose callback keeps every message, as the command line would print them.
    struct Recorded {
        std::string out;
        std::string err;
        std::string both;
    };
    Options recording(Recorded& recorded, unsigned threads = 0) {
        Options options;
        options.threads = threads;
        options.messages = [&recorded](Channel channel, std::string_view text) {
            (channel == Channel::Output ? recorded.out : recorded.err) += text;
            recorded.both += text;
        };
        return options;
    }

    static std::string read(const ArchiveReader& reader, size_t index, RecordForm form) {
        std::string bytes;
        Status status = reader.read(index, form, [&](const uint8_t* data, size_t size) {
            bytes.append(reinterpret_cast<const char*>(data), size);
            return true;
        });
        EXPECT_TRUE(status) << status.message();
        return bytes;
    }
};

TEST_F(Library, TheCommandsGiveTheCommandLinesMessagesAndResults) {
    writeWorkDir("work", exampleWorkFiles());
    Recorded packed;
    ASSERT_TRUE(pack("a.BXA", "work", recording(packed)));
    EXPECT_EQ(packed.err, "");
    EXPECT_TRUE(packed.out.starts_with("\nReading catalog...Compressing PRICES.CSV\n")) << packed.out;
    EXPECT_TRUE(packed.out.ends_with("Done\n")) << packed.out;
    EXPECT_TRUE(readBytes("a.BXA") == readBytes(fs::path(BXA_SOURCE_DIR) / "examples" / "example.BXA"));

    Recorded unpacked;
    ASSERT_TRUE(unpack("a.BXA", "out", recording(unpacked, 2)));
    EXPECT_EQ(readBytes(fs::path("out") / "PANEL.R7D"), exampleFile("PANEL.R7D"));
    Recorded named;
    ASSERT_TRUE(unpackRecord("a.BXA", "one", "absent.DAT", recording(named)));
    EXPECT_TRUE(named.out.ends_with("Warning: Specified file could not be found in archive (absent.DAT), no records written"));

    // A failure: the Status carries the error, the callback got it on its stream.
    Recorded failed;
    Status status = replace("a.BXA", "work", "gone.DAT", recording(failed));
    EXPECT_FALSE(status);
    EXPECT_EQ(status.message(), "Error: Could not open source file (" + joined("work", "gone.DAT") + "); file must exist");
    EXPECT_NE(failed.out.find(status.message()), std::string::npos);
    status = catalog("", "work");
    EXPECT_FALSE(status);
    EXPECT_NE(status.message().find("name is empty"), std::string::npos) << status.message();

    writeFile(fs::path("work") / "NEW.CSV", "a,b\r\n");
    EXPECT_TRUE(add("a.BXA", "work", "NEW.CSV"));
    status = add("a.BXA", "work", "NEW.CSV");
    EXPECT_EQ(status.message(), "Error: File already exists in the archive");
}

TEST_F(Library, AReaderGivesEachRecordStoredExpandedOrAsText) {
    writeWorkDir("work", exampleWorkFiles());
    ASSERT_TRUE(pack("a.BXA", "work"));
    ArchiveReader reader;
    ASSERT_TRUE(reader.open("a.BXA"));
    ASSERT_EQ(reader.records().size(), 6u);
    const RecordInfo& table = reader.records()[0];
    EXPECT_EQ(table.name, "PRICES.CSV");
    EXPECT_EQ(table.method, 2);
    EXPECT_EQ(table.dataOffset, 16 + 6 * 48);
    const std::string stored = read(reader, 0, RecordForm::Stored);
    EXPECT_EQ(stored.size(), static_cast<size_t>(table.storedSize));
    EXPECT_EQ(read(reader, 0, RecordForm::Expanded), exampleFile("PRICES.CSV"));
    EXPECT_EQ(read(reader, 0, RecordForm::Text), exampleFile("PRICES.CSV"));
    // A model: binary when expanded, its text form as unpack writes it.
    const std::string binary = read(reader, 3, RecordForm::Expanded);
    EXPECT_EQ(binary.size(), static_cast<size_t>(reader.records()[3].originalSize));
    EXPECT_NE(binary.find('\0'), std::string::npos);
    EXPECT_EQ(read(reader, 3, RecordForm::Text), exampleFile("PANEL.R7D"));
    // A sink that stops, an index out of range.
    EXPECT_FALSE(reader.read(0, RecordForm::Stored, [](const uint8_t*, size_t) { return false; }));
    EXPECT_FALSE(reader.read(6, RecordForm::Stored, [](const uint8_t*, size_t) { return true; }));
}

TEST_F(Library, HostileArchivesGiveFailuresNotCrashes) {
    ArchiveReader reader;
    Status missing = reader.open("missing.BXA");
    EXPECT_EQ(missing.message(), "Error: Could not open (missing.BXA)");
    EXPECT_TRUE(reader.records().empty());
    std::string archive = buildArchive({{"a.DAT", 1, "not a stream"}, {"b.DAT", 0, "bb"}});
    archive.replace(16 + 48 + 4, 4, int32Bytes(1 << 30));  // b.DAT runs far past the end
    writeFile("h.BXA", archive);
    ASSERT_TRUE(reader.open("h.BXA"));
    EXPECT_EQ(read(reader, 0, RecordForm::Expanded), "not a stream");  // kept as stored, as unpack does
    Status outside = reader.read(1, RecordForm::Stored, [](const uint8_t*, size_t) { return true; });
    EXPECT_EQ(outside.message(), "Error: Record (b.DAT) lies outside the archive");
}

TEST_F(Library, StreamsInMemoryRoundTrip) {
    const std::string text = tableText(300000, 3);
    std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    std::vector<uint8_t> one;
    std::vector<uint8_t> two;
    ASSERT_TRUE(compressStream(data, LiteralCoding::Ascii, one, 1));
    ASSERT_TRUE(compressStream(data, LiteralCoding::Ascii, two, 2));
    EXPECT_EQ(one, two);
    std::vector<uint8_t> back;
    ASSERT_TRUE(expandStream(one, back));
    EXPECT_EQ(std::string(back.begin(), back.end()), text);
    one.resize(one.size() / 2);
    EXPECT_EQ(expandStream(one, back).message(), "Error: The stream ends before its end symbol");
    EXPECT_FALSE(expandStream(std::vector<uint8_t>{1, 2, 3}, back));
}

}  // namespace
}  // namespace bxa
