// Conversion speed of the three model kinds on models of about one million vertices, in both directions.
// Throughput is counted in bytes of text: written by binary -> text, read by text -> binary.
#include <benchmark/benchmark.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "model/r7d_model.hpp"
#include "model/r7p_model.hpp"
#include "model/r7t_model.hpp"
#include "platform/byte_order.hpp"

namespace {

using Converter = bool (*)(const std::string& modelPath, const std::string& textPath);

constexpr uint32_t TotalVertices = 1000000;

class ModelBuilder {
public:
    ModelBuilder() : rng_(2024) {}
    void u8(uint32_t v) { bytes_.push_back(static_cast<uint8_t>(v)); }
    void u16(uint32_t v) { put(v, 2); }
    void u32(uint32_t v) { put(v, 4); }
    void f32(float v) { put(std::bit_cast<uint32_t>(v), 4); }
    void name(const std::string& text) {
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        bytes_.resize(bytes_.size() + 32 - text.size(), 0);
    }
    // Coordinates, normals and texture values of the sizes models carry.
    void coordinate() { f32(std::uniform_real_distribution<float>(-500.0f, 500.0f)(rng_)); }
    void unit() { f32(std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng_)); }
    void index(uint32_t limit) { u16(static_cast<uint32_t>(rng_() % limit)); }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    void put(uint32_t v, int count) {
        for (int i = 0; i < count; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
    std::vector<uint8_t> bytes_;
    std::mt19937 rng_;
};

void modelVertex(ModelBuilder& b) {
    for (int i = 0; i < 4; ++i) b.coordinate();
    for (int i = 0; i < 4; ++i) b.unit();
    b.unit();
    b.unit();
}

std::vector<uint8_t> makeR7d() {
    ModelBuilder b;
    const uint32_t faces = TotalVertices, bitmaps = 16, entities = 100;
    b.u32(TotalVertices), b.u32(faces), b.u32(bitmaps), b.u32(entities);
    for (uint32_t i = 0; i < TotalVertices; ++i) modelVertex(b);
    for (uint32_t i = 0; i < faces * 3; ++i) b.index(32768);
    for (uint32_t i = 0; i < bitmaps; ++i) b.name("bitmap" + std::to_string(i) + ".bmp");
    for (uint32_t i = 0; i < entities; ++i) {
        b.name("entity" + std::to_string(i));
        for (int k = 0; k < 7; ++k) b.unit();
        for (int k = 0; k < 4; ++k) b.u32(i);
        for (int k = 0; k < 4; ++k) b.u16(i);
        for (int k = 0; k < 3; ++k) b.u32(0);
    }
    for (uint32_t i = 0; i < faces; ++i) b.u8(i % 20);
    return b.bytes();
}

std::vector<uint8_t> makeR7p() {
    ModelBuilder b;
    const uint32_t entities = 100, perMesh = TotalVertices / entities;
    b.u32(TotalVertices), b.u32(TotalVertices), b.u32(4), b.u32(entities);
    for (int i = 0; i < 4; ++i) b.name("hull" + std::to_string(i) + ".bmp");
    for (uint32_t e = 0; e < entities; ++e) {
        b.name("part" + std::to_string(e));
        for (int k = 0; k < 7; ++k) b.unit();
        for (int k = 0; k < 3; ++k) b.u32(e);
        for (int k = 0; k < 8; ++k) b.u16(k == 5 ? 1 : e);
        b.u16(perMesh), b.u16(perMesh), b.u16(e % 4);
        for (uint32_t v = 0; v < perMesh; ++v) modelVertex(b);
        for (uint32_t f = 0; f < perMesh * 3; ++f) b.index(perMesh);
    }
    return b.bytes();
}

std::vector<uint8_t> makeR7t() {
    ModelBuilder b;
    const uint32_t records = 20, perRecord = TotalVertices / records;
    b.u8(records);
    for (uint32_t r = 0; r < records; ++r) b.name("tree" + std::to_string(r));
    b.u8(0);
    for (uint32_t r = 0; r < records; ++r) {
        b.u16(perRecord), b.u16(perRecord), b.u8(r);
        for (uint32_t v = 0; v < perRecord; ++v) {
            for (int k = 0; k < 4; ++k) b.coordinate();
            for (int k = 0; k < 4; ++k) b.unit();
        }
        b.u8(0);
        for (uint32_t f = 0; f < perRecord * 3; ++f) b.index(32768);
    }
    return b.bytes();
}

struct Fixture {
    std::string model, text, scratch;
    int64_t textSize = 0;
};

// Never destroyed, so that the clean-up at exit can still name it.
const std::string& scratchDir() {
    static const std::string* dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "bxa_model_bench_XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        return new std::string(pattern);
    }();
    return *dir;
}

// Writes the binary model once and its text form once, to be converted over and over.
Fixture prepare(const std::string& kind, std::vector<uint8_t> (*make)(), Converter toText) {
    Fixture f;
    f.model = scratchDir() + "/" + kind + ".bin";
    f.text = scratchDir() + "/" + kind + ".txt";
    f.scratch = scratchDir() + "/" + kind + ".out";
    std::vector<uint8_t> bytes = make();
    std::ofstream(f.model, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    toText(f.model, f.text);
    f.textSize = static_cast<int64_t>(std::filesystem::file_size(f.text));
    return f;
}

void binaryToText(benchmark::State& state, const Fixture& f, Converter toText) {
    for (auto _ : state) benchmark::DoNotOptimize(toText(f.model, f.scratch));
    state.SetBytesProcessed(state.iterations() * f.textSize);
}

void textToBinary(benchmark::State& state, const Fixture& f, Converter toModel) {
    for (auto _ : state) benchmark::DoNotOptimize(toModel(f.scratch, f.text));
    state.SetBytesProcessed(state.iterations() * f.textSize);
}

const Fixture& r7d() {
    static const Fixture f = prepare("r7d", makeR7d, bxa::convertR7dToText);
    return f;
}
const Fixture& r7p() {
    static const Fixture f = prepare("r7p", makeR7p, bxa::convertR7pToText);
    return f;
}
const Fixture& r7t() {
    static const Fixture f = prepare("r7t", makeR7t, bxa::convertR7tToText);
    return f;
}

void BM_R7dToText(benchmark::State& s) { binaryToText(s, r7d(), bxa::convertR7dToText); }
void BM_TextToR7d(benchmark::State& s) { textToBinary(s, r7d(), bxa::convertTextToR7d); }
void BM_R7pToText(benchmark::State& s) { binaryToText(s, r7p(), bxa::convertR7pToText); }
void BM_TextToR7p(benchmark::State& s) { textToBinary(s, r7p(), bxa::convertTextToR7p); }
void BM_R7tToText(benchmark::State& s) { binaryToText(s, r7t(), bxa::convertR7tToText); }
void BM_TextToR7t(benchmark::State& s) { textToBinary(s, r7t(), bxa::convertTextToR7t); }

BENCHMARK(BM_R7dToText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TextToR7d)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_R7pToText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TextToR7p)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_R7tToText)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TextToR7t)->Unit(benchmark::kMillisecond)->UseRealTime();

// The scratch directory holds a few hundred megabytes; remove it when the run ends.
struct Cleanup {
    ~Cleanup() {
        std::error_code ignored;
        std::filesystem::remove_all(scratchDir(), ignored);
    }
};
const Cleanup cleanup;

}  // namespace

BENCHMARK_MAIN();
