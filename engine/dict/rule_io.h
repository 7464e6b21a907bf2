#pragma once
// Rule records of the user and learning dictionary files, laid out as rule_layout
// (engine/dict/file_layouts.h) describes.
//
// C_RuleTable::write and C_RuleTable::read (engine/dict/rule.h) write and read whole sections
// through these.

#include <cstdint>
#include <map>
#include <string>

#include "engine/dict/file_layouts.h"
#include "engine/dict/rule.h"
#include "qiv/byte_cursor.h"

namespace kov {

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
