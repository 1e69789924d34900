#include "view/model_source.hpp"

#include <algorithm>
#include <cstring>

#include "model/r7d_model.hpp"
#include "model/r7p_model.hpp"
#include "model/r7t_model.hpp"
#include "platform/file.hpp"
#include "platform/directory.hpp"
#include "view/work_directory.hpp"

namespace bxa::view {

namespace {

struct Survey {
    bool holdsNul = false;
    uint64_t lineEnds = 0;
};

// One pass over the file: is it binary, and how many lines does it have as text.
std::optional<Survey> survey(platform::File& file) {
    Survey result;
    std::vector<char> block(1 << 16);
    for (;;) {
        size_t got = file.read(block.data(), block.size());
        if (got == 0) break;
        if (std::memchr(block.data(), '\0', got) != nullptr) result.holdsNul = true;
        result.lineEnds += static_cast<uint64_t>(std::count(block.data(), block.data() + got, '\n'));
    }
    if (std::ferror(file.handle()) != 0) return std::nullopt;
    return result;
}

std::optional<std::vector<uint8_t>> readWhole(platform::File& file, uint64_t size) {
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!file.seek(0) || file.read(bytes.data(), bytes.size()) != bytes.size()) return std::nullopt;
    return bytes;
}

bool convertText(ModelFormat format, platform::File& text, platform::File& model) {
    ConversionResult result = ConversionResult::WriteFailed;
    switch (format) {
        case ModelFormat::R7d: result = convertTextToR7d(text, model); break;
        case ModelFormat::R7p: result = convertTextToR7p(text, model); break;
        case ModelFormat::R7t: result = convertTextToR7t(text, model); break;
    }
    return result == ConversionResult::Ok && model.flush();
}

std::string mebibytes(uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

}  // namespace

std::optional<ModelFormat> modelFormatOfName(std::string_view fileName) {
    size_t dot = fileName.rfind('.');
    std::string_view extension = dot == std::string_view::npos ? fileName : fileName.substr(dot + 1);
    if (extension == "R7D") return ModelFormat::R7d;
    if (extension == "R7P") return ModelFormat::R7p;
    if (extension == "R7T") return ModelFormat::R7t;
    return std::nullopt;
}

std::optional<ModelBinary> loadModelBinary(const std::string& path, ModelFormat format,
                                           const platform::Directory& scratchDirectory, std::string& error) {
    platform::OpenFailure failure = platform::OpenFailure::None;
    platform::File file = platform::File::openForReading(path, &failure);
    std::optional<int64_t> length = file ? file.length() : std::nullopt;
    if (!length) {
        error = file ? "cannot be read" : whyNotOpened(failure, "regular file");
        return std::nullopt;
    }
    auto size = static_cast<uint64_t>(*length);
    if (size > MaxTextBytes) {
        error = "is larger than the " + mebibytes(MaxTextBytes) + " a model may have here";
        return std::nullopt;
    }
    std::optional<Survey> found = survey(file);
    if (!found) {
        error = "could not be read";
        return std::nullopt;
    }
    if (found->holdsNul) {
        if (size > MaxModelBytes) {
            error = "is larger than the " + mebibytes(MaxModelBytes) + " a binary model may have here";
            return std::nullopt;
        }
        std::optional<std::vector<uint8_t>> bytes = readWhole(file, size);
        if (!bytes) {
            error = "could not be read";
            return std::nullopt;
        }
        return ModelBinary{std::move(*bytes), false};
    }
    if (found->lineEnds >= MaxTextLines) {
        error = "has more than the " + std::to_string(MaxTextLines) + " lines a model text may have here";
        return std::nullopt;
    }
    // The converter's output goes to a working file of the output directory, removed however this ends.
    platform::WorkingFile scratch = scratchDirectory.createWorkingFile();
    // The conversion stops as soon as the binary form passes the bound, which a short text can reach.
    if (scratch) scratch.file().limitWrites(static_cast<int64_t>(MaxModelBytes) + 1);
    if (!scratch || !convertText(format, file, scratch.file())) {
        const bool tooLarge = scratch && scratch.file().writeLimitReached();
        error = tooLarge ? "has a binary form larger than the " + mebibytes(MaxModelBytes) +
                               " a model may have here"
                         : "could not be converted to its binary form";
        return std::nullopt;
    }
    platform::File& binary = scratch.file();
    std::optional<int64_t> binaryLength = binary.length();
    if (!binaryLength) {
        error = "could not be converted to its binary form";
        return std::nullopt;
    }
    if (static_cast<uint64_t>(*binaryLength) > MaxModelBytes) {
        error = "has a binary form larger than the " + mebibytes(MaxModelBytes) + " a model may have here";
        return std::nullopt;
    }
    std::optional<std::vector<uint8_t>> bytes = readWhole(binary, static_cast<uint64_t>(*binaryLength));
    if (!bytes) {
        error = "could not be converted to its binary form";
        return std::nullopt;
    }
    return ModelBinary{std::move(*bytes), true};
}

}  // namespace bxa::view
