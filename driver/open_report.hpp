// OPEN: asks for the report file, guards an existing file with the overwrite
// question and connects the report channel to the file.
#pragma once

#include "driver/dialog.hpp"

namespace kemro {

// The overwrite question shows a shorter report name padded to this width.
inline constexpr std::size_t REPORT_NAME_FIELD = 14;

enum class OpenResult {
  Ready,        // report records go to the file (unit 1) or, after a decline, to standard error
  InputFailed,  // the answer could not be read: see dialog.reader.error()
  OpenFailed    // the file could not be opened; the diagnostic is written
};

OpenResult OPEN(Dialog& dialog);

}  // namespace kemro
