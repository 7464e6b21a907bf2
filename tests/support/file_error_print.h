#pragma once
// Test output of a file error: its kind and text instead of its bytes.
#include <ostream>

#include "qiv/file_error.h"

namespace qiv {

inline void PrintTo(const C_FileError& e, std::ostream* os) {
    *os << fileErrorName(e.kind) << " \"" << e.text << "\"";
}

}  // namespace qiv
