#include "engine/Kelvaro/voc_mode.h"

namespace kov {

std::string_view vocModeName(char mode) {
    switch (mode) {
    case 9:
        return "segment";
    case 'H':
        return "hant";
    case 'T':
        return "tailo";
    default:
        return {};
    }
}

}  // namespace kov
