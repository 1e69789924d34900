// The build had no Node.js and npm to bundle the page with: the program writes OBJ and MTL files only.
#include "view/page_assets.hpp"

namespace bxa::view {

std::span<const PageAsset> pageAssets() { return {}; }

}  // namespace bxa::view
