// Pieces shared by the three model kinds: the path-based converters with their messages, a buffered
// CR LF text writer with printf-exact number formatting, and a scanner with the semantics of the scanf
// conversions the text forms are read with (the lines come from platform::LineReader).
//
// Internal to the model subsystem; the public contracts are the three r7*_model.hpp headers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model/conversion_result.hpp"
#include "model/model_records.hpp"
#include "platform/file.hpp"
#include "platform/line_reader.hpp"

namespace bxa::model_text {

// ---------------------------------------------------------------------------------------------------
// A kind's two conversions, run under the contract of conversion_result.hpp
// ---------------------------------------------------------------------------------------------------

class TextWriter;

// The work of one direction, from the input at its start to the output; a read that fails or falls
// short ends the input.
using ModelToText = void (*)(platform::File& model, TextWriter& out);
using TextToModel = void (*)(platform::File& text, platform::File& model);

// Seeks the input to its start, runs the work (the text through a TextWriter, flushed before this
// returns) and tells the result from the two files.
ConversionResult convertToText(platform::File& model, platform::File& text, ModelToText work);
ConversionResult convertToModel(platform::File& text, platform::File& model, TextToModel work);

// A converter over open files, and the one over paths that runs it: opens, converts, closes and prints
// the messages of conversion_result.hpp. `output` names the file that is written.
using FileConverter = ConversionResult (*)(platform::File& input, platform::File& output);
enum class Output { Text, Model };
bool convertPaths(const std::string& modelPath, const std::string& textPath, Output output,
                  FileConverter convert);

// Reads exactly `size` bytes of a binary record; false when the file ends first.
inline bool readRecord(platform::File& file, void* record, size_t size) { return file.read(record, size) == size; }

// ---------------------------------------------------------------------------------------------------
// Writing text
// ---------------------------------------------------------------------------------------------------

// Appends to a memory buffer and hands it to the file in large blocks. Every number is formatted exactly
// as the printf conversion named beside each function would format it.
class TextWriter {
public:
    explicit TextWriter(platform::File& file);
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;
    ~TextWriter() { flush(); }

    TextWriter& text(std::string_view piece);
    // "%*d" of a signed value, "%*u" of an unsigned one.
    TextWriter& integer(int64_t value, int width);
    // "%*.*f" of the float promoted to double.
    TextWriter& fixed(float value, int width, int decimals);
    // "%*s" of a NUL-padded name field: the bytes up to the first NUL, never more than `size` bytes.
    TextWriter& name(const uint8_t* field, size_t size, int width);
    // Ends the line with CR LF on every platform.
    void endLine();
    void flush();

private:
    platform::File& file_;
    std::string buffer_;
};

// Appends "%*.*f" of `value` (promoted to double) to `out`. Exact, including round-half-even on exact
// ties, "-0.0000" for negative values that round to zero, and "nan"/"inf" spellings.
void appendFixed(std::string& out, float value, int width, int decimals);

// Appends "%*lld" of `value` to `out`.
void appendInteger(std::string& out, int64_t value, int width);

// ---------------------------------------------------------------------------------------------------
// Reading text
// ---------------------------------------------------------------------------------------------------

// Scans numbers from a NUL-terminated text with the semantics of a scanf call: each conversion skips
// white space first; a conversion that fails ends the scan, and it and every later conversion leave
// their target untouched (callers start targets at 0, so a missing number reads as 0).
class Scanner {
public:
    explicit Scanner(const char* text) : p_(text) {}

    // "%d": optional sign and decimal digits; keeps the low 32 bits of a longer number.
    bool scanInt(int32_t& value);
    // "%f": a float as strtof reads it (decimal, exponent, hex, inf, nan), nearest float to the text.
    bool scanFloat(float& value);
    // "%<maxChars>s": skips up to `maxChars` non-white-space characters; fails on an empty rest.
    bool skipWord(size_t maxChars);

private:
    void skipSpace();
    const char* p_;
    bool failed_ = false;
};

// The word of a "%s %d" line (at most 127 characters, ignored) and its integer; 0 when the line holds
// no number.
int32_t scanLabelledInt(const std::string& line);

// The text after the first colon of `line`, or nothing when the line has no colon.
std::optional<std::string_view> afterFirstColon(std::string_view line);

// An entity line's parts: the name lies between the first and the second colon, the numbers follow the
// second colon. Without a second colon the line holds no numbers; without any colon, no name either.
struct EntityLineParts {
    std::string_view name;
    const char* numbers = "";
};
EntityLineParts splitEntityLine(const std::string& line);

// Drops leading space characters (only ' '; a tab is part of a name).
std::string_view skipLeadingSpaces(std::string_view text);

// Writes `name` into a field of `size` bytes: its first `size` bytes, NUL-padded (a name of exactly
// `size` bytes fills the field without a NUL).
void storeName(uint8_t* field, size_t size, std::string_view name);

// ---------------------------------------------------------------------------------------------------
// The ModelHeader that R7D and R7P share: four uint32 counts <-> "NumVertices: %6d" and three lines like it
// ---------------------------------------------------------------------------------------------------

// Counts are printed as signed 32-bit numbers.
void formatModelHeaderLines(TextWriter& out, const ModelHeader& header);

// Reads four "%s %d" lines; only their order matters, and a line without a number gives 0.
ModelHeader parseModelHeaderLines(platform::LineReader& in);

}  // namespace bxa::model_text
