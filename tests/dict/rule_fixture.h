#pragma once
// Rule elements and rules for the rule table and rule record tests, with the fields the tests
// vary in front.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/dict/rule.h"

namespace kov::test {

inline C_RuleElem word(std::string text, std::vector<std::string> keys = {}, float weight = 0,
                       uint16_t count = 0) {
    return C_RuleElem{C_WordPat{std::move(text), std::move(keys), count}, weight};
}

inline C_RuleElem cat(uint8_t c, float weight = 0, uint16_t min = 0, uint16_t max = 0) {
    return C_RuleElem{C_CatPat{c, min, max}, weight};
}

inline C_RuleElem gap(float weight = 0) { return C_RuleElem{C_GapPat{}, weight}; }

inline C_RulePtr rule(std::vector<C_RuleElem> elems) {
    return std::make_shared<C_Rule>(std::move(elems));
}

}  // namespace kov::test
