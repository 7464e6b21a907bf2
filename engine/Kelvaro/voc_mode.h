// The name under which the protocol reports a word's mode character: 'H' a Han word "hant",
// 'T' a Tai-lo word "tailo", 9 a segment (a no-cross mark) "segment"; any other character,
// a raw key 'K' among them, has the empty name.
#pragma once

#include <string_view>

namespace kov {

std::string_view vocModeName(char mode);

}  // namespace kov
