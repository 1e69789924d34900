// The files bxa-view writes, read back: OBJ and MTL structure as importers need it, the page data as
// JavaScript, and the names given to output files and found for bitmaps.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "support/test_support.hpp"
#include "view/mesh_reader.hpp"
#include "view/obj_writer.hpp"
#include "view/page_writer.hpp"
#include "view/work_directory.hpp"
#include "view/view_test_support.hpp"

namespace bxa::test {
namespace {

using bxa::testing::readFile;
using bxa::testing::ScratchDir;
using bxa::testing::writeFile;
using view::Mesh;
using view::ModelFormat;

platform::Directory directoryOf(const ScratchDir& dir) { return platform::Directory::open(dir.path().string()); }

Mesh meshOf(ModelFormat format, const std::string& bytes) {
    return view::readMesh(format, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, true,
                          "MODEL");
}

// What an OBJ reader sees: element counts, the largest index a face uses, and the o/usemtl statements.
struct ObjSummary {
    std::map<std::string, size_t> counts;
    uint64_t largestIndex = 0;
    bool indicesAgree = true;  // v/vt/vn of every corner name the same vertex
    std::vector<std::string> statements;
    std::vector<std::string> comments;
};

ObjSummary summarise(const std::string& obj) {
    ObjSummary summary;
    std::istringstream lines(obj);
    std::string line;
    while (std::getline(lines, line)) {
        EXPECT_EQ(line.find('\r'), std::string::npos);
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        ++summary.counts[keyword];
        if (keyword == "#") summary.comments.push_back(line);
        if (keyword == "o" || keyword == "g" || keyword == "usemtl" || keyword == "mtllib") {
            summary.statements.push_back(line);
        }
        if (keyword != "f") continue;
        std::string corner;
        int corners = 0;
        while (words >> corner) {
            ++corners;
            std::vector<uint64_t> parts;
            std::istringstream split(corner);
            std::string part;
            while (std::getline(split, part, '/')) parts.push_back(std::stoull(part));
            for (uint64_t p : parts) summary.indicesAgree = summary.indicesAgree && p == parts[0];
            summary.largestIndex = std::max(summary.largestIndex, parts[0]);
        }
        EXPECT_EQ(corners, 3) << line;
    }
    return summary;
}

TEST(ObjFile, EveryVertexOnceAndFacesByGroupAndMaterialWithBrokenFacesLeftOut) {
    R7dParts model{{{{0, 0, 0}}, {{1, 0, 0}}, {{1, 1, 0}}, {{0, 1, 0}}},
                  {{{0, 1, 2}, 0}, {{0, 2, 3}, 0}, {{0, 2, 7}, 0}, {{1, 2, 3}, 255}},
                  {"wall bmp#1"},
                  {{"Left side", 0, 2}, {"", 2, 2}}};
    Mesh mesh = meshOf(ModelFormat::R7d, r7dBytes(model));
    auto slots = view::materialSlots(mesh, {"WALL.BMP"});
    ScratchDir dir;
    ASSERT_TRUE(view::writeObj(directoryOf(dir), "m.obj", mesh, slots, "PANEL.R7D", "m.mtl"));
    ObjSummary obj = summarise(readFile(dir / "m.obj"));
    EXPECT_EQ(obj.counts["v"], 4u);
    EXPECT_EQ(obj.counts["vt"], 4u);
    EXPECT_EQ(obj.counts["vn"], 4u);
    EXPECT_EQ(obj.counts["f"], 3u);
    EXPECT_LE(obj.largestIndex, 4u);
    EXPECT_TRUE(obj.indicesAgree);
    EXPECT_EQ(obj.statements,
              (std::vector<std::string>{"mtllib m.mtl", "o Left_side", "g Left_side", "usemtl wall_bmp_1",
                                        "o group_1", "g group_1", "usemtl untextured"}));
    EXPECT_EQ(obj.comments.back(), "# face at line 13 left out: a corner lies outside the vertex table");

    ASSERT_TRUE(view::writeMtl(directoryOf(dir), "m.mtl", slots, "PANEL.R7D"));
    std::string mtl = readFile(dir / "m.mtl");
    EXPECT_NE(
        mtl.find("newmtl wall_bmp_1\nKa 0.2 0.2 0.2\nKs 0 0 0\nd 1\nillum 1\nKd 1 1 1\nmap_Kd WALL.BMP\n"),
        std::string::npos)
        << mtl;
    EXPECT_NE(mtl.find("newmtl untextured\n"), std::string::npos);
}

TEST(ObjFile, NormalsAreLeftOutWhenOneHasNoLength) {
    R7dParts model{{{{0, 0, 0}}, {{1, 0, 0}, {0, 0, 0}}, {{0, 1, 0}}}, {{{0, 1, 2}}}, {}, {}};
    Mesh mesh = meshOf(ModelFormat::R7d, r7dBytes(model));
    ScratchDir dir;
    ASSERT_TRUE(view::writeObj(directoryOf(dir), "m.obj", mesh, view::materialSlots(mesh, {}), "M.R7D", "m.mtl"));
    std::string text = readFile(dir / "m.obj");
    ObjSummary obj = summarise(text);
    EXPECT_EQ(obj.counts["vn"], 0u);
    EXPECT_NE(text.find("\nf 1/1 2/2 3/3\n"), std::string::npos) << text;
}

TEST(ObjFile, MaterialNamesStayUniqueWhenBitmapsShareAName) {
    R7dParts model{{{{0, 0, 0}}}, {}, {"a.bmp", "a.bmp", "untextured"}, {}};
    Mesh mesh = meshOf(ModelFormat::R7d, r7dBytes(model));
    auto slots = view::materialSlots(mesh, {"A.BMP", "A.BMP", ""});
    std::vector<std::string> names;
    for (const auto& slot : slots) names.push_back(slot.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a.bmp", "a.bmp~1", "untextured~2", "untextured"}));
}

TEST(PageData, NamesAreSafeJavaScriptStringsWhateverTheirBytes) {
    ScratchDir dir;
    view::PageModelEntry entry;
    entry.name = std::string("a\"b\\c</script>\x01\xe9", 16);
    ASSERT_TRUE(view::writeModelList(directoryOf(dir), "models.js", "work", {entry}));
    std::string js = readFile(dir / "models.js");
    EXPECT_NE(js.find(R"("name":"a\"b\\c\u003c/script>\u0001\u00e9")"), std::string::npos) << js;
}

TEST(PageData, TexturesBecomeDataUrlsOfTheirType) {
    ScratchDir dir;
    writeFile(dir.path() / "x.png", std::string("\x89PNG\r\n\x1a\n", 8) + "abcd");
    ASSERT_TRUE(view::writeTextureData(directoryOf(dir), "t0.js", 0, "x.png", dir / "x.png"));
    EXPECT_EQ(
        readFile(dir / "t0.js"),
        "bxaView.texture(0, {\"file\":\"x.png\",\"url\":\"data:image/png;base64,iVBORw0KGgphYmNk\"});\n");
    writeFile(dir.path() / "x.bmp", "BM");
    ASSERT_TRUE(view::writeTextureData(directoryOf(dir), "t1.js", 1, "x.bmp", dir / "x.bmp"));
    EXPECT_NE(readFile(dir / "t1.js").find("data:image/bmp;base64,Qk0=\""), std::string::npos);
}

TEST(PageData, BrokenFacesKeepTheirGoodCornersAndMarkTheOthers) {
    R7dParts model{{{{0, 0, 0}}, {{1, 0, 0}}, {{0, 1, 0}}}, {{{0, 1, 2}}, {{2, 5, 1}}}, {}, {}};
    Mesh mesh = meshOf(ModelFormat::R7d, r7dBytes(model));
    auto slots = view::materialSlots(mesh, {});
    ScratchDir dir;
    ASSERT_TRUE(view::writeModelData(directoryOf(dir), "m0.js", 0, mesh, slots, {-1}));
    std::string js = readFile(dir / "m0.js");
    EXPECT_NE(js.find("\"broken\":[2,-1,1],\n\"brokenAt\":[11]"), std::string::npos) << js;
    EXPECT_NE(js.find("{\"name\":\"untextured\",\"texture\":-1,\"indices\":[0,1,2]}"), std::string::npos)
        << js;
}

TEST(WorkDirectory, BitmapsAreFoundIgnoringCaseButNeverOutsideTheDirectory) {
    const view::BitmapFiles files({"CRATE.BMP", "Wall.bmp", "wall.bmp"});
    EXPECT_EQ(files.find("crate.bmp"), "CRATE.BMP");
    EXPECT_EQ(files.find("wall.bmp"), "wall.bmp");  // the exact name first
    EXPECT_EQ(files.find("WALL.BMP"), "Wall.bmp");
    EXPECT_EQ(files.find("../CRATE.BMP"), std::nullopt);
    EXPECT_EQ(files.find("x\\CRATE.BMP"), std::nullopt);
    EXPECT_EQ(files.find("C:CRATE.BMP"), std::nullopt);
    EXPECT_EQ(files.find(""), std::nullopt);
    EXPECT_EQ(files.find("hull.bmp"), std::nullopt);
}

TEST(WorkDirectory, ModelsSharingAStemKeepTheirExtensionInTheirOutputName) {
    EXPECT_EQ(view::outputStems({"BOAT.R7P", "PANEL.R7D", "panel.R7T", "R7D"}),
              (std::vector<std::string>{"BOAT", "PANEL_R7D", "panel_R7T", "R7D"}));
    view::OutputNames names;
    EXPECT_EQ(names.claim("index.html"), "index.html");
    EXPECT_EQ(names.claim("INDEX.HTML"), "2_INDEX.HTML");
    EXPECT_EQ(names.claim("my crate.bmp"), "my_crate.bmp");
}

}  // namespace
}  // namespace bxa::test
