// The commands through which a front end types into its session's input line and moves about in
// it: keys, caret, no-cross marks, popping committed words, the composition mode, the behaviour
// flags and the line's limit (table INPUT_LINE; registered by registerInputLineCommands).
//
// Each command reads and checks all its arguments before it calls the line, so a refused
// argument ("ok" false with the command's error text) changes nothing. "empty" in a reply is the
// state after the command: true when the line holds neither keys nor no-cross marks.
#pragma once

#include <string_view>

#include "engine/dict/candidate.h"

namespace kov {

// The name of a composition mode: "STD", "EZ", "TAILO"; the empty text for any other value.
std::string_view compoModeName(E_CompoMode mode);

}  // namespace kov
