#pragma once
// A dictionary held in memory for tests of composition: words filed under the keys of an island
// (the key string's bytes over the island, e.g. "tsiann5" or "ts?a"), words filed under an exact
// key, word and category rules, and a log of every island and exact key it was asked for. It can
// be told to throw on its next island visit, and it is a learner that keeps the jobs.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/compose/snapshot.h"
#include "engine/dict/candidate.h"
#include "engine/dict/rule.h"
#include "engine/dict/tailo_db.h"
#include "fixtures/capture_policy.h"
#include "tests/support/fake_cats.h"
#include "tests/support/recording_learner.h"

namespace kov::test {

class C_FakeTailoDB : public I_TailoDB, public C_RecordingLearner {
public:
    C_FakeTailoDB();

    // A word for islands whose keys are exactly keys. Its span is the island's length unless
    // spanOverride is set (to reach over marks, for instance).
    C_FakeTailoDB& word(std::string keys, C_Candidate word, uint16_t spanOverride = 0);
    // A word for exact-key lookups of key.
    C_FakeTailoDB& exact(std::string key, C_Candidate word);
    // A rule filed under a word text (empty key) or under a category, with its anchor element.
    C_FakeTailoDB& wordRule(std::string text, C_Rule rule, size_t anchor);
    C_FakeTailoDB& catRule(uint8_t cat, C_Rule rule, size_t anchor);
    // Forgets every word filed so far (rules stay).
    void forgetWords() {
        m_islandWords.clear();
        m_exactWords.clear();
    }
    // The next island visit throws std::runtime_error "Fake dictionary failure".
    void failNextVisit() const { m_failNext = true; }

    void getRelatedChoices(const C_VisitConsts&, const C_StdIsle&,
                           const FC_RelatedSink&) const override {}
    const I_TailoCats& cats() const override { return m_cats; }
    void getIslandVocs(const C_VisitConsts& consts, const C_StdIsle& isle,
                       const FC_UnitAt& unitAt) const override;
    void addKeyVocs(C_CompoUnit& unit, std::string_view key, bool capital) const override;
    void visitCatRules(std::span<const uint8_t> cats, const FC_RuleVisitor& visit) const override;
    void visitWordRules(const std::string& text, const std::vector<std::string>& keys,
                        const FC_RuleVisitor& visit) const override;
    const I_TailoPolicy& logger() const override { return m_policy; }
    void voc2tailos(std::string_view, const FC_ReadingSink&) const override {}

    // "start+length:kind" per island visit, "key:<k>" (with "!" for a capital) per exact key.
    mutable std::vector<std::string> m_calls;
    C_FakeCats m_cats;
    C_CapturePolicy m_policy;

private:
    struct C_Filed {
        C_Candidate word;
        uint16_t spanOverride = 0;
    };
    struct C_FiledRule {
        C_Rule rule;
        size_t anchor = 0;
    };
    std::map<std::string, std::vector<C_Filed>> m_islandWords;
    std::map<std::string, std::vector<C_Candidate>> m_exactWords;
    std::multimap<std::string, C_FiledRule> m_wordRules;
    std::multimap<uint8_t, C_FiledRule> m_catRules;
    mutable bool m_failNext = false;
};

// A candidate as a dictionary would add it.
C_Candidate dictWord(std::string text, std::vector<std::string> readings = {}, float weight = 0.0f,
                     E_SourceType source = ST_SYS_EXACT, uint16_t count = 0);

}  // namespace kov::test
