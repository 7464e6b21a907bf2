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
// element of no valid kind.
void writeRuleRecord(std::string& out, const C_Rule& rule, C_UsageStamp stamp);

enum class E_RuleRead {
    OK,       // a rule was read (a record cut between elements or inside the key list of an
              // element without weight ends there and still counts)
    DAMAGED,  // short stamp, count, text, category payload or weight; or an unmapped category
};

// Reads one rule record at the cursor; categories are mapped through categoryMap. On DAMAGED
// the cursor position is unspecified. Throws std::logic_error for an unknown element kind.
E_RuleRead readRuleRecord(qiv::C_ByteCursor& in, const std::map<uint8_t, uint8_t>& categoryMap,
                          C_Rule& rule, C_UsageStamp& stamp);

}  // namespace kov
