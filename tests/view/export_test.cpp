// bxa-view as a program: the example work directory, random models read back by a real OBJ importer
// (assimp), hostile models, and the command line.
#include <gtest/gtest.h>

#include <random>
#include <regex>

#if !defined(_WIN32)
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "e2e/e2e_support.hpp"
#include "model/r7d_model.hpp"
#include "model/r7p_model.hpp"
#include "model/r7t_model.hpp"
#include "platform/directory.hpp"
#include "view/page_assets.hpp"
#include "view/view_test_support.hpp"

namespace bxa::test {
namespace {

namespace fs = std::filesystem;
using bxa::testing::readFile;
using bxa::testing::RunResult;
using bxa::testing::ScratchDir;
using bxa::testing::shellQuote;
using bxa::testing::snapshot;
using bxa::testing::writeFile;

RunResult runView(const std::vector<std::string>& args, const fs::path& cwd) {
    return bxa::testing::runBxa(args, cwd, "", "", BXA_VIEW_BINARY);
}

bool contains(const std::string& text, const std::string& piece) {
    return text.find(piece) != std::string::npos;
}

struct Imported {
    ImporterCounts counts;
    std::array<double, 3> minimum{};
    std::array<double, 3> maximum{};
};

std::array<double, 3> pointAfter(const std::string& text, const std::string& label) {
    std::smatch m;
    const std::string number = "([-+0-9.eE]+|nan|inf)";
    if (!std::regex_search(text, m,
                           std::regex(label + "\\s+\\(" + number + " " + number + " " + number + "\\)")))
        return {};
    return {std::stod(m[1]), std::stod(m[2]), std::stod(m[3])};
}

// `assimp info` of an OBJ file; fails the test when the importer does not read it.
std::optional<Imported> importObj(const fs::path& obj) {
    ScratchDir io;
    std::string command = std::string(BXA_ASSIMP) + " info " + shellQuote(obj.string()) + " -s >" +
                          shellQuote(io / "out") + " 2>&1";
    int status = std::system(command.c_str());
    std::string out = readFile(io.path() / "out");
    EXPECT_EQ(status, 0) << out;
    auto counts = importerCounts(out);
    EXPECT_TRUE(counts.has_value()) << out;
    if (!counts) return std::nullopt;
    return Imported{*counts, pointAfter(out, "Minimum point"), pointAfter(out, "Maximum point")};
}

#define SKIP_WITHOUT_IMPORTER() \
    if (std::string(BXA_ASSIMP).empty()) GTEST_SKIP() << "assimp (Debian's assimp-utils) is not installed"

uint64_t directorySize(const fs::path& dir) {
    uint64_t size = 0;
    for (const auto& item : fs::recursive_directory_iterator(dir)) {
        if (item.is_regular_file()) size += item.file_size();
    }
    return size;
}

uint64_t pageAssetBytes() {
    uint64_t size = 0;
    for (const auto& asset : view::pageAssets()) size += asset.bytes.size();
    return size;
}

// ---------------------------------------------------------------------------------------------------
// The example work directory
// ---------------------------------------------------------------------------------------------------

class ExampleExport : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy(fs::path(BXA_SOURCE_DIR) / "examples" / "work", dir_.path() / "work");
        before_ = snapshot(dir_.path() / "work");
        result_ = runView({"work", "out"}, dir_.path());
    }
    fs::path out(const std::string& name) const { return dir_.path() / "out" / name; }

    ScratchDir dir_;
    std::map<std::string, std::string> before_;
    RunResult result_;
};

TEST_F(ExampleExport, WritesEveryModelWithItsMaterialsAndBitmapAndLeavesTheWorkDirectoryAlone) {
    ASSERT_EQ(result_.exitCode, 0) << result_.err;
    EXPECT_EQ(result_.out, "");
    for (const char* name : {"BOAT", "BUSH", "PANEL"}) {
        EXPECT_TRUE(fs::is_regular_file(out(std::string(name) + ".obj"))) << name;
        EXPECT_TRUE(fs::is_regular_file(out(std::string(name) + ".mtl"))) << name;
    }
    // PANEL.R7D names "crate.bmp"; the work directory has CRATE.BMP.
    EXPECT_EQ(readFile(out("CRATE.BMP")), readFile(dir_.path() / "work" / "CRATE.BMP"));
    EXPECT_TRUE(contains(readFile(out("PANEL.mtl")), "map_Kd CRATE.BMP\n"));
    EXPECT_TRUE(contains(readFile(out("BOAT.mtl")), "# no bitmap file of this name was found\n"));
    EXPECT_EQ(snapshot(dir_.path() / "work"), before_);
    for (const auto& item : fs::recursive_directory_iterator(dir_.path() / "out")) {
        EXPECT_FALSE(platform::isWorkingFileName(item.path().filename().string())) << item.path();
    }
    if (!view::pageAssets().empty()) {
        EXPECT_TRUE(fs::is_regular_file(out("index.html")));
        EXPECT_TRUE(fs::is_regular_file(out("bxa-view.js")));
        EXPECT_TRUE(fs::is_regular_file(out("page-data/models.js")));
        EXPECT_TRUE(fs::is_regular_file(out("page-data/t0.js")));
    }
}

TEST_F(ExampleExport, ReportsProgressAWarningWithItsLineAndASummary) {
    EXPECT_TRUE(contains(result_.err,
                         "bxa-view: warning: work/BOAT.R7P line 6: bitmap \"hull.bmp\" names no file of "
                         "the work directory\n"))
        << result_.err;
    EXPECT_TRUE(
        contains(result_.err, "bxa-view: [1/3] BOAT.R7P: 3 vertices, 1 face, 1 entity -> BOAT.obj\n"));
    EXPECT_TRUE(
        contains(result_.err, "bxa-view: [3/3] PANEL.R7D: 4 vertices, 2 faces, 1 entity -> PANEL.obj\n"));
    EXPECT_TRUE(contains(result_.err,
                         "bxa-view: 3 of 3 models written to out; 0 faces skipped (outside the vertex "
                         "table), 1 warning\n"))
        << result_.err;
}

TEST_F(ExampleExport, TheImporterReadsTheModelsCounts) {
    SKIP_WITHOUT_IMPORTER();
    // The importer counts a vertex once in each of its meshes (one per object and material): PANEL's two
    // faces have different materials and share two of its four vertices, so it holds 3 + 3.
    for (auto [name, vertices, faces, meshes] :
         std::vector<std::tuple<std::string, uint64_t, uint64_t, uint64_t>>{
             {"BOAT", 3, 1, 1}, {"BUSH", 3, 1, 1}, {"PANEL", 6, 2, 2}}) {
        auto imported = importObj(out(name + ".obj"));
        ASSERT_TRUE(imported) << name;
        EXPECT_EQ(imported->counts.vertices, vertices) << name;
        EXPECT_EQ(imported->counts.faces, faces) << name;
        EXPECT_EQ(imported->counts.meshes, meshes) << name;
    }
    auto panel = importObj(out("PANEL.obj"));
    EXPECT_EQ(panel->maximum, (std::array<double, 3>{2, 1.5, 0}));
}

// ---------------------------------------------------------------------------------------------------
// Random models, as text and as binary, through the importer
// ---------------------------------------------------------------------------------------------------

class RandomModels {
public:
    explicit RandomModels(uint32_t seed) : rng_(seed) {}

    // `count` vertices no other part uses, with positions unique by their x and every value exact in four
    // decimals, zigzagging in y so that no three in a row lie on a line. They lie in one plane and their
    // texture coordinates are their x and y: the importer gives each face corner a tangent from its face's
    // texture mapping and joins only corners that agree, so faces that share a vertex must map alike there.
    std::vector<TestVertex> vertices(size_t count) {
        std::vector<TestVertex> result;
        const float z = coordinate();
        for (size_t i = 0; i < count; ++i) {
            float x = static_cast<float>(next_++) / 4;
            float y = (i % 2 == 0 ? -1.0f : 1.0f) * (0.5f + std::abs(coordinate()));
            result.push_back({{x, y, z}, {coordinate(), coordinate(), 1}, {x, y}});
        }
        return result;
    }

    // A strip of faces over vertices [0, count) that uses every one of them, and some of its faces again
    // with the other winding.
    std::vector<TestFace> faces(size_t count, int32_t bitmap) {
        std::vector<TestFace> result;
        for (size_t i = 0; i + 2 < count; ++i) {
            result.push_back({{int32_t(i), int32_t(i + 1), int32_t(i + 2)}, bitmap});
        }
        for (size_t extra = below(4), strip = result.size(); extra > 0; --extra) {
            auto [a, b, c] = result[below(strip)].corners;
            result.push_back({{c, b, a}, bitmap});
        }
        return result;
    }

    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    size_t between(size_t lo, size_t hi) { return lo + below(hi - lo + 1); }

private:
    float coordinate() {
        return static_cast<float>(std::uniform_int_distribution<int>(-400, 400)(rng_)) / 16;
    }
    std::mt19937 rng_;
    int next_ = 0;
};

struct RandomModel {
    std::string file;
    std::string bytes;
    uint64_t vertices = 0;
    uint64_t faces = 0;
    std::array<double, 3> minimum{1e9, 1e9, 1e9};
    std::array<double, 3> maximum{-1e9, -1e9, -1e9};

    void count(const std::vector<TestVertex>& table, size_t faceCount) {
        vertices += table.size();
        faces += faceCount;
        for (const auto& v : table) {
            for (size_t i = 0; i < 3; ++i) {
                minimum[i] = std::min<double>(minimum[i], v.position[i]);
                maximum[i] = std::max<double>(maximum[i], v.position[i]);
            }
        }
    }
};

RandomModel randomR7d(RandomModels& random, const std::string& file) {
    RandomModel m;
    m.file = file;
    R7dParts parts;
    parts.bitmaps = {"a.bmp", "b.bmp"};
    for (size_t part = random.between(1, 4); part > 0; --part) {
        size_t first = parts.vertices.size(), firstFace = parts.faces.size();
        auto table = random.vertices(random.between(3, 40));
        auto faces =
            random.faces(table.size(), int32_t(random.below(3)) == 2 ? 255 : int32_t(random.below(2)));
        for (auto& f : faces) {
            for (auto& c : f.corners) c += int32_t(first);
        }
        parts.vertices.insert(parts.vertices.end(), table.begin(), table.end());
        parts.faces.insert(parts.faces.end(), faces.begin(), faces.end());
        parts.entities.push_back({"part " + std::to_string(part), int16_t(firstFace), int16_t(faces.size())});
        m.count(table, faces.size());
    }
    m.bytes = r7dBytes(parts);
    return m;
}

RandomModel randomR7p(RandomModels& random, const std::string& file) {
    RandomModel m;
    m.file = file;
    std::vector<EntitySpec> entities(random.between(1, 3));
    for (auto& entity : entities) {
        entity.name = "E" + std::to_string(random.below(100));
        for (size_t mesh = random.below(3) + (&entity == &entities[0]); mesh > 0; --mesh) {
            auto table = random.vertices(random.between(3, 30));
            auto faces = random.faces(table.size(), 0);
            entity.meshes.push_back({table, faces, int16_t(random.below(3))});
            m.count(table, faces.size());
        }
    }
    m.bytes = r7pBytes({"a.bmp", "b.bmp"}, entities);
    return m;
}

RandomModel randomR7t(RandomModels& random, const std::string& file, bool narrow) {
    RandomModel m;
    m.file = file;
    std::vector<EntitySpec> entities(random.between(1, 4));
    for (auto& entity : entities) {
        entity.name = "Record" + std::to_string(random.below(100));
        auto table = random.vertices(random.between(3, narrow ? 200 : 60));
        auto faces = random.faces(table.size(), 0);
        entity.meshes.push_back({table, faces, 0});
        m.count(table, faces.size());
    }
    m.bytes = r7tBytes(entities, narrow);
    return m;
}

using Converter = bool (*)(const std::string& modelPath, const std::string& textPath);

TEST(RandomExport, TheImporterReadsEveryVertexAndFaceOfRandomModelsInTextAndBinaryForm) {
    SKIP_WITHOUT_IMPORTER();
    RandomModels random(20261209);
    ScratchDir dir;
    fs::create_directories(dir.path() / "work");
    std::vector<RandomModel> models;
    for (int i = 0; i < 4; ++i) {
        // Both forms; every R7D shares its stem with an R7P, so both keep their extension in their names.
        const bool text = i % 2 == 0;
        std::string stem = "RANDOM" + std::to_string(i);
        std::vector<std::pair<RandomModel, Converter>> made{
            {randomR7d(random, stem + ".R7D"), convertR7dToText},
            {randomR7p(random, stem + ".R7P"), convertR7pToText},
            {randomR7t(random, "TREE" + std::to_string(i) + ".R7T", i >= 2), convertR7tToText}};
        for (auto& [model, toText] : made) {
            const fs::path path = dir.path() / "work" / model.file;
            writeFile(dir.path() / "binary", model.bytes);
            if (text) ASSERT_TRUE(toText(dir / "binary", path.string()));
            else writeFile(path, model.bytes);
            models.push_back(model);
        }
    }
    RunResult result = runView({"work", "out"}, dir.path());
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(contains(result.err, " 0 faces skipped")) << result.err;
    for (const RandomModel& model : models) {
        std::string obj = model.file;
        if (obj.starts_with("RANDOM")) obj[obj.find('.')] = '_';
        else obj = obj.substr(0, obj.find('.'));
        auto imported = importObj(dir.path() / "out" / (obj + ".obj"));
        ASSERT_TRUE(imported) << model.file;
        EXPECT_EQ(imported->counts.vertices, model.vertices) << model.file;
        EXPECT_EQ(imported->counts.faces, model.faces) << model.file;
        for (size_t i = 0; i < 3; ++i) {
            EXPECT_NEAR(imported->minimum[i], model.minimum[i], 1e-4) << model.file;
            EXPECT_NEAR(imported->maximum[i], model.maximum[i], 1e-4) << model.file;
        }
    }
}

// ---------------------------------------------------------------------------------------------------
// Hostile models
// ---------------------------------------------------------------------------------------------------

std::string r7dText(const std::string& counts, const std::vector<std::string>& body) {
    std::string text = counts;
    for (const auto& line : body) text += line + "\r\n";
    return text;
}

TEST(HostileExport, BrokenModelsGiveWarningsNamingTheirFileAndLineAndBoundedOutput) {
    ScratchDir dir;
    const fs::path work = dir.path() / "work";
    fs::create_directories(work / "FOLDER.R7D");
    const std::string vertex =
        "  0.0000   0.0000   0.0000   0.0000   0.0000   0.0000   1.0000   0.0000   0.0000   0.0000";
    const std::string counts =
        "NumVertices:      3\r\nNumFaces:      2\r\nNumBitmaps:      1\r\nNumEntities:      1\r\n";
    writeFile(work / "OUTSIDE.R7D",
              r7dText(counts, {"// v", vertex, vertex, vertex, "// f", "Face[   0]:  0   1   3   0 // x",
                               "Face[   1]: -7   1   2   0 // x", "// b", "Bitmap[  0]:../../outside.bmp",
                               "// e", "Entity[  0]:  E:   0 0 0 0 0 0 0   1 0 -1 -1   40 -3 3 0   0 0 0"}));
    writeFile(work / "HUGE.R7D", r7dText("NumVertices: 2147483647\r\nNumFaces: -1\r\nNumBitmaps: 99999999\r\n"
                                         "NumEntities: -2147483648\r\n",
                                         {"// v", vertex, vertex}));
    std::string blank = "NumVertices: 50000\r\nNumFaces: 0\r\nNumBitmaps: 0\r\nNumEntities: 0\r\n";
    blank.append(50001, '\n');
    writeFile(work / "BLANK.R7D", blank);
    writeFile(work / "NEGATIVE.R7P",
              crlf({"NumVertices: 0", "NumFaces: 0", "NumBitmaps: 0", "NumEntities: 2", "//", "//",
                    "Entity[   0]:  A: 0 0 0 0 0 0 0  0 0 0  0 0 0 0 0 -5 0 0",
                    "Entity[   1]:  B: 0 0 0 0 0 0 0  0 0 0  0 0 0 0 0 1 0 0", "Vertices: -3", "Faces: 30000",
                    "Bitmap: 0"}));
    writeFile(work / "CUT.R7T", crlf({"NumRecords:    255", "Entity[  0]:   Bush", "Entity[  1]:   Tree"}));
    writeFile(work / "LONG.R7T",
              "NumRecords: 1\r\nEntity[  0]: " + std::string(200000, 'x') + "\r\n??: 0\r\n");
    writeFile(work / "EMPTY.R7P", "");
    std::mt19937 rng(7);
    std::string garbage(5000, '\0');
    for (char& c : garbage) c = static_cast<char>(rng() % 3 == 0 ? 0 : rng());
    writeFile(work / "GARBAGE.R7D", garbage);
    writeFile(work / "GARBAGE.R7P", garbage);
    writeFile(work / "GARBAGE.R7T", garbage);
    writeFile(dir.path() / "outside.bmp", "BM");
    uint64_t input = directorySize(work);

    RunResult result = runView({"work", "out"}, dir.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    for (const char* warning :
         {"warning: work/OUTSIDE.R7D line 10: face 0 uses vertex 3, outside the 3 vertices of the vertex "
          "table\n",
          "warning: work/OUTSIDE.R7D line 11: face 1 uses vertex -7, outside the 3 vertices of the vertex "
          "table\n",
          "warning: work/OUTSIDE.R7D line 13: bitmap \"../../outside.bmp\" names no file of the work "
          "directory\n",
          "warning: work/OUTSIDE.R7D line 15: entity \"E\" gives faces -3 to 36, outside the 2 faces\n",
          "warning: work/HUGE.R7D line 8: only 2 of the 2147483647 vertices that NumVertices gives are "
          "there: the text "
          "ends here\n",
          "warning: work/NEGATIVE.R7P line 7: entity \"A\" has a negative mesh count (-5)\n",
          "warning: work/NEGATIVE.R7P line 9: mesh 0 of entity \"B\" has a negative vertex or face count\n",
          "warning: work/CUT.R7T line 4: only 2 of the 255 entity names that NumRecords gives are there: the "
          "text ends "
          "here\n",
          "warning: work/GARBAGE.R7D byte ",
          "[10/10] OUTSIDE.R7D: 3 vertices, 2 faces, 1 entity -> OUTSIDE.obj\n",
          "bxa-view: 10 of 10 models written to out; 2 faces skipped (outside the vertex table)"}) {
        EXPECT_TRUE(contains(result.err, warning)) << warning << "\n" << result.err;
    }
    EXPECT_FALSE(fs::exists(dir.path() / "out" / "outside.bmp"));
    EXPECT_FALSE(fs::exists(dir.path() / "out" / "FOLDER.obj"));
    // Every byte written is owed to an input byte: at most 40 of them each, beside the page's own files.
    EXPECT_LE(directorySize(dir.path() / "out"), 40 * input + pageAssetBytes() + 40000);
    for (const auto& item : fs::directory_iterator(dir.path() / "out")) {
        if (item.path().extension() != ".obj") continue;
        std::string obj = readFile(item.path());
        EXPECT_TRUE(obj.starts_with("# ")) << item.path();
        if (std::string(BXA_ASSIMP).empty() || obj.find("\nf ") == std::string::npos) continue;
        auto imported = importObj(item.path());
        if (imported && item.path().filename() == "OUTSIDE.obj") {
            EXPECT_EQ(imported->counts.faces, 0u);
        }
    }
}

// A short text whose binary form passes the bound (96 bytes for each empty entity line): refused as soon
// as the conversion passes it, with its reason.
TEST(HostileExport, ATextWhoseBinaryFormPassesTheBoundIsRefused) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "work");
    std::string text = "NumVertices: 0\r\nNumFaces: 0\r\nNumBitmaps: 0\r\nNumEntities: 400000\r\n";
    text.append(400010, '\n');
    writeFile(dir.path() / "work" / "BIG.R7D", text);
    RunResult result = runView({"work", "out"}, dir.path());
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_TRUE(contains(result.err, "bxa-view: error: work/BIG.R7D has a binary form larger than the 32 MiB a "
                                     "model may have here\n"))
        << result.err;
    for (const auto& item : fs::recursive_directory_iterator(dir.path() / "out")) {
        EXPECT_FALSE(platform::isWorkingFileName(item.path().filename().string())) << item.path();
    }
}

// Names are anyone's bytes: a control character in a model's file name or in a name inside it reaches the
// terminal as \xNN, never as an escape sequence.
TEST(HostileExport, ControlCharactersInNamesAreShownNotSentToTheTerminal) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "work");
    writeFile(dir.path() / "work" / "A\x1b[2J.R7D",
              "NumVertices: 0\r\nNumFaces: 0\r\nNumBitmaps: 1\r\nNumEntities: 0\r\n// v\r\n// f\r\n// b\r\n"
              "Bitmap[  0]:x\x1b]0;t\x07.bmp\r\n// e\r\n");
    RunResult result = runView({"work", "out"}, dir.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find('\x1b'), std::string::npos) << result.err;
    EXPECT_TRUE(contains(result.err, "work/A\\x1B[2J.R7D line 8: bitmap \"x\\x1B]0;t\\x07.bmp\" names no file"))
        << result.err;
    EXPECT_TRUE(contains(result.err, "] A\\x1B[2J.R7D: 0 vertices")) << result.err;
}

// ---------------------------------------------------------------------------------------------------
// The command line
// ---------------------------------------------------------------------------------------------------

TEST(ViewCommandLine, WrongArgumentsGiveTheUsageAndStatusTwo) {
    ScratchDir dir;
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"work"}, {"a", "b", "c"}}) {
        RunResult result = runView(args, dir.path());
        EXPECT_EQ(result.exitCode, 2);
        EXPECT_TRUE(result.err.starts_with("usage: bxa-view WORKDIR OUTDIR\n")) << result.err;
    }
}

TEST(ViewCommandLine, DirectoriesThatCannotBeUsedFailWithStatusOne) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "work");
    RunResult missing = runView({"nowhere", "out"}, dir.path());
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "bxa-view: error: nowhere does not exist\n");
    writeFile(dir.path() / "plain", "text");
    RunResult plainFile = runView({"plain", "out"}, dir.path());
    EXPECT_EQ(plainFile.exitCode, 1);
    EXPECT_EQ(plainFile.err, "bxa-view: error: plain is not a directory\n");
    RunResult same = runView({"work", "./work"}, dir.path());
    EXPECT_EQ(same.exitCode, 1);
    EXPECT_EQ(same.err, "bxa-view: error: the output directory must not be the work directory (./work)\n");
    RunResult noParent = runView({"work", "a/b/c"}, dir.path());
    EXPECT_EQ(noParent.exitCode, 1);
    EXPECT_EQ(noParent.err, "bxa-view: error: cannot create the output directory a/b/c\n");
}

TEST(ViewCommandLine, AWorkDirectoryWithoutModelsStillGetsItsPage) {
    ScratchDir dir;
    fs::create_directories(dir.path() / "work");
    RunResult result = runView({"work", "out"}, dir.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(contains(result.err, "bxa-view: no R7D, R7P or R7T files in work\n"));
    EXPECT_EQ(fs::exists(dir.path() / "out" / "index.html"), !view::pageAssets().empty());
}

#if !defined(_WIN32)
// Links planted in the output directory: the page's data directory as a link to elsewhere is refused, and
// an output file's name as a hard link to the author's model (or a symbolic link to it) is replaced by the
// new file, the model left as it was. Working files that a killed run left there are removed.
TEST(ViewOutputDirectory, LinksThereAreNeverWrittenThroughAndLeftoversAreRemoved) {
    ScratchDir dir;
    fs::copy(fs::path(BXA_SOURCE_DIR) / "examples" / "work", dir.path() / "work");
    const auto before = snapshot(dir.path() / "work");
    fs::create_directories(dir.path() / "out");
    fs::create_directories(dir.path() / "elsewhere");
    if (!view::pageAssets().empty()) {
        fs::create_directory_symlink("../elsewhere", dir.path() / "out" / "page-data");
        RunResult refused = runView({"work", "out"}, dir.path());
        EXPECT_EQ(refused.exitCode, 1);
        EXPECT_EQ(refused.err, "bxa-view: error: cannot create out/page-data\n");
        EXPECT_TRUE(fs::is_empty(dir.path() / "elsewhere"));
        fs::remove(dir.path() / "out" / "page-data");
    }
    fs::create_hard_link(dir.path() / "work" / "PANEL.R7D", dir.path() / "out" / "PANEL.obj");
    fs::create_symlink("../work/BUSH.R7T", dir.path() / "out" / "BUSH.mtl");
    // A working file of a run that has ended: a child that exits at once.
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_GT(child, 0);
    ::waitpid(child, nullptr, 0);
    const std::string leftover = ".bxa-" + std::to_string(child) + "-0a1b2c3d.tmp";
    writeFile(dir.path() / "out" / leftover, "left by a killed run");

    RunResult result = runView({"work", "out"}, dir.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(snapshot(dir.path() / "work"), before);
    EXPECT_TRUE(readFile(dir.path() / "out" / "PANEL.obj").starts_with("# PANEL.R7D, an R7D model"));
    EXPECT_FALSE(fs::is_symlink(dir.path() / "out" / "BUSH.mtl"));
    EXPECT_TRUE(readFile(dir.path() / "out" / "BUSH.mtl").starts_with("# Materials of BUSH.R7T"));
    EXPECT_FALSE(fs::exists(dir.path() / "out" / leftover));
    EXPECT_TRUE(fs::is_empty(dir.path() / "elsewhere"));
}
#endif

}  // namespace
}  // namespace bxa::test
