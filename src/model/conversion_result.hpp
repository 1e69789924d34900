// The outcome of a model conversion between two open files.
#pragma once

namespace bxa {

enum class ConversionResult {
    // The input was converted as far as its form allows (every converter says what it makes of hostile
    // input); the output holds the whole result, though the caller still has to flush and close it.
    Ok,
    // A read of the input failed (an I/O error, not its end): the output holds what came before it.
    ReadFailed,
    // A write to the output failed (a full disk): the output is incomplete and must not be used.
    WriteFailed,
};

}  // namespace bxa
