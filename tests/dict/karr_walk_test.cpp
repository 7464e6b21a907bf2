// The key-array walk over a plain in-memory entry source: how typed syllables, initials and
// wildcard patterns reach words, the abbreviation threshold, sources 3 and 4, related choices,
// hyphen runs, capitals and the reading checks.

#include "engine/dict/karr_walk.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/text/tailo.h"
#include "fixtures/tailo_fixture.h"
#include "fixtures/tailo_regex.h"

namespace kov {
namespace {

using test::C_TypedLine;
using test::kRimeToneRegex;

struct C_Rec {
    C_Rec(std::string t, std::vector<std::string> r, float w = 0.0f, std::vector<uint8_t> c = {})
        : text(std::move(t)), readings(std::move(r)), weight(w), cats(std::move(c)) {}
    std::string text;
    std::vector<std::string> readings;
    float weight;
    std::vector<uint8_t> cats;
};

// A sorted vector of key arrays: the simplest entry source.
class C_VectorKarr final : public I_KarrEntries {
public:
    C_VectorKarr(std::initializer_list<std::pair<std::string, std::vector<C_Rec>>> entries)
        : m_entries(entries) {
        std::sort(m_entries.begin(), m_entries.end(),
                  [](const auto& x, const auto& y) { return x.first < y.first; });
    }
    size_t karrCount() const override { return m_entries.size(); }
    std::string_view karrKey(size_t i) const override { return m_entries[i].first; }
    void visitKarrRecords(size_t i, const FC_KarrRecordVisitor& visit) const override {
        ++visits;
        for (const C_Rec& r : m_entries[i].second)
            visit(C_KarrRecord{r.text, r.readings, r.cats, r.weight});
    }
    // With blocks kept, the walk from an initial goes through them instead of the entries.
    const C_KarrInitialBlocks* initialBlocks(std::string_view initial) const override {
        if (!keepBlocks)
            return nullptr;
        auto it = m_blocks.find(std::string(initial));
        if (it == m_blocks.end())
            it = m_blocks.emplace(std::string(initial), findInitialBlocks(*this, initial)).first;
        return &it->second;
    }
    mutable size_t visits = 0;
    bool keepBlocks = false;

private:
    std::vector<std::pair<std::string, std::vector<C_Rec>>> m_entries;
    mutable std::map<std::string, C_KarrInitialBlocks> m_blocks;
};

const C_VectorKarr& sample() {
    static const C_VectorKarr entries{
        {"ka2", {{"甲", {"ká"}, 3.0f, {1, 1}}}},
        {"kau2", {{"狗", {"káu"}}}},
        {"kau2-a2", {{"狗仔", {"káu-á"}}}},
        {"kau2-pa1-tsi2", {{"狗巴芝", {"káu-pa-tsí"}, -2.0f}}},
        {"kau2-pa1", {{"狗巴", {"káu-pa", "Káu-pa"}}, {"", {"káu-pa"}}}},
        {"tai5", {{"台", {"tâi"}}}},
        {"tai5-uan5", {{"台灣", {"tâi-uân"}}}},
        {"tai5-uan5-lang5", {{"台灣人", {"tâi-uân-lâng"}}}},
        {"a1", {{"阿", {"a"}}}},
        {"ang5", {{"紅", {"âng"}}}},
    };
    return entries;
}

struct C_Found {
    C_Candidate candidate;
    std::string text;
};

std::vector<C_Found> walk(C_TypedLine& line, const C_StdIsle& isle,
                          E_KarrMode mode = KARR_ISLAND_VOCS, size_t threshold = 3, size_t item = 0,
                          const I_KarrEntries& entries = sample()) {
    const C_VisitConsts vc = line.consts();
    std::vector<C_Found> found;
    const C_StdKarrVocsRecurseConsts rc(
        vc, isle,
        [&](const C_Candidate& c, std::string_view text) {
            found.push_back({c, std::string(text)});
        },
        mode, threshold);
    walkKarrVocs(entries, rc, item);
    return found;
}

const C_Found* findText(const std::vector<C_Found>& found, std::string_view text) {
    for (const C_Found& f : found)
        if (f.candidate.m_text == text)
            return &f;
    return nullptr;
}

TEST(KarrWalk, FullSyllableWithToneFindsTheOneSyllableWordExactly) {
    C_TypedLine line("ka2");
    const auto isle = line.syllable(0, 3, true);
    const auto found = walk(line, *isle);
    ASSERT_EQ(found.size(), 1u);
    const C_Candidate& c = found[0].candidate;
    EXPECT_EQ(c.m_text, "甲");
    EXPECT_EQ(c.m_readings, std::vector<std::string>{"ká"});
    EXPECT_EQ(c.m_source, ST_SYS_PREFIX);
    EXPECT_EQ(c.m_span, 3);
    EXPECT_EQ(c.m_count, 1);
    EXPECT_EQ(c.m_weight, 3.0f);
    EXPECT_EQ(c.m_cats, std::vector<uint8_t>{1});  // repeats dropped
    EXPECT_EQ(c.m_rank, RANK_ORDINARY);
}

TEST(KarrWalk, ToneWildcardDigitMatchesAnyTone) {
    C_TypedLine line("ka0");
    const auto isle = line.syllable(0, 3, true);
    const auto found = walk(line, *isle);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].candidate.m_text, "甲");
}

// Words typed only as initials need karrThreshold distinct islands; one syllable typed more
// fully lifts the threshold for the whole word.
TEST(KarrWalk, AbbreviationThreshold) {
    struct Case {
        const char* name;
        const char* typed;
        std::vector<std::tuple<char, size_t, size_t>>
            isles;  // kind ('p' plain, 's' syllable), start, length
        size_t threshold;
        const char* word;  // expected word, or "" for none
        E_SourceType source;
    } cases[] = {
        {"one initial, one syllable word", "k", {{'p', 0, 1}}, 3, "", ST_SYS_WILDCARD},
        {"three initials",
         "kpts",
         {{'p', 0, 1}, {'p', 1, 1}, {'p', 2, 2}},
         3,
         "狗巴芝",
         ST_SYS_WILDCARD},
        {"two initials of a three-syllable word",
         "kp",
         {{'p', 0, 1}, {'p', 1, 1}},
         3,
         "",
         ST_SYS_WILDCARD},
        {"two initials, threshold 2", "kp", {{'p', 0, 1}, {'p', 1, 1}}, 2, "狗巴", ST_SYS_WILDCARD},
        {"full syllable then initial",
         "kau2p",
         {{'s', 0, 4}, {'p', 4, 1}},
         3,
         "狗巴",
         ST_SYS_WILDCARD},
        // Every syllable typed in full: an exact find, with tone digits or without.
        {"toneless syllables", "kaupa", {{'s', 0, 3}, {'s', 3, 2}}, 3, "狗巴", ST_SYS_PREFIX},
        {"toned syllables", "kau2pa1", {{'s', 0, 4}, {'s', 4, 3}}, 3, "狗巴", ST_SYS_PREFIX},
        // An initial before a full syllable leaves the word inexact.
        {"initial then full syllable",
         "kpa1",
         {{'p', 0, 1}, {'s', 1, 3}},
         2,
         "狗巴",
         ST_SYS_WILDCARD},
        {"initial then toneless syllables",
         "kpatsi",
         {{'p', 0, 1}, {'s', 1, 2}, {'s', 3, 3}},
         3,
         "狗巴芝",
         ST_SYS_WILDCARD},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        C_TypedLine line(c.typed);
        std::shared_ptr<const C_StdIsle> first;
        for (auto [kind, start, length] : c.isles) {
            auto isle =
                kind == 'p' ? line.plain(start, length) : line.syllable(start, length, true);
            if (!first)
                first = isle;
        }
        const auto found = walk(line, *first, KARR_ISLAND_VOCS, c.threshold);
        if (std::string(c.word).empty()) {
            for (const C_Found& f : found)
                EXPECT_NE(f.candidate.m_count, c.isles.size()) << f.candidate.m_text;
            continue;
        }
        const C_Found* f = findText(found, c.word);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->candidate.m_source, c.source);
        EXPECT_EQ(f->candidate.m_count, c.isles.size());
        EXPECT_EQ(f->candidate.m_span, std::string(c.typed).size());
    }
}

// The blocks a table may keep for an initial lead the walk to the same words as going through
// the entries, for every threshold and whatever follows the initial.
TEST(KarrWalk, InitialBlocksFindWhatTheEntriesFind) {
    C_VectorKarr kept{
        {"ka2", {{"甲", {"ká"}}}},
        {"kau2-a2", {{"狗仔", {"káu-á"}}}},
        {"kau2-pa1", {{"狗巴", {"káu-pa"}}}},
        {"kau2-pa1-tsi2", {{"狗巴芝", {"káu-pa-tsí"}}}},
        {"ki1-a2", {{"枝仔", {"ki-á"}}}},
        {"ko1--e5", {{"哥的", {"ko--ê"}}}},
        {"ksa1-pa1", {{"?", {"ksa-pa"}}}},
        {"kuan1-pang5", {{"關房", {"kuan-pâng"}}}},
        {"tsa1-po1", {{"查埔", {"tsa-poo"}}}},
    };
    kept.keepBlocks = true;
    C_VectorKarr walked = kept;
    walked.keepBlocks = false;
    const auto found = [](C_TypedLine& line, const C_StdIsle& isle, size_t threshold,
                          const I_KarrEntries& e) {
        std::vector<std::string> out;
        for (const C_Found& f : walk(line, isle, KARR_ISLAND_VOCS, threshold, 0, e))
            out.push_back(f.candidate.m_text + "/" + std::to_string(f.candidate.m_span));
        return out;
    };
    const char* typed[] = {"kpts", "kp", "kap", "ka-p", "k?", "kee", "k", "kpa1", "ktsp"};
    for (const char* keys : typed) {
        for (size_t threshold : {1, 2, 3}) {
            SCOPED_TRACE(std::string(keys) + " threshold " + std::to_string(threshold));
            C_TypedLine a(keys), b(keys);
            // An initial, then what follows as plain, syllable or wildcard islands.
            const std::string k = keys;
            const auto islands = [&](C_TypedLine& line) {
                auto first = line.plain(0, 1);
                for (size_t p = 1; p < k.size(); ++p) {
                    if (k[p] == '?')
                        line.wildcard(p - 1, 2);
                    else if (k[p] >= 'a' && k[p] <= 'z')
                        line.plain(p, 1);
                    if (k[p] == 'a' || k[p] == 'e')
                        line.syllable(p, k.size() - p, false);
                }
                if (k.find('-') != std::string::npos)
                    line.addHyphenRun(k.find('-'), k.find('-') + 1);
                return first;
            };
            const auto ia = islands(a);
            const auto ib = islands(b);
            EXPECT_EQ(found(a, *ia, threshold, kept), found(b, *ib, threshold, walked));
        }
    }
    EXPECT_GT(walked.visits + kept.visits, 0u);
}

TEST(KarrWalk, ToneDigitMustFollowAToneOrSeparator) {
    // "ka" typed as a syllable fits ka2 but not kau2 (the entry goes on with a letter).
    C_TypedLine line("ka");
    const auto isle = line.syllable(0, 2, true);
    const auto found = walk(line, *isle, KARR_ISLAND_VOCS, 1);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].candidate.m_text, "甲");
    EXPECT_EQ(found[0].candidate.m_source, ST_SYS_PREFIX);
}

TEST(KarrWalk, LoneVowelKeyStandsForAWholeSyllableInexactly) {
    // "a" (no initial, no tone) fits a1 exactly and ang5 only as an abbreviation.
    C_TypedLine line("a");
    const auto isle = line.syllable(0, 1, false);
    auto found = walk(line, *isle);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].candidate.m_text, "阿");
    EXPECT_EQ(found[0].candidate.m_source, ST_SYS_PREFIX);
    found = walk(line, *isle, KARR_ISLAND_VOCS, 1);
    const C_Found* f = findText(found, "紅");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->candidate.m_source, ST_SYS_WILDCARD);
}

TEST(KarrWalk, RelatedChoicesReportWordsThatGoOnWithTheirUntypedKeys) {
    C_TypedLine line("tai5");
    const auto isle = line.syllable(0, 4, true);
    const auto found = walk(line, *isle, KARR_RELATED);
    std::vector<std::pair<std::string, std::string>> got;
    for (const C_Found& f : found)
        got.emplace_back(f.candidate.m_text, f.text);
    // 台 ends within the typed keys and is not a related choice.
    EXPECT_EQ(got, (std::vector<std::pair<std::string, std::string>>{{"台灣", "uan5"},
                                                                     {"台灣人", "uan5-lang5"}}));
    for (const C_Found& f : found)
        EXPECT_EQ(f.candidate.m_span, 4);
}

TEST(KarrWalk, IslandVocsReportEachWordOnceAndWithoutText) {
    C_TypedLine line("tai5uan5");
    const auto first = line.syllable(0, 4, true);
    line.syllable(4, 4, false);
    const auto found = walk(line, *first);
    std::vector<std::string> texts;
    for (const C_Found& f : found) {
        texts.push_back(f.candidate.m_text);
        EXPECT_EQ(f.text, "");
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"台", "台灣"}));
    const C_Found* f = findText(found, "台灣");
    EXPECT_EQ(f->candidate.m_span, 8);
    EXPECT_EQ(f->candidate.m_count, 2);
    EXPECT_EQ(f->candidate.m_source, ST_SYS_PREFIX);  // every syllable typed in full: exact
}

TEST(KarrWalk, TypedHyphenRunIsSkippedBetweenIslands) {
    C_TypedLine line("kau2--a2");
    const auto first = line.syllable(0, 4, true);
    line.addHyphenRun(4, 6);
    line.syllable(6, 2, false);
    const auto found = walk(line, *first);
    const C_Found* f = findText(found, "狗仔");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->candidate.m_span, 8);
}

TEST(KarrWalk, CapitalsAreCarriedIntoReadingsAndRepeatsDropped) {
    C_TypedLine line("Kau2pa1");
    const auto first = line.syllable(0, 4, true);
    line.syllable(4, 3, true);
    const auto found = walk(line, *first);
    const C_Found* han = findText(found, "狗巴");
    ASSERT_NE(han, nullptr);
    // "káu-pa" and "Káu-pa" both become "Káu-pa": one reading.
    EXPECT_EQ(han->candidate.m_readings, std::vector<std::string>{"Káu-pa"});
    const C_Found* tailo = findText(found, "");
    ASSERT_NE(tailo, nullptr);
    EXPECT_EQ(tailo->candidate.m_readings, std::vector<std::string>{"Káu-pa"});
}

TEST(KarrWalk, WildcardIslandMatchesThroughItsPattern) {
    // "k*2": one item "k[aeioumngptkhr]+2"; kau2 and ka2 fit, and so does kau2-pa1 in mode 1.
    // A pattern lifts no threshold: alone in one island it needs a threshold of 1.
    C_TypedLine line("k*2");
    const auto isle = line.wildcard(0, 3);
    EXPECT_TRUE(walk(line, *isle).empty());
    auto found = walk(line, *isle, KARR_ISLAND_VOCS, 1);
    std::vector<std::string> texts;
    for (const C_Found& f : found) {
        texts.push_back(f.candidate.m_text);
        EXPECT_EQ(f.candidate.m_source, ST_SYS_WILDCARD);
        EXPECT_EQ(f.candidate.m_span, 3);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"甲", "狗"}));
    found = walk(line, *isle, KARR_RELATED);
    const C_Found* f = findText(found, "狗巴");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->text, "pa1");
}

TEST(KarrWalk, WildcardSpanEndsAtTheFirstItemTheMatchDidNotReach) {
    // "ts?a": items "ts[...]" and "a". tsua2 takes both (span 4); tsu2 only the first (span 3).
    const C_VectorKarr entries{{"tsu2", {{"", {"tsú"}}}}, {"tsua2", {{"", {"tsuá"}}}}};
    C_TypedLine line("ts?a");
    const auto isle = line.wildcard(0, 4);
    const auto found = walk(line, *isle, KARR_ISLAND_VOCS, 1, 0, entries);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].candidate.m_readings[0], "tsú");
    EXPECT_EQ(found[0].candidate.m_span, 3);
    EXPECT_EQ(found[1].candidate.m_readings[0], "tsuá");
    EXPECT_EQ(found[1].candidate.m_span, 4);
}

// A word goes on past a wildcard island only when its first syllable took every item of it:
// "ts?ang" reaches tsu2-ang5 through the island "ts?" (its one item taken, then "ang" at 3),
// but "ts?kang" must not reach it through "ts?k", whose item "k" the match never took (the
// word would span a typed "k" it does not spell). In mode 1 the same holds for related choices.
TEST(KarrWalk, AWordGoesOnPastAWildcardIslandOnlyWhenItTookEveryItem) {
    const C_VectorKarr entries{{"tsu2-ang5", {{"", {"ts\u00fa-\u00e2ng"}}}}};
    const struct {
        const char* typed;
        size_t isleLength;
        E_KarrMode mode;
        bool found;
    } cases[] = {
        {"ts?ang", 3, KARR_ISLAND_VOCS, true},
        {"ts?kang", 4, KARR_ISLAND_VOCS, false},
        {"ts?", 3, KARR_RELATED, true},
        {"ts?k", 4, KARR_RELATED, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        C_TypedLine line(c.typed);
        const auto isle = line.wildcard(0, c.isleLength);
        const std::string_view typed(c.typed);
        if (typed.size() > c.isleLength)
            line.syllable(c.isleLength, typed.size() - c.isleLength, false);
        const auto found = walk(line, *isle, c.mode, 1, 0, entries);
        EXPECT_EQ(found.size(), c.found ? 1u : 0u);
        if (c.found && !found.empty())
            EXPECT_EQ(found[0].candidate.m_span, c.mode == KARR_RELATED ? 3 : typed.size());
    }
}

TEST(KarrWalk, StarThatAteTheLaterItemsKeysStillReachesTheIslandsEnd) {
    // "k*a": the star takes "ua" of kua2, the group of item "a" takes no part; the typed "a"
    // still fits the entry's last characters, so the word spans the whole island.
    const C_VectorKarr entries{{"kua2", {{"", {"kuá"}}}}, {"kui2", {{"", {"kuí"}}}}};
    C_TypedLine line("k*a");
    const auto isle = line.wildcard(0, 3);
    const auto found = walk(line, *isle, KARR_ISLAND_VOCS, 1, 0, entries);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].candidate.m_readings[0], "kuá");
    EXPECT_EQ(found[0].candidate.m_span, 3);
}

TEST(KarrWalk, ReadingsThatDoNotFitThePositionsAreDropped) {
    const C_VectorKarr entries{{"ka2", {{"甲", {"ká", "kah", "not tai-lo ä"}}, {"乙", {"tsit"}}}}};
    C_TypedLine line("ka2");
    const auto isle = line.syllable(0, 3, true);
    const auto found = walk(line, *isle, KARR_ISLAND_VOCS, 3, 0, entries);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].candidate.m_readings, std::vector<std::string>{"ká"});
}

TEST(KarrWalk, InitialFitsExactlyTheEntriesWhoseRestIsARimeAndTone) {
    // The regex of rimes and tones is the oracle for what an initial may stand before.
    const char* rests[] = {"a1",    "ai2",   "ere5", "ee3", "iau7", "ioo1", "uee2",  "ang5",
                           "annh4", "ernn2", "urh4", "m5",  "mh4",  "ng7",  "ngh8",  "ue2",
                           "x1",    "aix2",  "a",    "ng",  "1",    "ong0", "aung5", "irm2"};
    for (const char* rest : rests) {
        const std::string key = std::string("k") + rest;
        const C_VectorKarr entries{{key, {{"", {"x"}}}}};
        C_TypedLine line("k");
        const auto isle = line.plain(0, 1);
        const C_VisitConsts vc = line.consts();
        bool offered = false;
        const C_StdKarrVocsRecurseConsts rc(
            vc, *isle, [&](const C_Candidate&, std::string_view) { offered = true; },
            KARR_ISLAND_VOCS, 1);
        // The walk reaches the reading check only for entries that fit: count the visits.
        entries.visits = 0;
        walkKarrVocs(entries, rc, 0);
        std::string r(rest);
        EXPECT_EQ(entries.visits == 1, std::regex_match(r, kRimeToneRegex)) << key;
        EXPECT_FALSE(offered);  // "x" is no reading of these keys
    }
}

TEST(KarrWalk, RefusedEntriesArePassedOverWithoutLosingLaterOnes) {
    // Under the initial k, the kh... entries are refused as a block; ki... still fit.
    const C_VectorKarr entries{{"kha1-pa1", {{"", {"kha-pa"}}}},
                               {"kha1-pa1-a1", {{"", {"kha-pa-a"}}}},
                               {"khi1-pa1", {{"", {"khi-pa"}}}},
                               {"kiau1-pa1", {{"", {"kiau-pa"}}}},
                               {"kiau1-pi1", {{"", {"kiau-pi"}}}}};
    C_TypedLine line("kp");
    const auto first = line.plain(0, 1);
    line.plain(1, 1);
    const auto found = walk(line, *first, KARR_ISLAND_VOCS, 1, 0, entries);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].candidate.m_readings[0], "kiau-pa");
    EXPECT_EQ(found[1].candidate.m_readings[0], "kiau-pi");
}

TEST(KarrWalk, EachSharedPrefixIsWalkedOnce) {
    // Three words go on from kau2-: the next level is walked once, not once per word.
    C_TypedLine line("kau2pa1");
    const auto first = line.syllable(0, 4, true);
    line.syllable(4, 3, true);
    sample().visits = 0;
    const auto found = walk(line, *first);
    EXPECT_EQ(std::count_if(found.begin(), found.end(),
                            [](const C_Found& f) { return f.candidate.m_text == "狗巴"; }),
              1);
}

TEST(KarrWalk, EmptyPositionsAreALogicError) {
    C_TypedLine line("ka");
    const auto isle = line.syllable(0, 2, true);
    const C_VisitConsts vc = line.consts();
    const C_StdKarrVocsRecurseConsts rc(
        vc, *isle, [](const C_Candidate&, std::string_view) {}, KARR_ISLAND_VOCS, 3);
    try {
        getKarrVocs(sample(), rc, 0, sample().karrCount(), {}, "", false, true);
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "Empty word_poses");
    }
}

TEST(KarrWalk, MatchTailoChecksSyllablesAgainstPositions) {
    C_TypedLine line("kpts");
    const auto k = line.plain(0, 1);
    const auto p = line.plain(1, 1);
    const auto ts = line.plain(2, 2);
    const C_VisitConsts vc = line.consts();
    const C_StdKarrVocsRecurseConsts rc(vc, *k, {}, KARR_ISLAND_VOCS, 3);
    const C_IlKeyPos all[] = {{k.get(), 0, 1}, {p.get(), 0, 1}, {ts.get(), 0, 1}};
    EXPECT_EQ(rc.matchTailo("káu-pa-tsí", all), "káu-pa-tsí");
    EXPECT_EQ(rc.matchTailo("káu-pa", all), std::nullopt);          // more positions than syllables
    EXPECT_EQ(rc.matchTailo("káu-pa-tsí-á", all), "káu-pa-tsí-á");  // the rest is ignored
    EXPECT_EQ(rc.matchTailo("káu-ta-tsí", all), std::nullopt);      // t is no p
    EXPECT_EQ(rc.matchTailo("k-pa-tsí", all), std::nullopt);        // an initial needs a rime
    EXPECT_EQ(rc.matchTailo("", all), std::nullopt);
}

TEST(KarrWalk, SyncTailoCapitals) {
    C_TypedLine line("KaPa");
    const auto ka = line.syllable(0, 2, true);
    const auto pa = line.syllable(2, 2, true);
    const C_VisitConsts vc = line.consts();
    const C_StdKarrVocsRecurseConsts rc(vc, *ka, {}, KARR_ISLAND_VOCS, 3);
    const C_IlKeyPos both[] = {{ka.get(), 0, 1}, {pa.get(), 0, 1}};
    const C_IlKeyPos one[] = {{ka.get(), 0, 2}};
    struct Case {
        std::string in;
        std::span<const C_IlKeyPos> positions;
        std::string out;
    } cases[] = {
        {"ā-pa", both, "Ā-Pa"},  {"--ka-pa", both, "--Ka-Pa"},  // a leading hyphen run is kept
        {"ka-pa", one, "Ka-pa"},  // one position over two syllables: its first letter only
        {"---", both, "---"},    {"", both, ""},
    };
    for (Case& c : cases) {
        std::string s = c.in;
        rc.syncTailoCapitals(s, c.positions);
        EXPECT_EQ(s, c.out) << c.in;
    }
    C_TypedLine lower("kapa");
    const auto lka = lower.syllable(0, 2, true);
    const C_VisitConsts lvc = lower.consts();
    const C_StdKarrVocsRecurseConsts lrc(lvc, *lka, {}, KARR_ISLAND_VOCS, 3);
    std::string s = "ka-pa";
    const C_IlKeyPos lpos[] = {{lka.get(), 0, 2}};
    lrc.syncTailoCapitals(s, lpos);
    EXPECT_EQ(s, "ka-pa");
}

}  // namespace
}  // namespace kov
