#include "engine/dict/isle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace kov {
namespace {

const std::string kVowel = "[aeioumngptkhr]";

C_IsleItem item(std::string piece, uint16_t start, uint16_t literalEnd, bool hasStar = false) {
    C_IsleItem i;
    i.m_piece = std::move(piece);
    i.m_start = start;
    i.m_literalEnd = literalEnd;
    i.m_hasStar = hasStar;
    return i;
}

struct ItemsCase {
    const char* keys;
    std::vector<C_IsleItem> items;
};

TEST(IsleItems, BuiltKeyByKey) {
    const ItemsCase cases[] = {
        // each letter but r starts an item; the first wildcard fixes the literal end
        {"ts?a", {item("t", 0, 1), item("s" + kVowel, 1, 2), item("a", 3, 4)}},
        {"ts?", {item("t", 0, 1), item("s" + kVowel, 1, 2)}},
        {"a*", {item("a" + kVowel + "+", 0, 1, true)}},
        {"a??", {item("a" + kVowel + kVowel, 0, 1)}},
        {"ka0", {item("k", 0, 1), item("a\\d", 1, 2)}},
        // r and the tone digits 1-9 stand for themselves inside the item
        {"kr?", {item("kr" + kVowel, 0, 2)}},
        {"p1?", {item("p1" + kVowel, 0, 2)}},
        // a wildcard first fills the empty first piece
        {"?a", {item(kVowel, 0, 0), item("a", 1, 2)}},
        {"*0", {item(kVowel + "+\\d", 0, 0, true)}},
        {"", {}},
    };
    for (const ItemsCase& c : cases)
        EXPECT_EQ(buildWildcardItems(c.keys), c.items) << c.keys;
}

TEST(IsleItems, RefusesMoreKeysThanAPositionHolds) {
    EXPECT_NO_THROW(buildWildcardItems(std::string(0xFFFF, '?')));
    EXPECT_THROW(buildWildcardItems(std::string(0x10000, '?')), std::length_error);
}

TEST(StdIsle, FactoriesSetStartLengthAndKind) {
    const auto plain = C_StdIsle::makePlain(2, 3);
    EXPECT_EQ(plain->kind(), ISLE_PLAIN);
    EXPECT_EQ(plain->m_start, 2u);
    EXPECT_EQ(plain->end(), 5u);
    EXPECT_EQ(plain->syllable(), nullptr);
    EXPECT_TRUE(plain->items().empty());

    C_IsleSyllable lone;
    lone.m_loneN = true;
    const auto syl = C_StdIsle::makeSyllable(0, 1, lone);
    EXPECT_EQ(syl->kind(), ISLE_SYLLABLE);
    ASSERT_NE(syl->syllable(), nullptr);
    EXPECT_TRUE(syl->syllable()->m_loneN);
    EXPECT_FALSE(syl->syllable()->m_toneDigit);

    const auto wild = C_StdIsle::makeWildcard(3, "ts?a");
    EXPECT_EQ(wild->kind(), ISLE_WILDCARD);
    EXPECT_EQ(wild->m_start, 3u);
    EXPECT_EQ(wild->m_length, 4u);
    EXPECT_EQ(wild->items().size(), 3u);
}

TEST(StdIsle, SameIslandMeansSameLengthAndKind) {
    C_IsleSyllable toned;
    toned.m_toneDigit = '2';
    const auto a = C_StdIsle::makeSyllable(0, 3, toned);
    const auto b = C_StdIsle::makeSyllable(0, 3, C_IsleSyllable{});
    EXPECT_TRUE(a->sameAs(*b));  // the payload does not count
    EXPECT_FALSE(a->sameAs(*C_StdIsle::makePlain(0, 3)));
    EXPECT_FALSE(a->sameAs(*C_StdIsle::makeSyllable(0, 2, toned)));
}

struct GapCase {
    const char* keys;
    size_t item;
    std::optional<size_t> gap;
};

TEST(StdIsle, GapAfterItemIsWhereTheLiteralKeysEnd) {
    const GapCase cases[] = {
        {"ts?a", 0, 2},                             // t, then s up to its "?"
        {"ts?a", 1, 2}, {"ts?a", 2, std::nullopt},  // a reaches the island's end
        {"a*", 0, 1},   {"?a", 0, 0},
        {"kah?", 0, 3}, {"ka0", 1, 2},
    };
    for (const GapCase& c : cases) {
        const auto isle = C_StdIsle::makeWildcard(0, c.keys);
        EXPECT_EQ(isle->gapAfterItem(c.item), c.gap) << c.keys << " item " << c.item;
    }
    EXPECT_THROW(C_StdIsle::makeWildcard(0, "ts?a")->gapAfterItem(3), std::out_of_range);
    EXPECT_THROW(C_StdIsle::makePlain(0, 2)->gapAfterItem(0), std::out_of_range);
}

// An island cut from a longer one of the same keys is the island built from its own keys: the
// same items, gaps and stars; it shares the longer one's items when it ends where an item starts.
TEST(StdIsle, PrefixOfAWildcardIslandIsTheIslandOfItsKeys) {
    for (const std::string keys : {"m?mmm", "ts?a*ka0", "k?i*a0tsh", "?a?a", "tsh*r?"}) {
        const auto whole = C_StdIsle::makeWildcard(4, keys);
        const std::span<const C_IsleItem> wholeItems = whole->items();
        for (size_t length = 1; length <= keys.size(); ++length) {
            const std::string what = keys + " cut to " + std::to_string(length);
            const auto cut = C_StdIsle::makeWildcardPrefix(*whole, length, keys);
            const auto own = C_StdIsle::makeWildcard(4, keys.substr(0, length));
            EXPECT_EQ(cut->m_start, 4u) << what;
            EXPECT_EQ(cut->m_length, length) << what;
            ASSERT_TRUE(std::ranges::equal(cut->items(), own->items())) << what;
            const C_IsleWildcard& w = *cut->wildcard();
            for (size_t i = 0; i < own->items().size(); ++i) {
                EXPECT_EQ(cut->gapAfterItem(i), own->gapAfterItem(i)) << what << " item " << i;
                EXPECT_EQ(w.starFrom(i), own->wildcard()->starFrom(i)) << what << " item " << i;
                EXPECT_EQ(w.nextWildcardItem(i), own->wildcard()->nextWildcardItem(i)) << what;
            }
            const bool atItem =
                length == keys.size() || std::ranges::any_of(wholeItems, [&](const C_IsleItem& it) {
                    return it.m_start == length;
                });
            EXPECT_EQ(w.sharedId() == whole->wildcard()->sharedId(), atItem) << what;
        }
        EXPECT_THROW(C_StdIsle::makeWildcardPrefix(*whole, keys.size() + 1, keys + "a"),
                     std::logic_error);
    }
    EXPECT_THROW(C_StdIsle::makeWildcardPrefix(*C_StdIsle::makePlain(0, 2), 1, "ka"),
                 std::logic_error);
}

// The item lookups of a visit: the first of each layer, start and end is the first.
TEST(VisitConsts, FirstItemLookupPerLayerStartAndEnd) {
    const C_VisitConsts consts;
    const int a = 0, b = 0;
    EXPECT_TRUE(consts.firstItemLookup(&a, 3, 10));
    EXPECT_FALSE(consts.firstItemLookup(&a, 3, 10));
    EXPECT_TRUE(consts.firstItemLookup(&b, 3, 10));
    EXPECT_TRUE(consts.firstItemLookup(&a, 70, 10));  // past the first word of starts
    EXPECT_FALSE(consts.firstItemLookup(&a, 70, 10));
    EXPECT_TRUE(consts.firstItemLookup(&a, 3, 9));
    EXPECT_TRUE(consts.firstItemLookup(&a, 2, 10));
}

TEST(IlKeyPos, KeyStartIsTheItemStartOnWildcardIslands) {
    const auto wild = C_StdIsle::makeWildcard(5, "ts?a");
    EXPECT_EQ(ilKeyStart(C_IlKeyPos{wild.get(), 0, 1}), 0u);
    EXPECT_EQ(ilKeyStart(C_IlKeyPos{wild.get(), 2, 1}), 3u);
    EXPECT_THROW(ilKeyStart(C_IlKeyPos{wild.get(), 3, 1}), std::out_of_range);

    const auto plain = C_StdIsle::makePlain(5, 4);
    EXPECT_EQ(ilKeyStart(C_IlKeyPos{plain.get(), 2, 1}), 2u);
    const auto syl = C_StdIsle::makeSyllable(5, 4, C_IsleSyllable{});
    EXPECT_EQ(ilKeyStart(C_IlKeyPos{syl.get(), 7, 1}), 7u);
}

TEST(VisitConsts, LooksUpIslesCapitalsAndHyphenRuns) {
    std::vector<C_IsleList> isles(3);
    isles[1].push_back(C_StdIsle::makePlain(1, 1));
    const std::vector<size_t> capitals{0, 4};
    C_VisitConsts consts;
    consts.m_keys = "a-bcd";
    consts.m_capitals = capitals;
    consts.m_islesByStart = isles;
    consts.m_length = 5;
    consts.m_hyphenRuns = {{1, 2}, {6, 9}};

    EXPECT_TRUE(consts.islesAt(0).empty());
    EXPECT_EQ(consts.islesAt(1).size(), 1u);
    EXPECT_TRUE(consts.islesAt(3).empty());
    EXPECT_TRUE(consts.islesAt(1000).empty());

    EXPECT_TRUE(consts.isCapital(0));
    EXPECT_TRUE(consts.isCapital(4));
    EXPECT_FALSE(consts.isCapital(1));

    EXPECT_EQ(consts.skipHyphenRun(1), 2u);
    EXPECT_EQ(consts.skipHyphenRun(6), 9u);
    EXPECT_EQ(consts.skipHyphenRun(2), 2u);
    EXPECT_EQ(consts.skipHyphenRun(0), 0u);
}

struct BoundaryCase {
    const char* keys;
    size_t i;
    bool boundary;
};

TEST(IsKeyBoundary, WhereAWordMayEnd) {
    const BoundaryCase cases[] = {
        {"ab", 2, true},  // the end
        {"ab", 9, true},  // past the end
        {"ar", 1, true},  // r does not continue a syllable after a word
        {"aA", 1, true},  // a capital
        {"ac", 1, true},    {"a-", 1, true},  {"a\t", 1, true},  // a no-cross mark
        {"a\a", 1, true},                                        // a raw-key-only unit
        {"ab", 1, false},                      // a letter that continues a syllable
        {"aa", 1, false},   {"a?", 1, false},  // wildcards
        {"a*", 1, false},   {"a1", 1, false},  // a tone digit right after letters
        {"a1-", 2, true},                      // after one digit
        {"a1b", 2, false},  {"a12", 2, true},  // a digit right after one digit
        {"a12-", 3, false},                    // after two digits in a row
        {"a123", 3, false}, {"1-", 1, true},
    };
    for (const BoundaryCase& c : cases) {
        C_VisitConsts consts;
        consts.m_keys = c.keys;
        consts.m_length = consts.m_keys.size();
        consts.m_doctrine = true;
        EXPECT_EQ(isKeyBoundary(consts, c.i), c.boundary) << '"' << c.keys << "\" at " << c.i;
        consts.m_doctrine = false;
        EXPECT_TRUE(isKeyBoundary(consts, c.i)) << '"' << c.keys << "\" at " << c.i;
    }
}

TEST(IsKeyBoundary, TheKeyStringsLengthIsItsEnd) {
    C_VisitConsts consts;
    consts.m_keys = "abc";
    consts.m_length = 1;
    consts.m_doctrine = true;
    EXPECT_TRUE(isKeyBoundary(consts, 1));
    // A length beyond the view never reads past it.
    consts.m_keys = std::string_view("abc", 2);
    consts.m_length = 3;
    EXPECT_TRUE(isKeyBoundary(consts, 2));
    EXPECT_FALSE(isKeyBoundary(consts, 1));
}

}  // namespace
}  // namespace kov
