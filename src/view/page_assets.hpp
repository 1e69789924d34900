// The files of the preview page itself (index.html and the one classic script that holds the page's
// code and its WebGL library), built into the program so that it can write them wherever it runs.
#pragma once

#include <span>
#include <string_view>

namespace bxa::view {

struct PageAsset {
    const char* fileName;
    std::string_view bytes;
};

// Empty when the program was built without the page (no Node.js and npm at build time, or a cross build).
std::span<const PageAsset> pageAssets();

}  // namespace bxa::view
