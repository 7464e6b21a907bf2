#include "engine/dict/tailo_db.h"

namespace kov {

bool I_TailoCats::isCatUnder(uint8_t cat, uint8_t ancestor) const {
    // A category is one byte, so a longer chain than 255 parents is a cycle of a damaged table.
    for (int steps = 0;; ++steps) {
        if (cat == ancestor)
            return true;
        if (steps == 255)
            return false;
        cat = parentCat(cat);
        if (cat == 0)
            return false;
    }
}

std::optional<uint64_t> vocRevisionOf(const I_TailoDB& db) {
    if (const auto* revision = dynamic_cast<const I_VocRevision*>(&db))
        return revision->vocRevision();
    return std::nullopt;
}

}  // namespace kov
