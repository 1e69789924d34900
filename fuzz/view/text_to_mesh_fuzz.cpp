// The text-to-mesh step of bxa-view: the first byte picks the model kind, the rest is the model file (a
// text form, or a binary form when it holds a NUL byte). The file goes through the model converter and the
// mesh reader, and the mesh is written as OBJ, MTL and page data, all inside the scratch directory private
// to the process that the model fuzz targets use.
//
// Besides "no crash, no hang, no out-of-bounds access", the harness checks what the reader promises: every
// face that is not broken indexes the vertex table, groups and materials exist, the broken faces are
// counted, and the files written stay within a fixed number of bytes per input byte.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "model/model_fuzz_support.hpp"
#include "platform/directory.hpp"
#include "view/mesh_reader.hpp"
#include "view/model_source.hpp"
#include "view/obj_writer.hpp"
#include "view/page_writer.hpp"

namespace {

namespace fs = std::filesystem;
using namespace bxa::view;

constexpr size_t MaxInputSize = 1 << 16;
constexpr uint64_t BytesPerInputByte = 64;

using bxa::fuzz::scratch;
using bxa::fuzz::scratchDir;

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "view_text_to_mesh: %s\n", what);
    std::abort();
}

void checkMesh(const Mesh& mesh) {
    uint64_t broken = 0;
    for (const MeshFace& face : mesh.faces) {
        if (face.group >= mesh.groups.size()) fail("a face names a group that does not exist");
        if (face.material != NoMaterial && face.material >= mesh.bitmaps.size()) {
            fail("a face names a missing bitmap");
        }
        if (face.broken()) {
            ++broken;
            continue;
        }
        for (uint32_t corner : face.corners) {
            if (corner >= mesh.vertices.size()) {
                fail("a face that is not broken indexes past the vertex table");
            }
        }
    }
    if (broken != mesh.brokenFaceCount) fail("the broken faces are miscounted");
    if (mesh.warnings.size() > MaxKeptWarnings || mesh.warnings.size() > mesh.warningCount) {
        fail("warnings miscounted");
    }
}

uint64_t sizeOf(const char* name) {
    std::error_code ec;
    uint64_t size = fs::file_size(scratch(name), ec);
    return ec ? 0 : size;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0 || size > MaxInputSize) return 0;
    const ModelFormat format = data[0] % 3 == 0   ? ModelFormat::R7d
                               : data[0] % 3 == 1 ? ModelFormat::R7p
                                                  : ModelFormat::R7t;
    bxa::fuzz::writeFile(scratch("model"), data + 1, size - 1);
    std::string error;
    const bxa::platform::Directory directory = bxa::platform::Directory::open(scratchDir());
    std::optional<ModelBinary> binary = loadModelBinary(scratch("model"), format, directory, error);
    if (!binary) fail("a model file that could be read was refused");
    Mesh mesh = readMesh(format, binary->bytes, binary->fromText, "MODEL");
    checkMesh(mesh);

    std::vector<std::string> textures(mesh.bitmaps.size(), "T.BMP");
    std::vector<MaterialSlot> slots = materialSlots(mesh, textures);
    std::vector<int64_t> textureIds(slots.size(), 0);
    textureIds.back() = -1;
    if (!writeObj(directory, "m.obj", mesh, slots, "MODEL.R7D", "m.mtl") ||
        !writeMtl(directory, "m.mtl", slots, "MODEL.R7D") ||
        !writeModelData(directory, "m0.js", 0, mesh, slots, textureIds)) {
        fail("an output file could not be written");
    }
    const uint64_t written = sizeOf("m.obj") + sizeOf("m.mtl") + sizeOf("m0.js");
    if (written > BytesPerInputByte * size + 8192) fail("the output grew beyond what the input justifies");
    return 0;
}
