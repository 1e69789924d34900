#include "view/page_writer.hpp"

#include <cstring>

#include "platform/file.hpp"
#include "view/text_output.hpp"

namespace bxa::view {

namespace {

// `count` values, comma-separated, from `value(i)`.
template <typename Value>
void writeArray(TextOutput& out, uint64_t count, Value value) {
    out.character('[');
    for (uint64_t i = 0; i < count; ++i) {
        if (i > 0) out.character(',');
        value(i);
    }
    out.character(']');
}

void writeSignedIndex(TextOutput& out, int64_t index) {
    if (index < 0) out.text("-1");
    else out.number(static_cast<uint64_t>(index));
}

const char* imageType(const uint8_t* head, size_t size) {
    if (size >= 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0) return "image/png";
    if (size >= 3 && std::memcmp(head, "\xff\xd8\xff", 3) == 0) return "image/jpeg";
    if (size >= 4 && std::memcmp(head, "GIF8", 4) == 0) return "image/gif";
    return "image/bmp";
}

void writeBase64(TextOutput& out, const uint8_t* bytes, size_t size) {
    static constexpr char Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < size; i += 3) {
        uint32_t group = uint32_t{bytes[i]} << 16;
        if (i + 1 < size) group |= uint32_t{bytes[i + 1]} << 8;
        if (i + 2 < size) group |= bytes[i + 2];
        out.character(Digits[(group >> 18) & 63]).character(Digits[(group >> 12) & 63]);
        out.character(i + 1 < size ? Digits[(group >> 6) & 63] : '=');
        out.character(i + 2 < size ? Digits[group & 63] : '=');
    }
}

}  // namespace

std::string dataScriptName(char kind, uint64_t index) {
    std::string name(1, kind);
    name += std::to_string(index);
    name += ".js";
    return name;
}

std::string placedMessage(const MeshWarning& warning) {
    return (warning.place.text ? "line " : "byte ") + std::to_string(warning.place.position) + ": " +
           warning.message;
}

bool writeModelList(const platform::Directory& directory, std::string_view leaf, const std::string& title,
                    const std::vector<PageModelEntry>& models) {
    platform::WorkingFile file = directory.createWorkingFile();
    if (!file) return false;
    TextOutput out(file.file());
    out.text("bxaView.models({\"title\":").jsString(title).text(",\"models\":[\n");
    for (size_t i = 0; i < models.size(); ++i) {
        const PageModelEntry& m = models[i];
        out.text(i > 0 ? ",\n{" : "{").text("\"name\":").jsString(m.name);
        out.text(",\"format\":").jsString(formatLabel(m.format)).text(",\"obj\":").jsString(m.objFile);
        out.text(",\"data\":").jsString(m.dataScript).text(",\"error\":").jsString(m.error);
        out.text(",\"vertices\":").number(m.vertices).text(",\"faces\":").number(m.faces);
        out.text(",\"entities\":").number(m.entities).text(",\"brokenFaces\":").number(m.brokenFaces);
        out.text(",\"warnings\":").number(m.warnings).character('}');
    }
    out.text("\n]});\n");
    return finishOutput(out, file, leaf);
}

bool writeModelData(const platform::Directory& directory, std::string_view leaf, uint64_t index,
                    const Mesh& mesh, const std::vector<MaterialSlot>& slots,
                    const std::vector<int64_t>& textureIds) {
    platform::WorkingFile file = directory.createWorkingFile();
    if (!file) return false;
    TextOutput out(file.file());
    const auto& vertices = mesh.vertices;
    out.text("bxaView.model(").number(index).text(", {\n\"positions\":");
    writeArray(out, vertices.size() * 3, [&](uint64_t i) { out.number(vertices[i / 3].position[i % 3]); });
    out.text(",\n\"normals\":");
    if (normalsUsable(mesh)) {
        writeArray(out, vertices.size() * 3, [&](uint64_t i) { out.number(vertices[i / 3].normal[i % 3]); });
    } else {
        out.text("null");
    }
    out.text(",\n\"uvs\":");
    writeArray(out, vertices.size() * 2, [&](uint64_t i) { out.number(vertices[i / 2].texture[i % 2]); });

    // The faces of each material in model order, so that the page draws one geometry group per material.
    std::vector<std::vector<uint32_t>> corners(slots.size());
    std::vector<uint64_t> groupFaces(mesh.groups.size());
    for (const MeshFace& face : mesh.faces) {
        ++groupFaces[face.group];
        if (face.broken()) continue;
        auto& list = corners[slotOf(face, slots)];
        list.insert(list.end(), face.corners.begin(), face.corners.end());
    }
    out.text(",\n\"materials\":");
    writeArray(out, slots.size(), [&](uint64_t i) {
        out.text("{\"name\":").jsString(slots[i].name).text(",\"texture\":");
        writeSignedIndex(out, textureIds[i]);
        out.text(",\"indices\":");
        writeArray(out, corners[i].size(), [&](uint64_t k) { out.number(uint64_t{corners[i][k]}); });
        out.character('}');
    });
    corners.clear();

    out.text(",\n\"groups\":");
    writeArray(out, mesh.groups.size(), [&](uint64_t i) {
        out.text("{\"name\":")
            .jsString(mesh.groups[i])
            .text(",\"faces\":")
            .number(groupFaces[i])
            .character('}');
    });

    // A broken face's corners, -1 for each one outside its vertex table, and where the face came from.
    out.text(",\n\"place\":").jsString(mesh.fromText ? "line" : "byte").text(",\n\"broken\":[");
    bool first = true;
    for (const MeshFace& face : mesh.faces) {
        if (!face.broken()) continue;
        for (size_t c = 0; c < 3; ++c) {
            if (!first) out.character(',');
            first = false;
            writeSignedIndex(out, face.outside & (1u << c) ? -1 : int64_t{face.corners[c]});
        }
    }
    out.text("],\n\"brokenAt\":[");
    first = true;
    for (const MeshFace& face : mesh.faces) {
        if (!face.broken()) continue;
        if (!first) out.character(',');
        first = false;
        out.number(face.source);
    }
    out.text("],\n\"warnings\":");
    writeArray(out, mesh.warnings.size(), [&](uint64_t i) { out.jsString(placedMessage(mesh.warnings[i])); });
    out.text(",\n\"warningCount\":").number(mesh.warningCount).text("\n});\n");
    return finishOutput(out, file, leaf);
}

bool writeTextureData(const platform::Directory& directory, std::string_view leaf, uint64_t id,
                      const std::string& fileName, const std::string& imagePath) {
    platform::File image = platform::File::openForReading(imagePath);
    if (!image) return false;
    platform::WorkingFile file = directory.createWorkingFile();
    if (!file) return false;
    TextOutput out(file.file());
    // A multiple of three, so that only the last block ends in padding.
    std::vector<uint8_t> block(3 << 14);
    size_t got = image.read(block.data(), block.size());
    out.text("bxaView.texture(").number(id).text(", {\"file\":").jsString(fileName).text(",\"url\":\"data:");
    out.text(imageType(block.data(), got)).text(";base64,");
    while (got > 0) {
        writeBase64(out, block.data(), got);
        got = image.read(block.data(), block.size());
    }
    out.text("\"});\n");
    return std::ferror(image.handle()) == 0 && finishOutput(out, file, leaf);
}

}  // namespace bxa::view
