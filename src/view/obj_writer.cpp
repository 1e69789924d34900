#include "view/obj_writer.hpp"

#include <set>

#include "view/text_output.hpp"

namespace bxa::view {

namespace {

constexpr const char* UntexturedName = "untextured";

void writeIndex(TextOutput& out, uint32_t corner, bool withNormals) {
    const uint64_t index = uint64_t{corner} + 1;
    out.number(index).character('/').number(index);
    if (withNormals) out.character('/').number(index);
}

}  // namespace

std::vector<MaterialSlot> materialSlots(const Mesh& mesh, const std::vector<std::string>& textureFiles) {
    std::vector<MaterialSlot> slots;
    std::set<std::string> taken{UntexturedName};
    for (size_t i = 0; i < mesh.bitmaps.size(); ++i) {
        std::string name = objToken(mesh.bitmaps[i].name, "bitmap");
        if (!taken.insert(name).second) {
            name += '~';
            name += std::to_string(i);
            taken.insert(name);
        }
        slots.push_back({name, i < textureFiles.size() ? textureFiles[i] : std::string()});
    }
    slots.push_back({UntexturedName, ""});
    return slots;
}

std::string groupToken(const Mesh& mesh, uint32_t group) {
    return objToken(mesh.groups[group], "group_" + std::to_string(group));
}

bool writeObj(const platform::Directory& directory, std::string_view leaf, const Mesh& mesh,
              const std::vector<MaterialSlot>& slots, const std::string& modelFileName,
              const std::string& mtlFileName) {
    platform::WorkingFile file = directory.createWorkingFile();
    if (!file) return false;
    TextOutput out(file.file());
    const bool withNormals = normalsUsable(mesh);
    out.text("# ").text(objToken(modelFileName, "model")).text(", an ").text(formatLabel(mesh.format));
    out.text(" model, written by bxa-view\n# vertices: ").number(uint64_t{mesh.vertices.size()});
    out.text(", faces: ").number(uint64_t{mesh.faces.size()}).text(", entities: ").number(mesh.entityCount);
    out.text(", faces left out (a corner outside the vertex table): ")
        .number(mesh.brokenFaceCount)
        .character('\n');
    if (!withNormals) out.text("# no normals: some vertex normal has length 0\n");
    out.text("mtllib ").text(mtlFileName).character('\n');

    for (const MeshVertex& v : mesh.vertices) {
        out.text("v ").number(v.position[0]).character(' ').number(v.position[1]).character(' ');
        out.number(v.position[2]).character('\n');
    }
    for (const MeshVertex& v : mesh.vertices) {
        out.text("vt ").number(v.texture[0]).character(' ').number(v.texture[1]).character('\n');
    }
    if (withNormals) {
        for (const MeshVertex& v : mesh.vertices) {
            out.text("vn ").number(v.normal[0]).character(' ').number(v.normal[1]).character(' ');
            out.number(v.normal[2]).character('\n');
        }
    }

    uint32_t group = UINT32_MAX;
    size_t slot = SIZE_MAX;
    const char* place = mesh.fromText ? "line" : "byte";
    for (const MeshFace& face : mesh.faces) {
        if (face.broken()) {
            out.text("# face at ").text(place).character(' ').number(face.source);
            out.text(" left out: a corner lies outside the vertex table\n");
            continue;
        }
        if (face.group != group) {
            group = face.group;
            slot = SIZE_MAX;
            std::string name = groupToken(mesh, group);
            out.text("o ").text(name).text("\ng ").text(name).character('\n');
        }
        if (slotOf(face, slots) != slot) {
            slot = slotOf(face, slots);
            out.text("usemtl ").text(slots[slot].name).character('\n');
        }
        out.text("f ");
        for (size_t i = 0; i < 3; ++i) {
            if (i > 0) out.character(' ');
            writeIndex(out, face.corners[i], withNormals);
        }
        out.character('\n');
    }
    return finishOutput(out, file, leaf);
}

bool writeMtl(const platform::Directory& directory, std::string_view leaf,
              const std::vector<MaterialSlot>& slots, const std::string& modelFileName) {
    platform::WorkingFile file = directory.createWorkingFile();
    if (!file) return false;
    TextOutput out(file.file());
    out.text("# Materials of ").text(objToken(modelFileName, "model")).text(", written by bxa-view\n");
    for (const MaterialSlot& slot : slots) {
        out.text("\nnewmtl ").text(slot.name).character('\n');
        out.text("Ka 0.2 0.2 0.2\nKs 0 0 0\nd 1\nillum 1\n");
        if (!slot.textureFile.empty()) {
            out.text("Kd 1 1 1\nmap_Kd ").text(slot.textureFile).character('\n');
        } else {
            if (&slot != &slots.back()) out.text("# no bitmap file of this name was found\n");
            out.text("Kd 0.7 0.7 0.72\n");
        }
    }
    return finishOutput(out, file, leaf);
}

}  // namespace bxa::view
