// The key-array walk reads section C's keys from copies made on the first walk. A file whose
// copies would outgrow it (its offsets all pointing at one long key, as a hostile file may
// have them) is walked over the keys in place, and finds what its entries hold. The block index
// built over the copies answers as the searches it stands for do.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fixtures/tailo_fixture.h"

namespace kov {
namespace {

using test::C_SystemDictFixture;
using test::C_TailoFixture;
using test::E_KeyTyping;
using test::tRec;

// A word of n syllables "ka", its key array and the keys typed for it.
struct C_LongWord {
    explicit C_LongWord(size_t n) {
        for (size_t i = 0; i < n; ++i) {
            word += i ? "-ka" : "ka";
            key += i ? "-ka1" : "ka1";
            typed.push_back("ka1");
        }
    }
    std::string word, key;
    std::vector<std::string> typed;
};

TEST(SystemDictKeys, KeysThatWouldOutgrowTheFileAreWalkedInPlace) {
    const C_LongWord longWord(60);
    C_TailoFixture f;
    f.c = {{longWord.key, {tRec(longWord.word)}},
           {"ka1-ka2", {tRec("ka-ká")}},
           {"ka1-ka3", {tRec("ka-kà")}},
           {"ka1-ka5", {tRec("ka-kâ")}}};
    const std::string bytes = f.bytes();
    {
        // As written: the copies fit, and each word is found.
        C_SystemDictFixture fx(bytes);
        const auto got = test::typeIslands(*fx.m_db, longWord.typed, E_KeyTyping::FULL);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(got[0].m_readings, std::vector<std::string>{longWord.word});
        const auto two = test::typeIslands(*fx.m_db, {"ka1", "ka3"}, E_KeyTyping::FULL);
        ASSERT_EQ(two.size(), 1u);
        EXPECT_EQ(two[0].m_readings, std::vector<std::string>{"ka-kà"});
    }
    // Every offset of section C (the first array: sections A and B are empty) patched to the
    // long key's: four copies of it are longer than the whole file.
    std::string patched = bytes;
    const size_t c = tailo_layout::kOffsetsAt;
    for (size_t i = 1; i < 4; ++i)
        patched.replace(c + 4 * i, 4, bytes, c, 4);
    ASSERT_GT(4 * longWord.key.size(), patched.size());
    C_SystemDictFixture fx(patched);
    ASSERT_TRUE(fx.m_db->loaded());
    const auto got = test::typeIslands(*fx.m_db, longWord.typed, E_KeyTyping::FULL);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].m_readings, std::vector<std::string>{longWord.word});
    EXPECT_TRUE(test::typeIslands(*fx.m_db, {"ka1", "ka3"}, E_KeyTyping::FULL).empty());
}

// The same dictionary with and without the block index (a key holding a byte from '\x7F' on, as
// only a damaged file has, leaves the walk to search): every word typed in full, without tones
// and by initials finds the same candidates. The keys nest blocks in the ways the index must
// follow: runs of one and two hyphens, a block whose first entry goes on with a longer run than
// a later one ("ka1--e5" before "ka1-a2"), a key that is the whole of its block's keys and
// blocks of one entry.
TEST(SystemDictKeys, BlockIndexFindsWhatTheSearchesFind) {
    const std::vector<std::vector<std::string>> words = {{"ka1"},
                                                         {"ka1", "a2"},
                                                         {"ka1", "a2", "a2"},
                                                         {"ka1", "ba2"},
                                                         {"ka1", "ba2", "a1"},
                                                         {"ka1", "e5"},
                                                         {"ka1", "e5", "a2"},
                                                         {"ka1", "ka1"},
                                                         {"ka1", "ka1", "ka1"},
                                                         {"ka1", "ka2"},
                                                         {"ka2", "a2"},
                                                         {"kau2", "a2"},
                                                         {"kau2", "pa1"},
                                                         {"kau2", "pa1", "tsi2"},
                                                         {"ko1", "e5"},
                                                         {"ko1", "e5", "a2"},
                                                         {"ko1", "a2"},
                                                         {"tai5", "uan5"},
                                                         {"tai5", "uan5", "lang5"},
                                                         {"tsa1", "poo1"}};
    // Keys joined by "-", except "e5", which follows a run of two ("ka1--e5": a neutral-tone
    // syllable).
    const auto join = [](const std::vector<std::string>& w) {
        std::string out;
        for (size_t i = 0; i < w.size(); ++i)
            out += std::string(i == 0 ? "" : w[i] == "e5" ? "--" : "-") + w[i];
        return out;
    };
    C_TailoFixture f;
    for (const auto& w : words)
        f.c[join(w)] = {tRec(join(w))};
    f.c["zz1"] = {tRec("zz1")};
    const std::string bytes = f.bytes();
    std::string unindexed = bytes;
    const size_t zz = unindexed.find(std::string("zz1\0", 4), f.poolAt());
    ASSERT_NE(zz, std::string::npos);
    unindexed[zz] = '\x80';  // still the last key
    C_SystemDictFixture indexed(bytes), searched(unindexed);
    ASSERT_TRUE(indexed.m_db->loaded() && searched.m_db->loaded());
    const auto found = [](const C_TailoDB& db, const std::vector<std::string>& keys,
                          E_KeyTyping how) {
        std::vector<std::string> out;
        for (const C_Candidate& c : test::typeIslands(db, keys, how)) {
            std::string line =
                c.m_text + "/" + std::to_string(c.m_span) + "/" + std::to_string(int(c.m_source));
            for (const std::string& r : c.m_readings)
                line += " " + r;
            out.push_back(line);
        }
        std::sort(out.begin(), out.end());
        return out;
    };
    for (const auto& w : words) {
        for (E_KeyTyping how : {E_KeyTyping::FULL, E_KeyTyping::TONELESS, E_KeyTyping::INITIALS}) {
            SCOPED_TRACE(join(w) + " typed " + std::to_string(int(how)));
            const auto got = found(*indexed.m_db, w, how);
            EXPECT_EQ(got, found(*searched.m_db, w, how));
            if (how == E_KeyTyping::FULL) {
                EXPECT_FALSE(got.empty());
            }
        }
    }
}

}  // namespace
}  // namespace kov
