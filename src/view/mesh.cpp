#include "view/mesh.hpp"

#include <utility>

namespace bxa::view {

const char* formatLabel(ModelFormat format) {
    switch (format) {
        case ModelFormat::R7d: return "R7D";
        case ModelFormat::R7p: return "R7P";
        case ModelFormat::R7t: return "R7T";
    }
    return "?";
}

void addWarning(Mesh& mesh, SourcePlace place, std::string message) {
    if (mesh.warnings.size() < MaxKeptWarnings) mesh.warnings.push_back({place, std::move(message)});
    ++mesh.warningCount;
}

bool normalsUsable(const Mesh& mesh) {
    for (const MeshVertex& v : mesh.vertices) {
        if (v.normal[0] == 0 && v.normal[1] == 0 && v.normal[2] == 0) return false;
    }
    return true;
}

}  // namespace bxa::view
