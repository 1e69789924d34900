// Helpers for the model converter tests: a private temporary directory per test, whole-file reads and
// writes, a little-endian byte builder for binary models, and CR LF text assembly.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>

namespace bxa::test {

using Converter = bool (*)(const std::string& modelPath, const std::string& textPath);

class ModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "bxa_model_test_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    static void writeFile(const std::string& file, std::string_view bytes) {
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    static std::string readFile(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Binary model in, text out.
    std::string toText(Converter convert, std::string_view binary) {
        writeFile(path("model.bin"), binary);
        EXPECT_TRUE(convert(path("model.bin"), path("model.txt")));
        return readFile(path("model.txt"));
    }

    // Text in, binary model out.
    std::string toBinary(Converter convert, std::string_view text) {
        writeFile(path("source.txt"), text);
        EXPECT_TRUE(convert(path("source.bin"), path("source.txt")));
        return readFile(path("source.bin"));
    }

    std::filesystem::path dir_;
};

// Builds little-endian binary models field by field.
class Bytes {
public:
    Bytes& u8(uint32_t v) { return put(v, 1); }
    Bytes& u16(uint32_t v) { return put(v, 2); }
    Bytes& i16(int32_t v) { return put(static_cast<uint32_t>(v), 2); }
    Bytes& u32(uint32_t v) { return put(v, 4); }
    Bytes& i32(int32_t v) { return put(static_cast<uint32_t>(v), 4); }
    Bytes& f32(float v) { return put(std::bit_cast<uint32_t>(v), 4); }
    Bytes& floats(std::initializer_list<float> values) {
        for (float v : values) f32(v);
        return *this;
    }
    // A NUL-padded name field of `size` bytes; `text` must not be longer.
    Bytes& name(std::string_view text, size_t size = 32) {
        data_.append(text);
        data_.append(size - text.size(), '\0');
        return *this;
    }
    Bytes& raw(std::string_view bytes) {
        data_.append(bytes);
        return *this;
    }
    const std::string& str() const { return data_; }
    operator std::string_view() const { return data_; }

private:
    Bytes& put(uint32_t v, int count) {
        for (int i = 0; i < count; ++i) data_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        return *this;
    }
    std::string data_;
};

// Joins lines, each ended with CR LF.
inline std::string crlf(std::initializer_list<std::string_view> lines) {
    std::string text;
    for (std::string_view line : lines) {
        text.append(line);
        text.append("\r\n");
    }
    return text;
}

// `count` copies of `piece`.
inline std::string repeated(std::string_view piece, size_t count) {
    std::string text;
    text.reserve(piece.size() * count);
    for (size_t i = 0; i < count; ++i) text.append(piece);
    return text;
}

inline std::string golden(const std::string& name) {
    std::ifstream in(std::string(BXA_MODEL_GOLDEN_DIR) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of a CR LF text, without their line ends.
inline std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

inline float floatAt(const std::string& bytes, size_t offset) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes.at(offset + static_cast<size_t>(i)));
    return std::bit_cast<float>(v);
}

inline uint32_t uintAt(const std::string& bytes, size_t offset, int size) {
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(bytes.at(offset + static_cast<size_t>(i)));
    return v;
}

}  // namespace bxa::test
