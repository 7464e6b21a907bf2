#pragma once
// How GoogleTest prints engine values in failure messages. Each printer lives once, here, and
// in the value's own namespace so that GoogleTest finds it.

#include <ostream>

#include "engine/text/tailo.h"

namespace kov {

inline void PrintTo(const C_TonedKeysError& e, std::ostream* os) {
    *os << "error " << e.code << " at \"" << e.syllable << "\"";
}

}  // namespace kov
