#include "model/model_text.hpp"

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/console.hpp"

namespace bxa::model_text {

// ---------------------------------------------------------------------------------------------------
// The path-based converters
// ---------------------------------------------------------------------------------------------------

namespace {

void reportModelOpenFailure(const std::string& modelPath) {
    platform::StandardConsole().err("\nError: Could not open R7 file (%s)\n", modelPath.c_str());
}

void reportTextOpenFailure(const std::string& textPath) {
    platform::StandardConsole().err("\nError: Could not open output file (%s)\n", textPath.c_str());
}

}  // namespace

bool convertPaths(const std::string& modelPath, const std::string& textPath, Output output,
                  FileConverter convert) {
    using platform::File;
    const bool toText = output == Output::Text;
    File model = toText ? File::openForReading(modelPath) : File::createForWriting(modelPath);
    if (!model) {
        reportModelOpenFailure(modelPath);
        return false;
    }
    File text = toText ? File::createForWriting(textPath) : File::openForReading(textPath);
    if (!text) {
        model.close();
        reportTextOpenFailure(textPath);
        return false;
    }
    File& in = toText ? model : text;
    File& out = toText ? text : model;
    const ConversionResult result = convert(in, out);
    in.close();
    if (out.close() && result != ConversionResult::WriteFailed) return true;
    if (toText) {
        platform::StandardConsole().err("\nError: Could not write output file (%s)\n", textPath.c_str());
    } else {
        platform::StandardConsole().err("\nError: Could not write R7 file (%s)\n", modelPath.c_str());
    }
    return false;
}

namespace {

ConversionResult resultOf(const platform::File& input, const platform::File& output) {
    if (output.writeFailed()) return ConversionResult::WriteFailed;
    if (input.readFailed()) return ConversionResult::ReadFailed;
    return ConversionResult::Ok;
}

}  // namespace

ConversionResult convertToText(platform::File& model, platform::File& text, ModelToText work) {
    if (!model.seek(0)) return ConversionResult::ReadFailed;
    {
        TextWriter out(text);
        work(model, out);
    }
    return resultOf(model, text);
}

ConversionResult convertToModel(platform::File& text, platform::File& model, TextToModel work) {
    if (!text.seek(0)) return ConversionResult::ReadFailed;
    work(text, model);
    return resultOf(text, model);
}

// ---------------------------------------------------------------------------------------------------
// Number formatting
// ---------------------------------------------------------------------------------------------------

namespace {

constexpr uint64_t PowersOfTen[] = {1,       10,       100,       1000,       10000,
                                    100000,  1000000,  10000000,  100000000,  1000000000};
constexpr int MaxFastDecimals = 9;
// Above 2^39 the integer part times the float's 24-bit mantissa no longer fits the 64-bit fast path.
constexpr int MaxFastExponent = 39;

void padTo(std::string& out, size_t start, int width) {
    size_t length = out.size() - start;
    if (width > 0 && length < static_cast<size_t>(width)) {
        out.insert(start, static_cast<size_t>(width) - length, ' ');
    }
}

void appendDigits(std::string& out, uint64_t value, int minDigits) {
    char digits[24];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count < minDigits) digits[count++] = '0';
    while (count > 0) out.push_back(digits[--count]);
}

void appendFixedSlow(std::string& out, float value, int width, int decimals) {
    // Large values need more than 64 bits; printf is exact there and such values are rare.
    char text[400];
    int length = std::snprintf(text, sizeof text, "%*.*f", width, decimals, static_cast<double>(value));
    if (length > 0) out.append(text, static_cast<size_t>(length) < sizeof text ? static_cast<size_t>(length) : sizeof text - 1);
}

}  // namespace

void appendFixed(std::string& out, float value, int width, int decimals) {
    uint32_t bits = std::bit_cast<uint32_t>(value);
    bool negative = (bits >> 31) != 0;
    int biasedExponent = static_cast<int>((bits >> 23) & 0xFF);
    uint64_t mantissa = bits & 0x7FFFFF;
    if (biasedExponent == 0xFF || decimals < 0 || decimals > MaxFastDecimals) {
        appendFixedSlow(out, value, width, decimals);
        return;
    }
    int exponent = -149;
    if (biasedExponent != 0) {
        mantissa |= 0x800000;
        exponent = biasedExponent - 150;
    }
    if (exponent > MaxFastExponent) {
        appendFixedSlow(out, value, width, decimals);
        return;
    }
    uint64_t scale = PowersOfTen[decimals];
    uint64_t integerPart = 0;
    uint64_t fraction = 0;
    if (exponent >= 0) {
        integerPart = mantissa << exponent;
    } else {
        // The value is mantissa / 2^shift; scaled by 10^decimals (< 2^54) it is rounded to the nearest
        // integer with ties to even, exactly as printf rounds the exact binary value.
        int shift = -exponent;
        uint64_t scaled = mantissa * scale;
        uint64_t rounded = 0;
        if (shift < 64) {
            rounded = scaled >> shift;
            uint64_t remainder = scaled & ((uint64_t{1} << shift) - 1);
            uint64_t half = uint64_t{1} << (shift - 1);
            if (remainder > half || (remainder == half && (rounded & 1) != 0)) ++rounded;
        }
        integerPart = rounded / scale;
        fraction = rounded % scale;
    }
    size_t start = out.size();
    if (negative) out.push_back('-');
    appendDigits(out, integerPart, 1);
    if (decimals > 0) {
        out.push_back('.');
        appendDigits(out, fraction, decimals);
    }
    padTo(out, start, width);
}

void appendInteger(std::string& out, int64_t value, int width) {
    size_t start = out.size();
    uint64_t magnitude = static_cast<uint64_t>(value);
    if (value < 0) {
        out.push_back('-');
        magnitude = ~magnitude + 1;
    }
    appendDigits(out, magnitude, 1);
    padTo(out, start, width);
}

// ---------------------------------------------------------------------------------------------------
// TextWriter
// ---------------------------------------------------------------------------------------------------

namespace {
constexpr size_t WriteBlockSize = size_t{1} << 16;
}

TextWriter::TextWriter(platform::File& file) : file_(file) { buffer_.reserve(WriteBlockSize + 4096); }

TextWriter& TextWriter::text(std::string_view piece) {
    buffer_.append(piece);
    return *this;
}

TextWriter& TextWriter::integer(int64_t value, int width) {
    appendInteger(buffer_, value, width);
    return *this;
}

TextWriter& TextWriter::fixed(float value, int width, int decimals) {
    appendFixed(buffer_, value, width, decimals);
    return *this;
}

TextWriter& TextWriter::name(const uint8_t* field, size_t size, int width) {
    const void* nul = std::memchr(field, 0, size);
    size_t length = nul == nullptr ? size : static_cast<size_t>(static_cast<const uint8_t*>(nul) - field);
    if (width > 0 && length < static_cast<size_t>(width)) buffer_.append(static_cast<size_t>(width) - length, ' ');
    buffer_.append(reinterpret_cast<const char*>(field), length);
    return *this;
}

void TextWriter::endLine() {
    buffer_.append("\r\n");
    if (buffer_.size() >= WriteBlockSize) flush();
}

void TextWriter::flush() {
    if (buffer_.empty()) return;
    file_.write(buffer_);
    buffer_.clear();
}

// ---------------------------------------------------------------------------------------------------
// Scanner
// ---------------------------------------------------------------------------------------------------

namespace {
// The C locale's white space, which scanf skips.
bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

void Scanner::skipSpace() {
    while (isSpace(*p_)) ++p_;
}

bool Scanner::scanInt(int32_t& value) {
    if (failed_) return false;
    skipSpace();
    const char* p = p_;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (!isDigit(*p)) {
        failed_ = true;
        return false;
    }
    // Unsigned arithmetic wraps modulo 2^32, which keeps exactly the low 32 bits of a longer number.
    uint32_t magnitude = 0;
    while (isDigit(*p)) magnitude = magnitude * 10u + static_cast<uint32_t>(*p++ - '0');
    p_ = p;
    value = static_cast<int32_t>(negative ? 0u - magnitude : magnitude);
    return true;
}

namespace {

constexpr double ExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                       1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Plain decimals ("-12.345678") as the text forms write them, without strtof's cost. Both the digits
// (below 2^53) and the power of ten (up to 10^22) are exact doubles, so their quotient is the correctly
// rounded double; rounding that to float is then exact unless the double lies on a midpoint between two
// floats, which is left to strtof, as is everything else (exponents, hex, inf, nan, subnormals).
bool scanPlainDecimal(const char*& text, float& value) {
    const char* p = text;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    uint64_t digits = 0;
    int count = 0;
    int decimals = 0;
    for (; isDigit(*p); ++p, ++count) digits = digits * 10 + static_cast<uint64_t>(*p - '0');
    if (*p == '.') {
        for (++p; isDigit(*p); ++p, ++count, ++decimals) digits = digits * 10 + static_cast<uint64_t>(*p - '0');
    }
    if (count == 0 || count > 15) return false;
    switch (*p) {
    case 'e': case 'E': case 'x': case 'X': case 'p': case 'P': return false;
    default: break;
    }
    double exact = static_cast<double>(digits) / ExactPowersOfTen[decimals];
    if (exact != 0.0) {
        if (exact < 1.1754943508222875e-38 || exact > 3.4028234663852886e38) return false;
        constexpr uint64_t BelowFloatPrecision = (uint64_t{1} << 29) - 1;
        if ((std::bit_cast<uint64_t>(exact) & BelowFloatPrecision) == (uint64_t{1} << 28)) return false;
    }
    float result = static_cast<float>(exact);
    value = negative ? -result : result;
    text = p;
    return true;
}

}  // namespace

bool Scanner::scanFloat(float& value) {
    if (failed_) return false;
    skipSpace();
    if (scanPlainDecimal(p_, value)) return true;
    char* end = nullptr;
    float parsed = std::strtof(p_, &end);
    if (end == p_) {
        failed_ = true;
        return false;
    }
    p_ = end;
    value = parsed;
    return true;
}

bool Scanner::skipWord(size_t maxChars) {
    if (failed_) return false;
    skipSpace();
    if (*p_ == '\0') {
        failed_ = true;
        return false;
    }
    for (size_t count = 0; count < maxChars && *p_ != '\0' && !isSpace(*p_); ++count) ++p_;
    return true;
}

int32_t scanLabelledInt(const std::string& line) {
    constexpr size_t MaxLabelChars = 127;
    Scanner scanner(line.c_str());
    int32_t value = 0;
    if (scanner.skipWord(MaxLabelChars)) scanner.scanInt(value);
    return value;
}

std::optional<std::string_view> afterFirstColon(std::string_view line) {
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    return line.substr(colon + 1);
}

EntityLineParts splitEntityLine(const std::string& line) {
    EntityLineParts parts;
    if (auto rest = afterFirstColon(line)) {
        size_t colon = rest->find(':');
        parts.name = rest->substr(0, colon);
        if (colon != std::string_view::npos) parts.numbers = rest->data() + colon + 1;
    }
    return parts;
}

std::string_view skipLeadingSpaces(std::string_view text) {
    size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

void storeName(uint8_t* field, size_t size, std::string_view name) {
    size_t length = name.size() < size ? name.size() : size;
    // An empty view may carry a null pointer, which memcpy must not see even for zero bytes.
    if (length > 0) std::memcpy(field, name.data(), length);
    std::memset(field + length, 0, size - length);
}

void formatModelHeaderLines(TextWriter& out, const ModelHeader& header) {
    out.text("NumVertices: ").integer(static_cast<int32_t>(header.NumVertices), 6).endLine();
    out.text("NumFaces: ").integer(static_cast<int32_t>(header.NumFaces), 6).endLine();
    out.text("NumBitmaps: ").integer(static_cast<int32_t>(header.NumBitmaps), 6).endLine();
    out.text("NumEntities: ").integer(static_cast<int32_t>(header.NumEntities), 6).endLine();
}

ModelHeader parseModelHeaderLines(platform::LineReader& in) {
    uint32_t counts[4] = {};
    for (uint32_t& count : counts) {
        in.next();
        count = static_cast<uint32_t>(scanLabelledInt(in.line()));
    }
    return {counts[0], counts[1], counts[2], counts[3]};
}

}  // namespace bxa::model_text
