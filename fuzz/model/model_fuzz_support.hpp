// Shared harness of the model converter fuzz targets. Each input goes through a file in a scratch
// directory private to the process (made once with mkdtemp; nothing is written outside it).
//
// Besides "no crash, no hang, no out-of-bounds access", the harness checks that the text form settles:
// a well-formed binary model (every count matched by whole records) converted to text and back twice
// gives the same text the second time as the first. One round may change a model (floats are rounded
// to the text's decimals, a name loses leading spaces or stops at a colon); a second round must not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "model/r7d_model.hpp"
#include "model/r7p_model.hpp"
#include "model/r7t_model.hpp"
#include "platform/byte_order.hpp"

namespace bxa::fuzz {

using Converter = bool (*)(const std::string& modelPath, const std::string& textPath);

struct ModelKind {
    Converter toText;
    Converter toModel;
    // True when every count of the model is matched by whole records (trailing bytes allowed).
    bool (*wellFormed)(const std::string& bytes);
};

inline const uint8_t* bytesOf(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

inline bool r7dWellFormed(const std::string& b) {
    if (b.size() < 16) return false;
    const uint8_t* p = bytesOf(b);
    uint64_t need = 16 + 40ull * loadUint32(p) + 7ull * loadUint32(p + 4) + 32ull * loadUint32(p + 8) +
                    96ull * loadUint32(p + 12);
    return need <= b.size();
}

inline bool r7pWellFormed(const std::string& b) {
    const uint8_t* p = bytesOf(b);
    const uint64_t size = b.size();
    if (size < 16) return false;
    uint64_t at = 16 + 32ull * loadUint32(p + 8);
    uint32_t entities = loadUint32(p + 12);
    for (uint32_t e = 0; e < entities; ++e) {
        if (at + 88 > size) return false;
        int meshes = loadInt16(p + at + 82);
        at += 88;
        for (int m = 0; m < meshes; ++m) {
            if (at + 6 > size) return false;
            int v = loadInt16(p + at), f = loadInt16(p + at + 2);
            at += 6 + 40ull * static_cast<uint64_t>(v > 0 ? v : 0) + 6ull * static_cast<uint64_t>(f > 0 ? f : 0);
        }
    }
    return at <= size;
}

inline bool r7tWellFormed(const std::string& b) {
    const uint8_t* p = bytesOf(b);
    const uint64_t size = b.size();
    if (size < 1) return false;
    int records = p[0];
    uint64_t at = 1 + 32ull * static_cast<uint64_t>(records) + 1;
    for (int r = 0; r < records; ++r) {
        if (at + 5 > size) return false;
        uint64_t v = loadUint16(p + at), f = loadUint16(p + at + 2);
        at += 5 + 32 * v;
        if (at + 1 > size) return false;
        uint64_t faceSize = p[at] != 0 ? 3 : 6;
        at += 1 + faceSize * f;
    }
    return at <= size;
}

inline const ModelKind R7d{convertR7dToText, convertTextToR7d, r7dWellFormed};
inline const ModelKind R7p{convertR7pToText, convertTextToR7p, r7pWellFormed};
inline const ModelKind R7t{convertR7tToText, convertTextToR7t, r7tWellFormed};

// Never destroyed, so that the clean-up at exit can still name it.
inline const std::string& scratchDir() {
    static const std::string* dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "bxa_model_fuzz_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return new std::string(pattern);
    }();
    return *dir;
}

// Removes the scratch directory when the process ends normally (a crash leaves it for inspection).
struct ScratchCleanup {
    ~ScratchCleanup() {
        std::error_code ignored;
        std::filesystem::remove_all(scratchDir(), ignored);
    }
};
inline const ScratchCleanup scratchCleanup;

inline std::string scratch(const char* name) { return scratchDir() + "/" + name; }

inline void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Binary -> text -> binary; returns the text.
inline std::string textOf(const ModelKind& kind, const std::string& model) {
    writeFile(scratch("round.bin"), bytesOf(model), model.size());
    if (!kind.toText(scratch("round.bin"), scratch("round.txt"))) std::abort();
    return readFile(scratch("round.txt"));
}

inline std::string modelOf(const ModelKind& kind, const std::string& text) {
    writeFile(scratch("round.txt"), bytesOf(text), text.size());
    if (!kind.toModel(scratch("round.bin"), scratch("round.txt"))) std::abort();
    return readFile(scratch("round.bin"));
}

inline void checkTextSettles(const ModelKind& kind, const std::string& model) {
    if (!kind.wellFormed(model)) return;
    std::string once = modelOf(kind, textOf(kind, model));
    if (!kind.wellFormed(once)) return;
    std::string text = textOf(kind, once);
    std::string again = textOf(kind, modelOf(kind, text));
    if (again != text) {
        std::fprintf(stderr, "model text does not settle after one round trip\n");
        std::abort();
    }
}

inline void fuzzBinaryToText(const ModelKind& kind, const uint8_t* data, size_t size) {
    writeFile(scratch("input.bin"), data, size);
    if (!kind.toText(scratch("input.bin"), scratch("input.txt"))) std::abort();
    checkTextSettles(kind, std::string(reinterpret_cast<const char*>(data), size));
}

inline void fuzzTextToBinary(const ModelKind& kind, const uint8_t* data, size_t size) {
    writeFile(scratch("input.txt"), data, size);
    if (!kind.toModel(scratch("input.bin"), scratch("input.txt"))) std::abort();
    checkTextSettles(kind, readFile(scratch("input.bin")));
}

}  // namespace bxa::fuzz
