#include "engine/dict/rule_io.h"

#include "tests/dict/rule_fixture.h"
#include "tests/support/byte_string.h"
#include "tests/support/file_error_print.h"
#include "tests/support/fake_cats.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace kov {
namespace {

using test::bytes;
using test::cat;
using test::gap;
using test::rule;
using test::word;

const std::map<uint8_t, uint8_t> kIdentity = [] {
    std::map<uint8_t, uint8_t> m;
    for (int i = 0; i < 256; ++i)
        m[uint8_t(i)] = uint8_t(i);
    return m;
}();

std::string record(const C_Rule& r, C_UsageStamp stamp = {}) {
    std::string out;
    writeRuleRecord(out, r, stamp);
    return out;
}

class RuleIoTest : public ::testing::Test {
protected:
    bool read(const std::string& section, size_t n,
              const std::map<uint8_t, uint8_t>& map = kIdentity) {
        qiv::C_ByteCursor in(section);
        return m_table.read(in, n, map).ok();
    }
    const C_Rule* only() const {
        return m_table.size() == 1 ? m_table.rules().begin()->second.rule.get() : nullptr;
    }

    test::C_FakeCats m_cats;
    C_RuleTable m_table{m_cats};
};

TEST_F(RuleIoTest, WordElementRecordHasTheExampleBytes) {
    const std::string golden =
        bytes({0x07, 0,   0, 0,   0x04, 0x03, 0x02, 0x01, 0x81, 0x00, 0x00, 'x', 0,
               'k',  '1', 0, 'k', '2',  0,    0,    0x00, 0x00, 0x00, 0x3F, 0xFF});
    EXPECT_EQ(record({word("x", {"k1", "k2"}, 0.5f)}, C_UsageStamp{7, 0x01020304}), golden);
    ASSERT_TRUE(read(golden, 1));
    ASSERT_NE(only(), nullptr);
    EXPECT_EQ((*only())[0].pattern, (C_RulePat{C_WordPat{"x", {"k1", "k2"}, 0}}));
    EXPECT_EQ((*only())[0].weight, 0.5f);
    EXPECT_EQ(m_table.rules().begin()->second.stamp, (C_UsageStamp{7, 0x01020304}));
}

TEST_F(RuleIoTest, ZeroWeightsAreNotWritten) {
    EXPECT_EQ(record({cat(9, 0, 0x0102, 0x0304), gap()}),
              bytes({0, 0, 0, 0, 0, 0, 0, 0, 0x02, 9, 0, 0x02, 0x01, 0x04, 0x03, 0x00, 0xFF}));
    // A gap with a weight carries it; -0 counts as 0.
    EXPECT_EQ(record({gap(-0.0f), gap(1.0f)}),
              bytes({0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x80, 0x00, 0x00, 0x80, 0x3F, 0xFF}));
    ASSERT_TRUE(read(record({cat(9, 0, 0x0102, 0x0304)}), 1));
    EXPECT_EQ((*only())[0].pattern, (C_RulePat{C_CatPat{9, 0x0102, 0x0304}}));
}

TEST_F(RuleIoTest, PaddingByteIsIgnoredOnReading) {
    std::string r = record({cat(9, 1)});
    r[9 + 1] = '\x55';
    ASSERT_TRUE(read(r, 1));
    EXPECT_EQ(std::get<C_CatPat>((*only())[0].pattern).cat, 9);
}

TEST_F(RuleIoTest, NanWeightIsWrittenAndReadBack) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::string r = record({word("a", {}, nan)});
    EXPECT_EQ(static_cast<uint8_t>(r[8]), 0x81);
    ASSERT_TRUE(read(r, 1));
    EXPECT_TRUE(std::isnan((*only())[0].weight));
}

TEST_F(RuleIoTest, TableRoundTripsByteForByte) {
    C_RuleTable source(m_cats);
    ASSERT_TRUE(
        source.insertRule(rule({word("\xE5\x8F\xB0", {"tai5"}, 2.5f, 1), gap(), cat(3, -1, 1, 9)}),
                          C_UsageStamp{4, 1700000000}));
    ASSERT_TRUE(source.insertRule(rule({cat(7, 0.25f), word("b", {}, 0, 2)}), C_UsageStamp{0, 5}));
    ASSERT_TRUE(
        source.insertRule(rule({gap(1), word("", {"a1", "b2", "c3"}, -3)}), C_UsageStamp{1, 2}));
    std::string section;
    source.write(section);
    std::ostringstream stream;
    source.write(stream);
    EXPECT_EQ(stream.str(), section);

    ASSERT_TRUE(read(section, 3));
    ASSERT_EQ(m_table.size(), 3u);
    for (const auto& [key, entry] : source.rules()) {
        const auto* back = m_table.find(key);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->stamp, entry.stamp);
        ASSERT_EQ(back->rule->size(), entry.rule->size());
        for (size_t i = 0; i < entry.rule->size(); ++i)
            EXPECT_EQ((*back->rule)[i].weight, (*entry.rule)[i].weight);
    }
    std::string again;
    m_table.write(again);
    EXPECT_EQ(again, section);
    // Records come in key order.
    EXPECT_EQ(section.substr(0, 8),
              bytes({1, 0, 0, 0, 2, 0, 0, 0}));  // the gap rule's key is lowest
}

TEST_F(RuleIoTest, CategoriesPassThroughTheMap) {
    const std::string r = record({cat(3, 1), cat(4, 1)});
    ASSERT_TRUE(read(r, 1, {{3, 30}, {4, 40}}));
    EXPECT_EQ(std::get<C_CatPat>((*only())[0].pattern).cat, 30);
    EXPECT_EQ(std::get<C_CatPat>((*only())[1].pattern).cat, 40);
    C_RuleTable other(m_cats);
    qiv::C_ByteCursor in(r);
    EXPECT_EQ(other.read(in, 1, {{3, 30}}),  // 4 is not in the map
              qiv::C_FileError(qiv::E_FileError::DAMAGED,
                               "Failed to read rule 0/1: category 4 that the file does not name"));
    EXPECT_TRUE(other.empty());
}

TEST_F(RuleIoTest, RuleWithACategoryUnknownToTheTableIsLeftOutAndTheReadGoesOn) {
    // 4 maps to 0: the file names it, the category table lacks it.
    const std::string section =
        record({cat(3, 1), cat(4, 1)}) + record({word("a", {}, 1)}) + record({cat(3, 2)});
    qiv::C_ByteCursor in(section);
    size_t dropped = 0;
    EXPECT_TRUE(m_table.read(in, 3, {{3, 30}, {4, 0}}, &dropped).ok());
    EXPECT_EQ(dropped, 1u);
    EXPECT_EQ(m_table.size(), 2u);
    EXPECT_TRUE(in.atEnd());
}

TEST_F(RuleIoTest, UnknownKindIsDamageAndKeepsEarlierRules) {
    const std::string good = record({word("a", {}, 1)});
    const std::string bad = bytes({0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0, 0, 'b', 0, 0, 0x05, 0xFF});
    const std::string section = good + bad;
    qiv::C_ByteCursor in(section);
    EXPECT_EQ(m_table.read(in, 2, kIdentity),
              qiv::C_FileError(qiv::E_FileError::DAMAGED,
                               "Failed to read rule 1/2: unknown element kind 5"));
    EXPECT_EQ(m_table.size(), 1u);
    // The weight flag is not part of the kind.
    const std::string flagged = bytes({0, 0, 0, 0, 0, 0, 0, 0, 0x83});
    qiv::C_ByteCursor in2(flagged);
    EXPECT_EQ(C_RuleTable(m_cats).read(in2, 1, kIdentity).text,
              "Failed to read rule 0/1: unknown element kind 3");
}

TEST_F(RuleIoTest, RuleEndsAtTheEndOfTheSection) {
    // Cut inside the key list of the last element (no weight): the complete keys stay, a key cut
    // before its NUL is dropped.
    const std::string whole = record({gap(2), word("a", {"k1", "k22"})});
    struct {
        size_t cut;
        std::vector<std::string> keys;
    } const cases[] = {
        {whole.size() - 2, {"k1", "k22"}},  // the list's NUL and the end mark are missing
        {whole.size() - 6, {"k1"}},         // cut exactly after k1's NUL
        {whole.size() - 3, {"k1"}},         // cut inside "k22"
        {whole.size() - 7, {}},             // cut inside "k1"
        {whole.size() - 9, {}},             // cut just after the text's NUL
    };
    for (const auto& c : cases) {
        C_RuleTable table(m_cats);
        const std::string section = whole.substr(0, c.cut);
        qiv::C_ByteCursor in(section);
        ASSERT_TRUE(table.read(in, 1, kIdentity).ok()) << c.cut;
        ASSERT_EQ(table.size(), 1u) << c.cut;
        const C_Rule& r = *table.rules().begin()->second.rule;
        ASSERT_EQ(r.size(), 2u) << c.cut;
        EXPECT_EQ(std::get<C_WordPat>(r[1].pattern).keys, c.keys) << c.cut;
        EXPECT_EQ(r[0].weight, 2.0f) << c.cut;
    }
}

TEST_F(RuleIoTest, DamagedRecordsFailTheRead) {
    const std::string first = record({word("ok", {}, 1)});
    const std::string word1 =
        record({word("ab", {"k"}, 1.0f)});  // flags at 8, count 9-10, text 11-13
    const std::string cat1 = record({cat(2, 1.0f)});
    struct {
        const char* what;
        std::string rest;
    } const cases[] = {
        {"no record", ""},
        {"cut in the stamp", word1.substr(0, 5)},
        {"only a stamp", word1.substr(0, 8)},
        {"only a stamp and the end mark", word1.substr(0, 8) + "\xFF"},
        {"cut in the count", word1.substr(0, 10)},
        {"text without its NUL", word1.substr(0, 13)},
        {"cut in the weight", word1.substr(0, word1.size() - 3)},
        {"weight missing after the keys", word1.substr(0, word1.size() - 5)},
        {"cut in the category payload", cat1.substr(0, 12)},
        {"cut in the category weight", cat1.substr(0, cat1.size() - 2)},
        {"gaps only", record({gap(1), gap(2)})},
    };
    for (const auto& c : cases) {
        C_RuleTable table(m_cats);
        const std::string section = first + c.rest;
        qiv::C_ByteCursor in(section);
        const qiv::C_FileError e = table.read(in, 2, kIdentity);
        EXPECT_EQ(e.kind, qiv::E_FileError::DAMAGED) << c.what;
        EXPECT_EQ(e.text.rfind("Failed to read rule 1/2: ", 0), 0u) << c.what << ": " << e.text;
        EXPECT_EQ(table.size(), 1u) << c.what;  // the rule before stays
    }
}

TEST_F(RuleIoTest, RepeatedKeyKeepsTheFirstRule) {
    const std::string a = record({word("a", {"k"}, 1)}, C_UsageStamp{1, 10});
    const std::string b = record({word("a", {"k"}, 5)}, C_UsageStamp{2, 20});
    ASSERT_TRUE(read(a + b, 2));
    ASSERT_EQ(m_table.size(), 1u);
    EXPECT_EQ((*only())[0].weight, 1.0f);
    EXPECT_EQ(m_table.rules().begin()->second.stamp, (C_UsageStamp{1, 10}));
    size_t calls = 0;
    m_table.visitWordRules("a", {"k"}, [&](const C_Rule&, size_t) { ++calls; });
    EXPECT_EQ(calls, 1u);
}

TEST_F(RuleIoTest, StreamReadStopsAfterTheRulesItTook) {
    const std::string a = record({word("a", {}, 1)});
    const std::string b = record({cat(1, 1)});
    std::istringstream in("HEAD" + a + b + "tail");
    in.seekg(4);
    ASSERT_TRUE(m_table.read(in, 2, kIdentity).ok());
    EXPECT_EQ(m_table.size(), 2u);
    std::string rest;
    in >> rest;
    EXPECT_EQ(rest, "tail");
}

TEST_F(RuleIoTest, ZeroRecordsReadNothing) {
    EXPECT_TRUE(read("", 0));
    EXPECT_TRUE(read("garbage", 0));
    EXPECT_TRUE(m_table.empty());
}

}  // namespace
}  // namespace kov
