// The system dictionary over small "tailo.tab" files written in the test: load checks, damaged
// files, the ad hoc rule, exact, toneless, "0"-tone and wildcard lookups, Han readings, island
// lookups and related choices.

#include "engine/dict/system_dict.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <string>
#include <vector>

#include "engine/dict/tailo_writer.h"
#include "fixtures/tailo_fixture.h"

namespace kov {
namespace {

using test::C_SystemDictFixture;
using test::C_TailoFixture;
using test::C_TypedLine;
using test::hRec;
using test::tRec;

// 甲 ká/kah, 台 tâi/thâi, 灣 uân/uan/ua, 阿 (no readings), 台灣 tâi-uân (whole).
C_TailoFixture sampleTailo() {
    C_TailoFixture f;
    f.a = {
        {"ka1", {tRec("ka")}},
        {"ka1x", {tRec("kax")}},  // goes on after the tone: sorts between ka1 and ka2
        {"ka2", {hRec("甲", 5, {1}), tRec("ká", -1)}},
        {"ka5", {tRec("kâ", int8_t(-1))}},
        {"kah4", {hRec("甲"), tRec("kah")}},
        {"tai5", {hRec("台")}},
    };
    f.b = {{"ka", {tRec("KA"), hRec("甲")}}, {"kau", {tRec("káu")}}};
    f.c = {
        {"ka2", {hRec("甲", 5, {1})}},
        {"tai5", {hRec("台")}},
        {"tai5-uan5", {hRec("台灣", 2, {2, 3})}},
        {"tai5-uan5-lang5", {tRec("tâi-uân-lâng")}},
    };
    f.d = {
        {"甲", {"ká", "kah"}}, {"台", {"tâi", "thâi"}}, {"灣", {"uân", "uan", "ua"}}, {"阿", {}},
        {"台灣", {"tâi-uân"}},
    };
    return f;
}

std::vector<std::string> readingsOf(const C_TailoDB& db, std::string_view han) {
    std::vector<std::string> out;
    db.voc2tailos(han, [&](std::string_view r) { out.emplace_back(r); });
    return out;
}

std::vector<C_Candidate> candidates(C_CompoUnit& unit) {
    auto span = unit.candidates();
    return std::vector<C_Candidate>(span.begin(), span.end());
}

TEST(SystemDict, WriterWritesTheFileLayoutByteForByte) {
    // One toned key, one exact key, no key arrays, one Han word: every field written out.
    C_TailoWriter w(0x12345678);
    ASSERT_TRUE(w.addRecord(E_TailoSection::TONED, "a1", C_TailoRecord{'T', 5, {1}, "a"}).ok());
    ASSERT_TRUE(w.addRecord(E_TailoSection::EXACT, "a", C_TailoRecord{'H', -1, {}, "阿"}).ok());
    ASSERT_TRUE(w.addReading("阿", "a").ok());
    const std::string expected = std::string(
        "\xFF\xFE\x10\x01"                        // byte order mark, version
        "\0\0\0\0\0\0\0\0"                        // two fields the reader skips
        "\x01\0\0\0\x01\0\0\0\0\0\0\0\x01\0\0\0"  // counts of A, B, C, D
        "\x78\x56\x34\x12"                        // category table hash
        "\x00\0\0\0"                              // A[0] at pool offset 0
        "\x0A\0\0\0"                              // B[0] at 10
        "\x14\0\0\0"                              // D[0] at 20
        "a1\0"
        "T\x05\x01\0"
        "a\0"
        "\0"  // key, record (type, weight, categories, word), end
        "a\0"
        "H\xFF\0"
        "\xE9\x98\xBF\0"
        "\0"  // key, Han record with weight -1 and no categories, end
        "\xE9\x98\xBF\0"
        "a\0"
        "\0",  // Han word, its reading, end
        0x20 + 3 * 4 + 27);
    EXPECT_EQ(w.bytes(), expected);

    // The fixture writes its description through the writer.
    C_TailoFixture f;
    f.a = {{"a1", {tRec("a", 5, {1})}}};
    f.b = {{"a", {hRec("阿", -1)}}};
    f.d = {{"阿", {"a"}}};
    EXPECT_EQ(f.bytes(), expected);
    EXPECT_EQ(f.poolAt(), 0x20u + 3 * 4);
    // ... and patches in what the writer never writes.
    f.bom = 0xFFFE;
    f.version = 0x0100;
    f.a["a1"][0].type = '\x80';
    std::string damaged = expected;
    damaged.replace(0, 4, std::string("\xFE\xFF\x00\x01", 4));
    damaged[f.poolAt() + 3] = '\x80';
    EXPECT_EQ(f.bytes(), damaged);
    // A description the writer would store differently is refused.
    C_TailoFixture repeated;
    repeated.a = {{"a1", {tRec("a"), tRec("a")}}};
    EXPECT_THROW(repeated.bytes(), std::invalid_argument);
    C_TailoFixture emptyKey;
    emptyKey.c = {{"", {tRec("a")}}};
    EXPECT_THROW(emptyKey.bytes(), std::invalid_argument);

    // What the reader would misread is refused.
    EXPECT_EQ(
        w.addRecord(E_TailoSection::KARR, "ka", C_TailoRecord{'T', 0, {}, std::string("a\0b", 3)})
            .kind,
        qiv::E_FileError::REFUSED);
    EXPECT_EQ(w.addRecord(E_TailoSection::KARR, "ka", C_TailoRecord{'T', 0, {0}, "a"}).kind,
              qiv::E_FileError::REFUSED);
    EXPECT_EQ(w.addRecord(E_TailoSection::KARR, "ka", C_TailoRecord{'X', 0, {}, "a"}).kind,
              qiv::E_FileError::REFUSED);
    EXPECT_EQ(w.addRecord(E_TailoSection::KARR, "k a", C_TailoRecord{'T', 0, {}, "a"}).kind,
              qiv::E_FileError::REFUSED);
    EXPECT_EQ(w.addRecord(E_TailoSection::KARR, "", C_TailoRecord{'T', 0, {}, "a"}).kind,
              qiv::E_FileError::REFUSED);
    EXPECT_EQ(w.addReading("甲", "").kind, qiv::E_FileError::REFUSED);
}

TEST(SystemDict, LoadChecks) {
    const std::string good = sampleTailo().bytes();
    struct Case {
        const char* name;
        std::string bytes;
        std::string cats;
        std::string error;
        bool adHoc;
    } cases[] = {
        {"valid", good, C_SystemDictFixture::sampleCatsBytes(), "", true},
        {"byte order", test::patchedU16(good, 0, 0xFFFE), C_SystemDictFixture::sampleCatsBytes(),
         "Reverse BOM", false},
        {"version", test::patchedU16(good, 2, 0x0100), C_SystemDictFixture::sampleCatsBytes(),
         "Reverse BOM", false},
        {"other hash", test::patched(good, tailo_layout::kCatsHashAt, "\x01\x02\x03\x04"),
         C_SystemDictFixture::sampleCatsBytes(), "Mismatched dependent hash", false},
        {"category table without header", good, "junk", "Mismatched dependent hash", false},
        {"three bytes", test::truncated(good, 3), C_SystemDictFixture::sampleCatsBytes(),
         "Truncated dictionary file", false},
        {"short header", test::truncated(good, 0x1F), C_SystemDictFixture::sampleCatsBytes(),
         "Truncated dictionary file", false},
        {"offset arrays cut", test::truncated(good, 0x22), C_SystemDictFixture::sampleCatsBytes(),
         "Truncated dictionary file", false},
        {"count beyond the file", test::patched(good, 0x10, "\xFF\xFF\xFF\x0F"),
         C_SystemDictFixture::sampleCatsBytes(), "Truncated dictionary file", false},
        {"counts that wrap in 32 bits",
         test::patched(good, tailo_layout::kSectionCountsAt,
                       std::string("\xFF\xFF\xFF\xFF\x02\x00\x00\x00", 8)),
         C_SystemDictFixture::sampleCatsBytes(), "Truncated dictionary file", false},
        {"offset past the pool", test::patched(good, tailo_layout::kOffsetsAt, "\xFF\xFF\x00\x00"),
         C_SystemDictFixture::sampleCatsBytes(), "Truncated dictionary file", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        C_SystemDictFixture fx(c.bytes, c.cats);
        EXPECT_EQ(fx.m_db->error().text, c.error);
        const qiv::E_FileError kind = c.error.empty() ? qiv::E_FileError::NONE
                                      : c.error == "Truncated dictionary file"
                                          ? qiv::E_FileError::DAMAGED
                                          : qiv::E_FileError::FORMAT;
        EXPECT_EQ(fx.m_db->error().kind, kind);
        EXPECT_EQ(fx.m_db->loaded(), c.error.empty());
        EXPECT_EQ(fx.m_db->rules().size(), c.adHoc ? 1u : 0u);
        if (!c.error.empty()) {
            EXPECT_EQ(fx.m_db->karrCount(), 0u);
            EXPECT_TRUE(readingsOf(*fx.m_db, "甲").empty());
        }
    }
}

TEST(SystemDict, MissingFileIsEmptyButKeepsTheAdHocRule) {
    test::C_TempFolder folder;
    const auto catsPath = folder.write("cats.tab", C_SystemDictFixture::sampleCatsBytes());
    test::C_CapturePolicy policy;
    C_TailoCats cats(catsPath);
    C_TailoDB db(folder.path() / "tailo.tab", cats, policy);
    EXPECT_EQ(db.error().kind, qiv::E_FileError::UNREADABLE);
    EXPECT_EQ(db.error(), db.file().error());  // the dictionary says why itself
    EXPECT_FALSE(db.loaded());
    EXPECT_EQ(db.rules().size(), 1u);
    C_CompoUnit unit('k');
    db.addKeyVocs(unit, "ka", false);
    db.addPrefixWords(unit, "ka");
    EXPECT_TRUE(unit.empty());
    EXPECT_EQ(&db.cats(), &cats);
    EXPECT_EQ(&db.logger(), &policy);
}

TEST(SystemDict, AdHocRuleIsFiledUnderItsThirdWord) {
    C_SystemDictFixture fx(sampleTailo().bytes());
    std::vector<std::vector<C_RuleElem>> seen;
    fx.m_db->visitWordRules("法", {},
                            [&](const std::vector<C_RuleElem>& r, size_t) { seen.push_back(r); });
    fx.m_db->visitWordRules("輸", {},
                            [&](const std::vector<C_RuleElem>& r, size_t) { seen.push_back(r); });
    ASSERT_EQ(seen.size(), 1u);  // indexed under its first word element only
    const auto& rule = seen[0];
    ASSERT_EQ(rule.size(), 3u);
    const char* texts[3] = {"輸", "入", "法"};
    for (size_t i = 0; i < 3; ++i) {
        const auto* w = std::get_if<C_WordPat>(&rule[i].pattern);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->text, texts[i]);
        EXPECT_EQ(w->count, 1);
        EXPECT_TRUE(w->keys.empty());
        EXPECT_EQ(rule[i].weight, i == 2 ? 6.0f : 0.0f);
    }
}

// Every truncation of a valid file, and every pool byte turned into a non-NUL, must load or
// refuse cleanly and answer every query without reading outside the file.
TEST(SystemDict, DamagedFilesNeverReadOutsideTheFile) {
    const C_TailoFixture f = sampleTailo();
    const std::string good = f.bytes();
    std::vector<std::string> variants;
    for (size_t n = 0; n < good.size(); ++n)
        variants.push_back(test::truncated(good, n));
    for (size_t i = f.poolAt(); i < good.size(); ++i)
        variants.push_back(test::patchedU8(good, i, 0x54));
    for (size_t i = tailo_layout::kOffsetsAt; i < f.poolAt(); ++i)
        variants.push_back(test::patchedU8(good, i, 0x7F));
    size_t loaded = 0;
    for (const std::string& bytes : variants) {
        C_SystemDictFixture fx(bytes);
        loaded += fx.m_db->loaded();
        C_TypedLine line("tai5uan5");
        const auto first = line.syllable(0, 4, true);
        line.syllable(4, 4, false);
        // Nothing throws: a damaged record is passed over.
        fx.m_db->getIslandVocs(line.consts(), *first, line.unitAt());
        fx.m_db->getRelatedChoices(line.consts(), *first, [](size_t, auto, std::string_view) {});
        // An initial typed alone: the blocks the dictionary keeps for it, found once.
        C_TypedLine initials("tu");
        const auto initial = initials.plain(0, 1);
        initials.plain(1, 1);
        fx.m_db->getIslandVocs(initials.consts(), *initial, initials.unitAt());
        fx.m_db->addKeyVocs(line.unit(0), "ka", false);
        fx.m_db->addPrefixWords(line.unit(0), "ka0");
        fx.m_db->addPrefixWords(line.unit(0), "ka");
        fx.m_db->addPrefixWords(line.unit(0), "zzz9");
        readingsOf(*fx.m_db, "台灣人");
    }
    EXPECT_GT(loaded, 0u);
}

TEST(SystemDict, ExactKeys) {
    C_SystemDictFixture fx(sampleTailo().bytes());
    C_CompoUnit unit('k');
    fx.m_db->addKeyVocs(unit, "ka", false);
    const auto got = candidates(unit);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].m_readings, std::vector<std::string>{"KA"});
    EXPECT_EQ(got[1].m_text, "甲");
    EXPECT_EQ(got[1].m_readings, (std::vector<std::string>{"ká", "kah"}));
    for (const auto& c : got) {
        EXPECT_EQ(c.m_source, ST_SYS_EXACT);
        EXPECT_EQ(c.m_count, 0);
        EXPECT_EQ(c.m_span, 2);
    }
    C_CompoUnit capital('K');
    fx.m_db->addKeyVocs(capital, "kau", true);
    ASSERT_EQ(capital.size(), 1u);
    EXPECT_EQ(capital.at(0)->m_readings, std::vector<std::string>{"Káu"});
    // A key above every entry, one between entries, and a prefix of an entry find nothing.
    for (const char* key : {"zzz", "kb", "k", ""}) {
        C_CompoUnit u('z');
        fx.m_db->addKeyVocs(u, key, false);
        EXPECT_TRUE(u.empty()) << key;
    }
}

TEST(SystemDict, PrefixWords) {
    C_SystemDictFixture fx(sampleTailo().bytes());
    struct Case {
        const char* key;
        char typed;
        std::vector<std::string> readings;  // one per candidate, in unit order
    } cases[] = {
        {"ka2", 'k', {"ká|kah", "ká"}},              // the H record keeps only the readings of ka2
        {"ka0", 'k', {"ka", "ká|kah", "ká", "kâ"}},  // ka1x is passed over, not the end of the scan
        {"ka", 'k', {"ka", "ká|kah", "ká", "kâ"}},   // kah4 goes on with a letter
        {"ka9", 'k', {}},
        {"Ka0", 'K', {}},  // keys are lower case
        {"tai5", 'T', {"Tâi"}},
        {"zzz", 'z', {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        C_CompoUnit unit(c.typed);
        fx.m_db->addPrefixWords(unit, c.key);
        std::vector<std::string> got;
        for (const auto& cand : candidates(unit)) {
            std::string joined;
            for (const auto& r : cand.m_readings)
                joined += (joined.empty() ? "" : "|") + r;
            if (cand.m_text == "甲")
                joined = "ká|kah";
            got.push_back(joined);
            EXPECT_EQ(cand.m_source, ST_SYS_PREFIX);
            EXPECT_EQ(cand.m_count, 1);
            EXPECT_EQ(cand.m_span, std::string(c.key).size());
        }
        EXPECT_EQ(got, c.readings);
    }
}

TEST(SystemDict, RecordFields) {
    C_SystemDictFixture fx(sampleTailo().bytes());
    C_CompoUnit unit('k');
    fx.m_db->addPrefixWords(unit, "ka2");
    const auto got = candidates(unit);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].m_text, "甲");
    EXPECT_EQ(got[0].m_readings, std::vector<std::string>{"ká"});  // kah is no ka2
    EXPECT_EQ(got[0].m_weight, 5.0f);
    EXPECT_EQ(got[0].m_cats, std::vector<uint8_t>{1});
    EXPECT_EQ(got[0].m_rank, RANK_ORDINARY);
    EXPECT_EQ(got[1].m_weight, -1.0f);  // the byte 0xFF is -1
    C_CompoUnit five('k');
    fx.m_db->addPrefixWords(five, "ka5");
    ASSERT_EQ(five.size(), 1u);
    EXPECT_EQ(five.at(0)->m_weight, -1.0f);
}

TEST(SystemDict, HanRecordsAndCapitals) {
    C_TailoFixture f;
    f.a = {{"a1", {hRec("阿"), hRec("乙")}}, {"a2", {tRec("á"), tRec("Á")}}};
    f.d = {{"阿", {}}};
    C_SystemDictFixture fx(f.bytes());
    C_CompoUnit unit('a');
    fx.m_db->addPrefixWords(unit, "a1");
    EXPECT_TRUE(unit.empty());  // 阿 has no readings, 乙 is not in section D at all
    C_CompoUnit capital('A');
    fx.m_db->addPrefixWords(capital, "a2");
    ASSERT_EQ(capital.size(), 1u);
    EXPECT_EQ(capital.at(0)->m_readings,
              std::vector<std::string>{"Á"});  // á and Á become one reading
}

TEST(SystemDict, RecordOfUnknownTypeIsPassedOverAtEveryLookup) {
    C_TailoFixture f;
    f.a = {{"a1",
            {C_TailoFixture::C_Rec{'\x80', 0, {}, "x"}, C_TailoFixture::C_Rec{'T', 0, {}, "a"}}}};
    f.c = {{"a1-a1",
            {C_TailoFixture::C_Rec{'?', 0, {}, "y"}, C_TailoFixture::C_Rec{'T', 0, {}, "a-a"}}}};
    C_SystemDictFixture fx(f.bytes());
    ASSERT_TRUE(fx.m_db->loaded());
    for (int keystroke = 0; keystroke < 2; ++keystroke) {
        C_CompoUnit unit('a');
        fx.m_db->addPrefixWords(unit, "a1");
        ASSERT_EQ(unit.size(), 1u);
        EXPECT_EQ(unit.at(0)->m_readings, std::vector<std::string>{"a"});
        std::vector<std::string> words;
        fx.m_db->visitKeyVocs(2, "a1-a1",
                              [&](std::string_view, std::span<std::string_view> r, auto, char) {
                                  words.emplace_back(r.front());
                              });
        EXPECT_EQ(words, std::vector<std::string>{"a-a"});
    }
}

TEST(SystemDict, HanReadings) {
    C_SystemDictFixture fx(sampleTailo().bytes());
    const C_TailoDB& db = *fx.m_db;
    EXPECT_EQ(readingsOf(db, "台灣"), std::vector<std::string>{"tâi-uân"});  // whole word wins
    EXPECT_EQ(readingsOf(db, "灣台"), (std::vector<std::string>{"uân-tâi", "uân-thâi", "uan-tâi",
                                                                "uan-thâi", "ua-tâi", "ua-thâi"}));
    EXPECT_EQ(readingsOf(db, "甲台"),
              (std::vector<std::string>{"ká-tâi", "ká-thâi", "kah-tâi", "kah-thâi"}));
    EXPECT_TRUE(readingsOf(db, "阿").empty());    // present without readings
    EXPECT_TRUE(readingsOf(db, "甲阿").empty());  // a piece without readings ends the search
    EXPECT_TRUE(readingsOf(db, "甲乙").empty());  // a piece that is absent too
    EXPECT_TRUE(readingsOf(db, "").empty());
    EXPECT_TRUE(readingsOf(db, "\xF0\x9F").empty());  // no whole character
    EXPECT_TRUE(fx.m_policy.lines().empty());
}

TEST(SystemDict, ComposedHanReadingsAreCapped) {
    C_TailoFixture f;
    f.d = {{"甲", {"ká", "kah"}}};
    C_SystemDictFixture fx(f.bytes());
    const auto got = readingsOf(*fx.m_db, "甲甲甲甲甲甲甲甲甲");  // 2^9 = 512 combinations
    ASSERT_EQ(got.size(), C_TailoDB::kMaxComposedReadings);
    EXPECT_EQ(got.front(), "ká-ká-ká-ká-ká-ká-ká-ká-ká");
    EXPECT_EQ(got.back(), "ká-kah-kah-kah-kah-kah-kah-kah-kah");  // the first 256 in order
    EXPECT_TRUE(fx.m_policy.contains("capped at 256", 2));
    EXPECT_EQ(readingsOf(*fx.m_db, "甲甲甲甲甲甲甲甲").size(), 256u);  // exactly the cap: no log
    EXPECT_EQ(fx.m_policy.count("capped"), 1u);
}

TEST(SystemDict, WildcardWords) {
    C_SystemDictFixture fx(sampleTailo().bytes());
    C_CompoUnit unit('k');
    const std::vector<C_IsleItem> k = buildWildcardItems("k?");
    const size_t two[] = {2};
    EXPECT_TRUE(fx.m_db->addWildcardWords(unit, two, "k", C_WildcardMatcher(k, 0, 1, true)));
    std::vector<std::string> got;
    for (const auto& c : candidates(unit)) {
        got.push_back(c.m_text.empty() ? c.m_readings[0] : c.m_text + ":" + c.m_readings[0]);
        EXPECT_EQ(c.m_source, ST_SYS_WILDCARD);
        EXPECT_EQ(c.m_span, 2);
        EXPECT_EQ(c.m_count, 1);
    }
    // ka1x and kah4 leave more than one character after the match.
    EXPECT_EQ(got, (std::vector<std::string>{"ka", "甲:ká", "ká", "kâ"}));
    C_CompoUnit none('t');
    const std::vector<C_IsleItem> ts = buildWildcardItems("ts?");
    EXPECT_FALSE(fx.m_db->addWildcardWords(none, two, "t", C_WildcardMatcher(ts, 0, 1, true)));
}

TEST(SystemDict, IslandVocs) {
    C_SystemDictFixture fx(sampleTailo().bytes());
    {
        // A syllable with its tone: the key-array word and the toned word of section A.
        C_TypedLine line("ka2");
        const auto isle = line.syllable(0, 3, true);
        fx.m_db->getIslandVocs(line.consts(), *isle, line.unitAt());
        const auto got = candidates(line.unit(0));
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0].m_text, "甲");
        EXPECT_EQ(got[0].m_source, ST_SYS_PREFIX);
        EXPECT_EQ(got[1].m_readings, std::vector<std::string>{"ká"});
    }
    {
        // An initial alone offers no one-syllable word.
        C_TypedLine line("k");
        const auto isle = line.plain(0, 1);
        fx.m_db->getIslandVocs(line.consts(), *isle, line.unitAt());
        EXPECT_TRUE(line.unit(0).empty());
    }
    {
        // A lone n looks nothing up in section A.
        C_TailoFixture f;
        f.a = {{"n1", {tRec("n")}}};
        C_SystemDictFixture n(f.bytes());
        C_TypedLine line("n");
        const auto lone = line.syllable(0, 1, false, true);
        n.m_db->getIslandVocs(line.consts(), *lone, line.unitAt());
        EXPECT_TRUE(line.unit(0).empty());
    }
    {
        // Two syllables: the walk adds 台灣 over both islands; 台 comes from section A.
        C_TypedLine line("tai5uan5");
        const auto first = line.syllable(0, 4, true);
        line.syllable(4, 4, false);
        fx.m_db->getIslandVocs(line.consts(), *first, line.unitAt());
        std::vector<std::pair<std::string, uint16_t>> got;
        for (const auto& c : candidates(line.unit(0)))
            got.emplace_back(c.m_text, c.m_span);
        EXPECT_EQ(got, (std::vector<std::pair<std::string, uint16_t>>{{"台灣", 8}, {"台", 4}}));
    }
    {
        // A key-array word must not end before a key that continues a syllable.
        C_TailoFixture f;
        f.c = {{"tai5", {hRec("台")}}};
        f.d = {{"台", {"tâi"}}};
        C_SystemDictFixture only(f.bytes());
        C_TypedLine line("tai5a");
        const auto first = line.syllable(0, 4, true);
        line.syllable(4, 1, false);
        only.m_db->getIslandVocs(line.consts(), *first, line.unitAt());
        EXPECT_TRUE(line.unit(0).empty());
        C_TypedLine alone("tai5");
        const auto isle = alone.syllable(0, 4, true);
        only.m_db->getIslandVocs(alone.consts(), *isle, alone.unitAt());
        EXPECT_EQ(alone.unit(0).size(), 1u);
    }
    {
        // A wildcard island: its literal keys narrow section A, its pattern picks the words.
        C_TypedLine line("k?");
        const auto isle = line.wildcard(0, 2);
        fx.m_db->getIslandVocs(line.consts(), *isle, line.unitAt());
        EXPECT_EQ(line.unit(0).size(), 4u);
        for (const auto& c : candidates(line.unit(0)))
            EXPECT_EQ(c.m_source, ST_SYS_WILDCARD);
    }
    {
        // The unit of a later item of a wildcard island must exist too.
        C_TypedLine line("k?a");
        const auto isle = line.wildcard(0, 3);
        auto unitAt = line.unitAt();
        try {
            fx.m_db->getIslandVocs(line.consts(), *isle, [&](size_t pos) -> C_CompoUnit* {
                return pos == 0 ? unitAt(0) : nullptr;
            });
            FAIL();
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Null cu_final at 2");
        }
    }
    {
        C_TypedLine line("ka");
        const auto isle = line.syllable(0, 2, true);
        try {
            fx.m_db->getIslandVocs(line.consts(), *isle,
                                   [](size_t) -> C_CompoUnit* { return nullptr; });
            FAIL();
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "Null cu at 0");
        }
    }
}

TEST(SystemDict, RelatedChoicesInModeOne) {
    C_SystemDictFixture fx(sampleTailo().bytes());
    C_TypedLine line("tai5");
    const auto isle = line.syllable(0, 4, true);
    std::vector<std::tuple<size_t, std::string, std::string, std::string>> got;
    fx.m_db->getRelatedChoices(
        line.consts(), *isle,
        [&](size_t pos, std::span<const C_SemiCandidate> cands, std::string_view text) {
            ASSERT_EQ(cands.size(), 1u);
            got.emplace_back(pos, cands[0].m_text, cands[0].m_readings.at(0), text);
        });
    EXPECT_EQ(got, (std::vector<std::tuple<size_t, std::string, std::string, std::string>>{
                       {0, "台灣", "tâi-uân", "uan5"}, {0, "", "tâi-uân-lâng", "uan5-lang5"}}));
}

TEST(SystemDict, QueriesFromSeveralThreadsAtOnce) {
    C_SystemDictFixture fx(sampleTailo().bytes());
    auto work = [&fx] {
        for (int n = 0; n < 50; ++n) {
            C_TypedLine line("tai5uan5");
            const auto first = line.syllable(0, 4, true);
            line.syllable(4, 4, false);
            fx.m_db->getIslandVocs(line.consts(), *first, line.unitAt());
            fx.m_db->getRelatedChoices(line.consts(), *first,
                                       [](size_t, auto, std::string_view) {});
            // An initial typed alone: the blocks the dictionary keeps for it, found once.
            C_TypedLine initials("tu");
            const auto initial = initials.plain(0, 1);
            initials.plain(1, 1);
            fx.m_db->getIslandVocs(initials.consts(), *initial, initials.unitAt());
            EXPECT_EQ(readingsOf(*fx.m_db, "灣台").size(), 6u);
            fx.m_db->visitWordRules("法", {}, [](const std::vector<C_RuleElem>&, size_t) {});
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
}

}  // namespace
}  // namespace kov
