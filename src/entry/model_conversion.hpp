// Runs the converter of a model kind in either direction.
#pragma once

#include <string>

#include "entry/entry_kinds.hpp"

namespace bxa {

// Binary model at `modelPath` to its text form at `textPath`. Returns the converter's result; true for
// ModelKindNone (nothing to do).
bool convertModelToText(ModelKind kind, const std::string& modelPath, const std::string& textPath);

// Text form at `textPath` to the binary model at `modelPath`.
bool convertTextToModel(ModelKind kind, const std::string& modelPath, const std::string& textPath);

}  // namespace bxa
