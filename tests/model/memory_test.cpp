// Peak memory of R7D conversions, measured in a process of their own: a conversion must stay under
// 16 MB whatever the model's counts and size claim, in both directions.
#include <cstdio>
#include <string>

#include "model/model_test_support.hpp"
#include "support/peak_memory.hpp"

namespace bxa::test {
namespace {

constexpr long LimitKiB = 16 * 1024;

class ModelMemoryTest : public ModelTest {
protected:
    // Runs one conversion in the probe and returns the peak resident memory of its process, in KiB.
    long peakKiB(const char* direction, const std::string& in, const std::string& out) {
        const bxa::testing::ProbeRun run =
            bxa::testing::runProbe({BXA_MODEL_MEMORY_PROBE, direction, in, out}, path("probe.out"));
        EXPECT_TRUE(run.succeeded()) << direction << " " << in << ": status " << run.status;
        EXPECT_GE(run.peakKiB, 0);
        std::printf("peak memory of %s %s: %ld KiB\n", direction, in.c_str(), run.peakKiB);
        return run.peakKiB;
    }
};

TEST_F(ModelMemoryTest, ForgedCountsStayUnder16MegabytesBothWays) {
    // Counts of four billion over a megabyte of data.
    Bytes model;
    model.u32(0xFFFFFFFFu)
        .u32(0xFFFFFFFFu)
        .u32(0xFFFFFFFFu)
        .u32(0xFFFFFFFFu)
        .raw(std::string(1 << 20, '\x01'));
    writeFile(path("forged.r7d"), model);
    EXPECT_LT(peakKiB("to-text", path("forged.r7d"), "/dev/null"), LimitKiB);

    // Four billion faces claimed and eighteen million empty face lines given: each is a face, with an
    // index byte to write at the end.
    writeFile(path("forged.txt"),
              crlf({"NumVertices: 0", "NumFaces: 4000000000", "NumBitmaps: 0", "NumEntities: 0", "", ""}) +
                  std::string(18000000, '\n'));
    EXPECT_LT(peakKiB("to-model", path("forged.txt"), "/dev/null"), LimitKiB);
}

TEST_F(ModelMemoryTest, AModelOfMillionsOfFacesStaysUnder16MegabytesBothWays) {
    const uint32_t vertices = 100000, faces = 256 * 7813, bitmaps = 300, entities = 40;
    Bytes model;
    model.u32(vertices).u32(faces).u32(bitmaps).u32(entities);
    Bytes vertex;
    vertex.floats({1.5f, -2.25f, 3, 0, 0, 1, 0, 0, 0.5f, 0.125f});
    model.raw(repeated(vertex, vertices));
    Bytes someFaces;
    for (int i = 0; i < 256; ++i) someFaces.i16(i).i16(-i).i16(i * 100);
    model.raw(repeated(someFaces, faces / 256));
    for (uint32_t i = 0; i < bitmaps; ++i) model.name("bitmap" + std::to_string(i) + ".bmp");
    Bytes entity;
    entity.name("Part").floats({0.5f, 0.25f, 0, 0, 0, 1.5f, 0}).i32(1).i32(0).i32(-1).i32(-1);
    entity.i16(100).i16(0).i16(3).i16(0).i32(0).i32(0).i32(0);
    model.raw(repeated(entity, entities));
    std::string indices;
    for (uint32_t i = 0; i < faces; ++i) indices.push_back(static_cast<char>(i % 301));
    model.raw(indices);
    writeFile(path("large.r7d"), model);

    EXPECT_LT(peakKiB("to-text", path("large.r7d"), path("large.txt")), LimitKiB);
    EXPECT_LT(peakKiB("to-model", path("large.txt"), path("back.r7d")), LimitKiB);
    // Every value of the model passes through four decimals unchanged.
    EXPECT_TRUE(readFile(path("back.r7d")) == model.str());
}

}  // namespace
}  // namespace bxa::test
