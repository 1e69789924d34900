// What every model converter does with its files, and the result of the converters over open files.
//
// Each kind (r7d_model.hpp, r7p_model.hpp, r7t_model.hpp) has two converters over open Files, one in
// each direction, which keep this contract:
//   - The input (a binary model or a text form; a regular file) is read from its start: the converter
//     seeks it there first, and may seek it again.
//   - The output is freshly created and empty. The converter writes it in order and never closes it: the
//     caller flushes and closes it, and must check that close, for a write that the stream still held
//     fails only then.
//   - Nothing is printed.
// and two converters over paths, (modelPath, textPath) in both directions, which open the files, convert
// through the ones above, close the input and then the output, and print their messages on standard
// error:
//   - "\nError: Could not open R7 file (%s)\n" with modelPath when the model file cannot be opened (for
//     reading to make text, for writing to make a model: nothing was created);
//   - "\nError: Could not open output file (%s)\n" with textPath when the text file cannot be opened,
//     after closing the model (to make a model, the model file has been created and stays empty);
//   - "\nError: Could not write output file (%s)\n" with textPath, or "\nError: Could not write R7 file
//     (%s)\n" with modelPath, when the output could not be written whole (a full disk).
// They return false after any of these messages, true otherwise: a failed read ends the input there, as
// its end would, and is no failure of theirs.
#pragma once

namespace bxa {

enum class ConversionResult {
    // The input was converted as far as its form allows (each kind says what it makes of hostile input).
    Ok,
    // A read of the input failed (an I/O error, not its end): the output holds what came before it.
    ReadFailed,
    // A write to the output has failed (a full disk): the output is incomplete and must not be used.
    WriteFailed,
};

}  // namespace bxa
