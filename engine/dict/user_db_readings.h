// Whether a Tai-lo reading spells a table key: the test that ties a Han word's readings in
// hant2tailo to the keys of its records (on load, and for the readings a listing shows).
// Equal to comparing tailo2tonedKeys(reading) with the keys; a reading spelled exactly as the
// keys' own tone-marked spelling is recognised without converting it, which is the common case
// and spares the syllable pattern match.
//
// Not responsible for: storing readings, or which readings a word has.
#pragma once

#include <memory>
#include <string_view>

#include "engine/text/key_pattern.h"

namespace kov {

class C_ReadingKeys {
public:
    C_ReadingKeys();
    ~C_ReadingKeys();
    C_ReadingKeys(const C_ReadingKeys&) = delete;
    C_ReadingKeys& operator=(const C_ReadingKeys&) = delete;

    // True when tailo2tonedKeys(reading) gives exactly the key (or the key array). Keys and
    // readings met are remembered with what they gave, for the next call.
    bool spells(std::string_view reading, const C_Bikey& key);

private:
    struct C_Known;  // the spellings and conversions met so far (user_db_readings.cpp)
    std::unique_ptr<C_Known> m_known;
};

}  // namespace kov
