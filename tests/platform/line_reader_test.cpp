#include "platform/line_reader.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/test_support.hpp"

namespace bxa::platform {
namespace {

using bxa::testing::ScratchDir;
using bxa::testing::writeFile;

// The reader fills its buffer in blocks of this many bytes.
constexpr size_t Block = size_t{1} << 16;

struct Line {
    std::string text;
    bool ended;
    bool operator==(const Line&) const = default;
};

void PrintTo(const Line& line, std::ostream* out) {
    *out << '"' << line.text << '"' << (line.ended ? " + end" : "");
}

// Every line of `text`, and whether it had a line end; checks that the reader then stays at the end.
std::vector<Line> linesOf(const std::string& text, size_t maxChars = 1023,
                          LineEnds ends = LineEnds::LfOrCrLf) {
    ScratchDir dir;
    writeFile(dir.path() / "t", text);
    File file = File::openForReading(dir / "t");
    LineReader reader(file, maxChars, ends);
    std::vector<Line> lines;
    while (reader.next()) lines.push_back({reader.line(), reader.lineEnded()});
    EXPECT_FALSE(reader.lineEnded());
    EXPECT_TRUE(reader.line().empty());
    EXPECT_FALSE(reader.next());
    EXPECT_EQ(reader.consumed(), text.size());
    return lines;
}

TEST(LineReader, AcceptsCrLfAndLfAndTellsWhetherTheLastLineHadALineEnd) {
    EXPECT_EQ(linesOf("a b\r\nc\nlast"), (std::vector<Line>{{"a b", true}, {"c", true}, {"last", false}}));
    EXPECT_EQ(linesOf("only\r\n"), (std::vector<Line>{{"only", true}}));
    EXPECT_EQ(linesOf("\r\n\n"), (std::vector<Line>{{"", true}, {"", true}}));
    EXPECT_EQ(linesOf(""), std::vector<Line>{});
}

TEST(LineReader, ACrIsALineEndOnlyBeforeAnLfUnlessLoneCrIsAskedFor) {
    const std::string text = "a\rb\r\nc\n\rd\r\r\ne\r";
    EXPECT_EQ(linesOf(text), (std::vector<Line>{{"a\rb", true}, {"c", true}, {"\rd\r", true}, {"e", false}}));
    EXPECT_EQ(linesOf(text, 1023, LineEnds::LfCrLfOrLoneCr),
              (std::vector<Line>{
                  {"a", true}, {"b", true}, {"c", true}, {"", true}, {"d", true}, {"", true}, {"e", true}}));
}

TEST(LineReader, ACrLfSplitByABlockBoundaryIsOneLineEnd) {
    // The CR is the last byte of the first block, its LF the first byte of the second.
    const std::string first(Block - 1, 'x');
    for (LineEnds ends : {LineEnds::LfOrCrLf, LineEnds::LfCrLfOrLoneCr}) {
        EXPECT_EQ(linesOf(first + "\r\nnext\r\n", Block, ends),
                  (std::vector<Line>{{first, true}, {"next", true}}));
    }
    // A lone CR at the end of the first block, and at the very end of the file.
    EXPECT_EQ(linesOf(first + "\rnext\r", Block, LineEnds::LfCrLfOrLoneCr),
              (std::vector<Line>{{first, true}, {"next", true}}));
    // The LF that opens the second block belongs to the CR before it; the next LF is a line of its own.
    EXPECT_EQ(linesOf(first + "\r\n\n", Block, LineEnds::LfCrLfOrLoneCr),
              (std::vector<Line>{{first, true}, {"", true}}));
}

TEST(LineReader, LinesAcrossBlockBoundariesComeWhole) {
    std::string text;
    std::vector<Line> expected;
    for (size_t length : {Block - 3, Block + 10, size_t{0}, 3 * Block, size_t{1}}) {
        expected.push_back({std::string(length, static_cast<char>('a' + expected.size())), true});
        text += expected.back().text + (expected.size() % 2 ? "\r\n" : "\n");
    }
    EXPECT_EQ(linesOf(text, 4 * Block), expected);
}

TEST(LineReader, AnOverlongLineIsCutAndItsRestSkipped) {
    EXPECT_EQ(linesOf("abcdefgh\r\nnext\r\nxy", 3),
              (std::vector<Line>{{"abc", true}, {"nex", true}, {"xy", false}}));
    // A line far longer than a block keeps its first characters and the next line stays in place.
    EXPECT_EQ(linesOf(std::string(5 * Block, 'z') + "\nafter\n", 7),
              (std::vector<Line>{{"zzzzzzz", true}, {"after", true}}));
    EXPECT_EQ(linesOf(std::string(5 * Block, 'z') + "\rafter\r", 7, LineEnds::LfCrLfOrLoneCr),
              (std::vector<Line>{{"zzzzzzz", true}, {"after", true}}));
}

TEST(LineReader, TheCrOfACrLfIsDroppedAfterTheCut) {
    // As from a line buffer of maxChars characters: a CR that fits is dropped, one past the cut never
    // reaches it, and a CR inside the line that becomes its end is dropped too.
    EXPECT_EQ(linesOf("abc\r\n", 3), (std::vector<Line>{{"abc", true}}));
    EXPECT_EQ(linesOf("ab\rcd\n", 3), (std::vector<Line>{{"ab", true}}));
    EXPECT_EQ(linesOf("ab\r\r\n", 100), (std::vector<Line>{{"ab\r", true}}));
}

TEST(LineReader, ANulEndsTheLineContent) {
    EXPECT_EQ(linesOf(std::string("ab\0cd\r\nnext\n\0", 13)),
              (std::vector<Line>{{"ab", true}, {"next", true}, {"", false}}));
    EXPECT_EQ(linesOf(std::string("ab\r\0\n", 5)), (std::vector<Line>{{"ab\r", true}}));
}

TEST(LineReader, AReaderStartedWhereAnotherHadGotReadsTheSameLines) {
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + (i % 3 ? "\r\n" : "\n");
    text += std::string(100, 'q') + "\r\nend";
    ScratchDir dir;
    writeFile(dir.path() / "t", text);
    File file = File::openForReading(dir / "t");
    LineReader first(file, 50);
    std::vector<std::pair<uint64_t, std::string>> starts;
    while (first.next()) starts.push_back({first.consumed(), first.line()});
    for (size_t i :
         {size_t{0}, size_t{1}, size_t{7000}, size_t{13107}, starts.size() - 3, starts.size() - 2}) {
        ASSERT_TRUE(file.seek(static_cast<int64_t>(starts[i].first)));
        LineReader again(file, 50);
        for (size_t k = i + 1; k < starts.size(); ++k) {
            ASSERT_TRUE(again.next());
            ASSERT_EQ(again.line(), starts[k].second) << "from line " << i << ", line " << k;
        }
        EXPECT_FALSE(again.next());
    }
}

TEST(LineReader, AFailedReadEndsTheTextAndIsTold) {
    ScratchDir dir;
    File writeOnly = File::createForWriting(dir / "w");
    ASSERT_TRUE(writeOnly.write("some\ntext\n"));
    LineReader reader(writeOnly, 100);
    EXPECT_FALSE(reader.next());
    EXPECT_TRUE(writeOnly.readFailed());

    writeFile(dir.path() / "r", "fine\n");
    File readable = File::openForReading(dir / "r");
    LineReader fine(readable, 100);
    while (fine.next()) {
    }
    EXPECT_FALSE(readable.readFailed());
}

}  // namespace
}  // namespace bxa::platform
