// The lookups every layer shares: the same words stored in the system dictionary or in a user
// layer (over an empty system dictionary) give the same candidates for the same typed keys,
// but for the layer's source types.
#include "engine/dict/key_lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "fixtures/tailo_fixture.h"
#include "fixtures/user_db_fixture.h"

namespace kov::test {
namespace {

using Strings = std::vector<std::string>;

struct C_Word {
    std::string key;  // one toned key, or the keys joined by "-"
    char type;
    std::string word;
    int8_t weight = 0;
};

// Tai-lo words of one and of two syllables, and a Han word with its reading.
const std::vector<C_Word>& words() {
    static const std::vector<C_Word> w = {
        {"ti1", 'T', "ti"},     {"ta1", 'T', "ta", 2},  {"tai5", 'T', "tâi"},
        {"tian1", 'T', "tian"}, {"tuan5", 'T', "tuân"}, {"kah4", 'H', "甲", 1},
        {"ka2", 'T', "ká"},     {"ai3", 'T', "ài"},     {"tai5-uan5", 'T', "tâi-uân", 3},
    };
    return w;
}

std::string systemBytes() {
    C_TailoFixture f;
    for (const C_Word& w : words()) {
        const C_TailoFixture::C_Rec rec =
            w.type == 'H' ? hRec(w.word, w.weight) : tRec(w.word, w.weight);
        if (w.key.find('-') != std::string::npos) {
            f.c[w.key].push_back(rec);
        } else {
            f.a[w.key].push_back(rec);
            f.b[w.key].push_back(rec);
        }
    }
    f.d = {{"甲", {"kah"}}};
    return f.bytes();
}

void fillUserLayer(C_TestUserDB& db) {
    for (const C_Word& w : words()) {
        Strings keys;
        for (size_t at = 0; at <= w.key.size();) {
            const size_t dash = std::min(w.key.find('-', at), w.key.size());
            keys.push_back(w.key.substr(at, dash - at));
            at = dash + 1;
        }
        if (keys.size() == 1)
            ASSERT_TRUE(db.addKeysToWord(w.key, w.type, w.word, w.weight, {}, 0)) << w.key;
        else
            ASSERT_TRUE(db.addKarrToVoc(keys, w.type, w.word, w.weight, {}, 0)) << w.key;
    }
    db.addHantTailo("甲", "kah");
}

// What a candidate says, its source taken as the kind of find (exact, inexact, prefix) that
// both layers share.
using Found = std::tuple<size_t, std::string, Strings, uint16_t, uint16_t, int, float>;

int findKind(E_SourceType source) {
    return source >= ST_USER_EXACT ? int(source) - 3 : int(source);
}

std::vector<Found> collect(C_TypedLine& line, size_t units) {
    std::vector<Found> out;
    for (size_t pos = 0; pos < units; ++pos)
        for (const C_Candidate& c : line.unit(pos).candidates())
            out.emplace_back(pos, c.m_text, c.m_readings, c.m_span, c.m_count, findKind(c.m_source),
                             c.m_weight);
    return out;
}

struct C_Case {
    const char* typed;
    // Makes the line's islands and returns the one to look up.
    std::function<std::shared_ptr<const C_StdIsle>(C_TypedLine&)> island;
    std::vector<std::pair<std::string, uint16_t>> expected;  // (first reading, span) at unit 0
};

std::vector<Found> islandVocs(const I_TailoDB& db, const C_Case& c) {
    C_TypedLine line(c.typed);
    const auto isle = c.island(line);
    db.getIslandVocs(line.consts(), *isle, line.unitAt());
    return collect(line, line.keys().size());
}

TEST(KeyLookup, SystemDictionaryAndUserLayerAnswerAlike) {
    C_SystemDictFixture sys(systemBytes());
    C_UserDbSetup user;
    C_TestUserDB& layer = user.open();
    fillUserLayer(layer);

    const auto wild = [](size_t length) {
        return [length](C_TypedLine& l) { return l.wildcard(0, length); };
    };
    const std::vector<C_Case> cases = {
        // A later item is optional: a word that fits the first item ends where the second
        // begins; one that fits both spans the whole pattern.
        {"t?a?", wild(4), {{"ta", 2}, {"ti", 2}, {"tian", 4}, {"tuân", 4}}},
        {"t?a?i?", wild(6), {{"ta", 2}, {"ti", 2}, {"tian", 4}, {"tuân", 4}}},
        {"k?", wild(2), {{"ká", 2}}},
        {"k?h", wild(3), {{"ká", 2}, {"kah", 3}}},
        {"t?i5", wild(4), {{"ta", 2}, {"ti", 2}, {"tâi", 4}}},
        {"ta", [](C_TypedLine& l) { return l.syllable(0, 2, true); }, {{"ta", 2}}},
        {"ta0", [](C_TypedLine& l) { return l.syllable(0, 3, true); }, {{"ta", 3}}},
        {"tai5", [](C_TypedLine& l) { return l.syllable(0, 4, true); }, {{"tâi", 4}}},
        {"tai5uan5",
         [](C_TypedLine& l) {
             const auto first = l.syllable(0, 4, true);
             l.syllable(4, 4, false);
             return first;
         },
         {{"tâi-uân", 8}, {"tâi", 4}}},
    };
    for (const C_Case& c : cases) {
        const std::vector<Found> fromSystem = islandVocs(*sys.m_db, c);
        const std::vector<Found> fromUser = islandVocs(layer, c);
        EXPECT_EQ(fromUser, fromSystem) << c.typed;
        std::vector<std::pair<std::string, uint16_t>> first;
        for (const Found& f : fromSystem)
            if (std::get<0>(f) == 0)
                first.emplace_back(std::get<2>(f).at(0), std::get<3>(f));
        std::sort(first.begin(), first.end());
        auto expected = c.expected;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(first, expected) << c.typed;
    }

    // Exact keys, with and without capitals.
    for (const bool capital : {false, true}) {
        C_CompoUnit a(capital ? 'K' : 'k'), b(capital ? 'K' : 'k');
        sys.m_db->addKeyVocs(a, "kah4", capital);
        layer.addKeyVocs(b, "kah4", capital);
        ASSERT_EQ(a.size(), 1u);
        ASSERT_EQ(b.size(), 1u);
        EXPECT_EQ(b.at(0)->m_readings, a.at(0)->m_readings);
        EXPECT_EQ(a.at(0)->m_readings, Strings{capital ? "Kah" : "kah"});
        EXPECT_EQ(b.at(0)->m_span, a.at(0)->m_span);
        EXPECT_EQ(b.at(0)->m_count, 0);
    }
}

// An entry of many records (a user's words under one key): each distinct reading meets the
// filter once, also past the first few, and every record whose reading passes becomes a
// candidate, each reading read back as it was stored.
TEST(KeyLookup, EachReadingOfAnEntryMeetsTheFilterOnce) {
    class C_ManyRecords final : public I_KeyEntry {
    public:
        std::string_view key() const override { return "a1"; }
        void visitRecords(const FC_VocRecordVisitor& visit) const override {
            for (size_t i = 0; i < 120; ++i) {
                // Readings a0 .. a39, each in three records (with different weights).
                std::string reading[1] = {std::to_string(i % 40)};
                reading[0].insert(0, 1, 'a');
                C_VocRecord rec;
                rec.m_text = i < 40 ? "" : (i < 80 ? "x" : "y");
                rec.m_readings = reading;
                rec.m_weight = float(i);
                visit(rec);
            }
        }
    } entry;
    std::vector<std::string> asked;
    FC_ReadingFilter filter = [&asked](std::string_view r) {
        asked.emplace_back(r);
        return (r.back() - '0') % 2 == 0;  // the readings ending in an even digit
    };
    C_CompoUnit unit('a');
    EXPECT_TRUE(addEntryRecords(unit, entry, C_RecordAdd{2, 1, false, ST_USER_PREFIX}, filter));
    EXPECT_EQ(asked.size(), 40u);
    std::sort(asked.begin(), asked.end());
    EXPECT_EQ(std::adjacent_find(asked.begin(), asked.end()), asked.end());
    // 20 readings pass: one Tai-lo candidate each and one of each Han text.
    ASSERT_EQ(unit.size(), 20u + 2u);
    size_t tailo = 0;
    for (const C_Candidate& c : unit.candidates()) {
        if (!c.m_text.empty())
            continue;
        ++tailo;
        ASSERT_EQ(c.m_readings.size(), 1u);
        EXPECT_EQ((c.m_readings[0].back() - '0') % 2, 0) << c.m_readings[0];
    }
    EXPECT_EQ(tailo, 20u);
}

}  // namespace
}  // namespace kov::test
