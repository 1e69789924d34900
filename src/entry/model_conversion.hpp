// Runs the converter of a model kind in either direction, between open files.
#pragma once

#include "entry/entry_kinds.hpp"
#include "platform/file.hpp"

namespace bxa {

// Binary model in `model` (read from its start) to its text form in `text` (empty, left open). Returns
// false when the text could not be written. ModelKindNone converts nothing and succeeds.
bool convertModelToText(ModelKind kind, platform::File& model, platform::File& text);

// Text form in `text` (read from its start) to the binary model in `model` (empty, left open).
bool convertTextToModel(ModelKind kind, platform::File& text, platform::File& model);

}  // namespace bxa
