#include "view/exporter.hpp"

#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/catalog.hpp"
#include "platform/console.hpp"
#include "platform/file.hpp"
#include "platform/directory.hpp"
#include "view/mesh_reader.hpp"
#include "view/model_source.hpp"
#include "view/obj_writer.hpp"
#include "view/page_assets.hpp"
#include "view/page_writer.hpp"
#include "view/work_directory.hpp"

namespace bxa::view {

namespace {

using platform::joinPath;

// A bitmap copied next to the OBJ files that use it, put in place whole like every output file.
bool copyFile(const std::string& from, const platform::Directory& directory, std::string_view leaf) {
    platform::File in = platform::File::openForReading(from);
    std::optional<int64_t> length = in ? in.length() : std::nullopt;
    platform::WorkingFile out = directory.createWorkingFile();
    return length && out && platform::copyBytes(in, 0, *length, out.file()) && out.commit(leaf);
}

unsigned long long count(uint64_t n) { return n; }

const char* plural(uint64_t n, const char* one, const char* many) { return n == 1 ? one : many; }

struct TextureCopy {
    std::string fileName;  // in the output directory; empty when the copy failed
    int64_t id = -1;       // its page-data script, or -1
};

class Export {
public:
    Export(std::string workDirectory, std::string outputDirectory)
        : work_(std::move(workDirectory)),
          out_(std::move(outputDirectory)),
          withPage_(!pageAssets().empty()) {}

    ExportSummary run();

private:
    bool prepare();
    void exportModel(size_t index, ModelFormat format, const std::string& stem);
    std::vector<std::string> resolveTextures(Mesh& mesh, std::vector<int64_t>& textureIds);
    const TextureCopy& copyTexture(const std::string& file);
    void printWarnings(const Mesh& mesh, const std::string& path);
    bool writePage();
    std::string pageData(const std::string& name) const { return dataDir_.pathOf(name); }

    std::string work_;
    std::string out_;
    // Every output file is written through these handles, so no write follows a link out of the output
    // directory.
    platform::Directory outDir_;
    platform::Directory dataDir_;
    bool withPage_;
    BitmapFiles bitmapFiles_;
    std::vector<std::string> models_;
    OutputNames names_;
    std::map<std::string, TextureCopy> textures_;
    int64_t textureCount_ = 0;
    std::vector<PageModelEntry> entries_;
    ExportSummary summary_;
    bool failed_ = false;
};

bool Export::prepare() {
    platform::OpenFailure failure = platform::OpenFailure::None;
    const platform::Directory workDir = platform::Directory::open(work_, &failure);
    if (!workDir) {
        platform::StandardConsole().err("bxa-view: error: %s %s\n", work_.c_str(),
                                        whyNotOpened(failure, "directory").c_str());
        return false;
    }
    if (platform::Directory::make(out_)) outDir_ = platform::Directory::open(out_);
    if (!outDir_) {
        platform::StandardConsole().err("bxa-view: error: cannot create the output directory %s\n", out_.c_str());
        return false;
    }
    const std::optional<platform::FileIdentity> workIdentity = workDir.identity();
    if (workIdentity && workIdentity == outDir_.identity()) {
        platform::StandardConsole().err("bxa-view: error: the output directory must not be the work directory (%s)\n", out_.c_str());
        return false;
    }
    // Working files that killed runs left (a model's binary form, a file being written) go first.
    outDir_.removeLeftovers();
    if (withPage_) {
        dataDir_ = outDir_.makeSubdirectory(PageDataDirectory);
        if (!dataDir_) {
            platform::StandardConsole().err("bxa-view: error: cannot create %s\n",
                                            joinPath(out_, PageDataDirectory).c_str());
            return false;
        }
        dataDir_.removeLeftovers();
    }
    std::string error;
    std::optional<std::vector<std::string>> files = listRegularFiles(work_, error);
    if (!files) {
        platform::StandardConsole().err("bxa-view: error: cannot list %s: %s\n", work_.c_str(), error.c_str());
        return false;
    }
    for (const std::string& file : *files) {
        if (modelFormatOfName(file)) models_.push_back(file);
    }
    bitmapFiles_ = BitmapFiles(std::move(*files));
    for (const PageAsset& asset : pageAssets()) names_.claim(asset.fileName);
    names_.claim(PageDataDirectory);
    if (!withPage_) platform::StandardConsole().err("bxa-view: this build has no preview page: writing OBJ and MTL files only\n");
    return true;
}

ExportSummary Export::run() {
    if (!prepare()) return summary_;
    summary_.models = models_.size();
    if (models_.empty()) platform::StandardConsole().err("bxa-view: no R7D, R7P or R7T files in %s\n", work_.c_str());
    std::vector<std::string> stems = outputStems(models_);
    for (size_t i = 0; i < models_.size(); ++i) exportModel(i, *modelFormatOfName(models_[i]), stems[i]);
    if (withPage_) summary_.pageWritten = writePage();

    platform::StandardConsole().err("bxa-view: %llu of %llu %s written to %s; %llu %s skipped (outside the vertex table), %llu %s\n",
             count(summary_.written), count(summary_.models), plural(summary_.models, "model", "models"),
             out_.c_str(), count(summary_.brokenFaces), plural(summary_.brokenFaces, "face", "faces"),
             count(summary_.warnings), plural(summary_.warnings, "warning", "warnings"));
    if (summary_.pageWritten) {
        platform::StandardConsole().err("bxa-view: open %s in a browser\n", joinPath(out_, "index.html").c_str());
    }
    summary_.ok = !failed_ && (summary_.pageWritten || !withPage_);
    return summary_;
}

void Export::exportModel(size_t index, ModelFormat format, const std::string& stem) {
    const std::string& name = models_[index];
    const std::string path = joinPath(work_, name);
    PageModelEntry entry;
    entry.name = name;
    entry.format = format;
    auto fail = [&](const std::string& error) {
        platform::StandardConsole().err("bxa-view: error: %s %s\n", printableName(path).c_str(),
                                        printableName(error).c_str());
        entry.error = error;
        entries_.push_back(entry);
        failed_ = true;
    };

    std::string error;
    std::optional<ModelBinary> binary = loadModelBinary(path, format, outDir_, error);
    if (!binary) return fail(error);
    Mesh mesh = readMesh(format, binary->bytes, binary->fromText, stem);
    binary.reset();
    std::vector<int64_t> textureIds;
    std::vector<MaterialSlot> slots = materialSlots(mesh, resolveTextures(mesh, textureIds));
    std::stable_sort(
        mesh.warnings.begin(), mesh.warnings.end(),
        [](const MeshWarning& a, const MeshWarning& b) { return a.place.position < b.place.position; });
    printWarnings(mesh, path);

    entry.objFile = names_.claim(stem + ".obj");
    const std::string mtlFile = names_.claim(stem + ".mtl");
    if (!writeObj(outDir_, entry.objFile, mesh, slots, name, mtlFile)) {
        return fail("cannot write " + entry.objFile);
    }
    if (!writeMtl(outDir_, mtlFile, slots, name)) return fail("cannot write " + mtlFile);
    if (withPage_) {
        const std::string script = dataScriptName('m', index);
        if (!writeModelData(dataDir_, script, index, mesh, slots, textureIds)) {
            return fail("cannot write " + script);
        }
        entry.dataScript = std::string(PageDataDirectory) + "/" + script;
    }
    entry.vertices = mesh.vertices.size();
    entry.faces = mesh.faces.size();
    entry.entities = mesh.entityCount;
    entry.brokenFaces = mesh.brokenFaceCount;
    entry.warnings = mesh.warningCount;
    entries_.push_back(entry);
    ++summary_.written;
    summary_.brokenFaces += mesh.brokenFaceCount;
    summary_.warnings += mesh.warningCount;
    platform::StandardConsole().err("bxa-view: [%llu/%llu] %s: %llu %s, %llu %s, %llu %s -> %s\n", count(index + 1),
             count(models_.size()), printableName(name).c_str(), count(entry.vertices),
             plural(entry.vertices, "vertex", "vertices"), count(entry.faces),
             plural(entry.faces, "face", "faces"), count(entry.entities),
             plural(entry.entities, "entity", "entities"), entry.objFile.c_str());
}

// The texture file of each bitmap (empty when there is none), and the page's texture of each material slot.
std::vector<std::string> Export::resolveTextures(Mesh& mesh, std::vector<int64_t>& textureIds) {
    std::vector<std::string> files;
    for (const MeshBitmap& bitmap : mesh.bitmaps) {
        std::optional<std::string> found = bitmapFiles_.find(bitmap.name);
        if (!found) {
            addWarning(mesh, bitmap.place,
                       "bitmap \"" + bitmap.name + "\" names no file of the work directory");
            files.emplace_back();
            textureIds.push_back(-1);
            continue;
        }
        const TextureCopy& copy = copyTexture(*found);
        files.push_back(copy.fileName);
        textureIds.push_back(copy.id);
    }
    textureIds.push_back(-1);  // the untextured slot
    return files;
}

const TextureCopy& Export::copyTexture(const std::string& file) {
    auto known = textures_.find(file);
    if (known != textures_.end()) return known->second;
    TextureCopy copy;
    copy.fileName = names_.claim(file);
    const std::string from = joinPath(work_, file);
    if (!copyFile(from, outDir_, copy.fileName)) {
        platform::StandardConsole().err("bxa-view: error: cannot copy %s to %s\n", printableName(from).c_str(),
                                        out_.c_str());
        failed_ = true;
        copy.fileName.clear();
    } else if (withPage_) {
        const std::string script = dataScriptName('t', static_cast<uint64_t>(textureCount_));
        if (writeTextureData(dataDir_, script, static_cast<uint64_t>(textureCount_), copy.fileName, from)) {
            copy.id = textureCount_++;
        } else {
            platform::StandardConsole().err("bxa-view: error: cannot write %s\n", pageData(script).c_str());
            failed_ = true;
        }
    }
    return textures_.emplace(file, copy).first->second;
}

// Names in messages (file names, and the names inside models) are anyone's bytes: printableName shows a
// control character as \xNN, as bxa does, so that no escape sequence reaches the terminal.
void Export::printWarnings(const Mesh& mesh, const std::string& path) {
    for (const MeshWarning& warning : mesh.warnings) {
        platform::StandardConsole().err("bxa-view: warning: %s %s\n", printableName(path).c_str(),
                                        printableName(placedMessage(warning)).c_str());
    }
    if (mesh.warningCount > mesh.warnings.size()) {
        platform::StandardConsole().err("bxa-view: warning: %s: %llu more warnings\n",
                                        printableName(path).c_str(),
                 count(mesh.warningCount - mesh.warnings.size()));
    }
}

bool Export::writePage() {
    std::filesystem::path title = std::filesystem::path(work_).lexically_normal();
    std::string titleText =
        title.has_filename() ? title.filename().string() : title.parent_path().filename().string();
    if (!writeModelList(dataDir_, "models.js", titleText.empty() ? work_ : titleText, entries_)) {
        platform::StandardConsole().err("bxa-view: error: cannot write %s\n", pageData("models.js").c_str());
        return false;
    }
    for (const PageAsset& asset : pageAssets()) {
        const std::string path = joinPath(out_, asset.fileName);
        platform::WorkingFile file = outDir_.createWorkingFile();
        if (!file || !file.file().write(asset.bytes) || !file.commit(asset.fileName)) {
            platform::StandardConsole().err("bxa-view: error: cannot write %s\n", path.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

ExportSummary exportWorkDirectory(const std::string& workDirectory, const std::string& outputDirectory) {
    return Export(workDirectory, outputDirectory).run();
}

}  // namespace bxa::view
