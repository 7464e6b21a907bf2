// The key-array walk reads section C's keys from copies made on the first walk. A file whose
// copies would outgrow it (its offsets all pointing at one long key, as a hostile file may
// have them) is walked over the keys in place, and finds what its entries hold.

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kov
