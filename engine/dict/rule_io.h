#pragma once
// Rule records of the user and learning dictionary files. A record is the usage stamp (count
// u32, time u32), one element record per element, and the end mark 0xFF. An element record is
// a flags byte (bits 0-6 the kind, bit 7 set when a weight follows), the kind's payload (word:
// u16 count, text NUL, keys each NUL, NUL; category: u8 cat, u8 pad 0, u16 min, u16 max) and
// the f32 weight when bit 7 is set. All numbers little-endian.
//
// C_RuleTable::write and C_RuleTable::read (engine/dict/rule.h) write and read whole sections
// through these.

#include <cstdint>
#include <map>
#include <string>

#include "engine/dict/rule.h"
#include "qiv/byte_cursor.h"

namespace kov {

inline constexpr uint8_t kRuleEndMark = 0xFF;
inline constexpr uint8_t kRuleWeightFlag = 0x80;

// Appends one rule record. Throws std::logic_error "Unknown C_RulePat index: <kind>" for an
// element of no valid kind (a rule in memory never holds one).
void writeRuleRecord(std::string& out, const C_Rule& rule, C_UsageStamp stamp);

enum class E_RuleRead {
    OK,       // a rule was read (a record cut between elements or inside the key list of an
              // element without weight ends there and still counts)
    DROPPED,  // the record was read whole, but a category element names a category that the
              // category table lacks (mapped to 0): the rule is left out
    DAMAGED,  // short stamp, count, text, category payload or weight; an unknown element kind;
              // a category that the file does not name (absent from the map)
};

// Reads one rule record at the cursor; categories are mapped through categoryMap, where 0
// stands for a category the file names but the category table lacks. On DAMAGED, cause says
// what was wrong and the cursor position is unspecified.
E_RuleRead readRuleRecord(qiv::C_ByteCursor& in, const std::map<uint8_t, uint8_t>& categoryMap,
                          C_Rule& rule, C_UsageStamp& stamp, std::string& cause);

}  // namespace kov
