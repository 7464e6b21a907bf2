#include "engine/dict/user_db_readings.h"

#include <gtest/gtest.h>

#include "engine/text/tailo.h"

#include <string>
#include <vector>

namespace kov {
namespace {

TEST(ReadingKeys, AgreesWithConvertingTheReading) {
    const std::string tai = "tai5", ka = "ka", taiUan0 = "tai5";
    const std::vector<std::string> taiUan{"tai5", "uan5"}, taiUanLang{"tai5", "uan5", "lang5"};
    struct Case {
        const char* reading;
        C_Bikey key;
        bool spells;
    };
    const Case cases[] = {
        {"tâi", &tai, true},                                    // the key's own spelling
        {"Tâi", &tai, true},                                    // another spelling of the same key
        {"tâi5", &tai, false},                                  // a tone mark and a tone digit
        {"tāi", &tai, false},        {"tâi-uân", &tai, false},  // more syllables than keys
        {"tâi-uân", &taiUan, true},  {"Tâi-uân", &taiUan, true},
        {"tâi uân", &taiUan, true},  // another separator
        {"tâi-uân-", &taiUan, true}, {"tâi-uânn", &taiUan, false},
        {"tâi", &taiUan, false},     {"tâi-uân", &taiUanLang, false},
        {"ka", &ka, false},  // a key without tone cannot be spelled
        {"", &taiUan0, false},
    };
    C_ReadingKeys check;
    for (int pass = 0; pass < 2; ++pass) {  // the second pass answers from what it kept
        for (const Case& c : cases) {
            SCOPED_TRACE(c.reading);
            EXPECT_EQ(check.spells(c.reading, c.key), c.spells);
            // The same answer as converting the reading and comparing the keys.
            const C_TonedKeysResult r = tailo2tonedKeys(c.reading);
            const auto* keys = std::get_if<std::vector<std::string>>(&r);
            const std::vector<std::string> want =
                std::holds_alternative<const std::string*>(c.key)
                    ? std::vector<std::string>{*std::get<const std::string*>(c.key)}
                    : *std::get<const std::vector<std::string>*>(c.key);
            EXPECT_EQ(keys && *keys == want, c.spells);
        }
    }
}

}  // namespace
}  // namespace kov
