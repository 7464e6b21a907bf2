#include "tests/support/fake_tailo_db.h"

#include <string>

#include "tests/support/candidate_fixture.h"

namespace kov::test {

C_FakeTailoDB::C_FakeTailoDB() { m_cats.add(1, "N").add(2, "N.person", 1).add(3, "V"); }

C_FakeTailoDB& C_FakeTailoDB::word(std::string keys, C_Candidate word, uint16_t spanOverride) {
    m_islandWords[std::move(keys)].push_back(C_Filed{std::move(word), spanOverride});
    return *this;
}

C_FakeTailoDB& C_FakeTailoDB::exact(std::string key, C_Candidate word) {
    m_exactWords[std::move(key)].push_back(std::move(word));
    return *this;
}

C_FakeTailoDB& C_FakeTailoDB::wordRule(std::string text, C_Rule rule, size_t anchor) {
    m_wordRules.emplace(std::move(text), C_FiledRule{std::move(rule), anchor});
    return *this;
}

C_FakeTailoDB& C_FakeTailoDB::catRule(uint8_t cat, C_Rule rule, size_t anchor) {
    m_catRules.emplace(cat, C_FiledRule{std::move(rule), anchor});
    return *this;
}

void C_FakeTailoDB::getIslandVocs(const C_VisitConsts& consts, const C_StdIsle& isle,
                                  const FC_UnitAt& unitAt) const {
    m_calls.push_back(std::to_string(isle.m_start) + "+" + std::to_string(isle.m_length) + ":" +
                      std::to_string(int(isle.kind())));
    if (m_failNext) {
        m_failNext = false;
        throw std::runtime_error("Fake dictionary failure");
    }
    const auto it =
        m_islandWords.find(std::string(consts.m_keys.substr(isle.m_start, isle.m_length)));
    if (it == m_islandWords.end())
        return;
    C_CompoUnit* unit = unitAt(isle.m_start);
    if (!unit)
        throw std::runtime_error("No unit at " + std::to_string(isle.m_start));
    for (const C_Filed& filed : it->second) {
        C_Candidate c = filed.word;
        c.m_span = filed.spanOverride ? filed.spanOverride : uint16_t(isle.m_length);
        unit->add(c);
    }
}

void C_FakeTailoDB::addKeyVocs(C_CompoUnit& unit, std::string_view key, bool capital) const {
    m_calls.push_back("key:" + std::string(key) + (capital ? "!" : ""));
    const auto it = m_exactWords.find(std::string(key));
    if (it == m_exactWords.end())
        return;
    for (C_Candidate c : it->second) {
        c.m_span = uint16_t(key.size());
        unit.add(c);
    }
}

void C_FakeTailoDB::visitCatRules(std::span<const uint8_t> cats,
                                  const FC_RuleVisitor& visit) const {
    for (const auto& [cat, filed] : m_catRules)
        for (uint8_t c : cats)
            if (m_cats.isCatUnder(c, cat)) {
                visit(filed.rule, filed.anchor);
                break;
            }
}

void C_FakeTailoDB::visitWordRules(const std::string& text, const std::vector<std::string>&,
                                   const FC_RuleVisitor& visit) const {
    const auto [from, to] = m_wordRules.equal_range(text);
    for (auto it = from; it != to; ++it)
        visit(it->second.rule, it->second.anchor);
}

C_Candidate dictWord(std::string text, std::vector<std::string> readings, float weight,
                     E_SourceType source, uint16_t count) {
    return withReadings(cand(std::move(text), 1, weight, source, count), std::move(readings));
}

}  // namespace kov::test
