#include "engine/text/code_points.h"

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// Counts the allocations of the current thread while a test asks for it.
namespace {
thread_local bool t_countAllocations = false;
std::atomic<size_t> g_allocations{0};
}  // namespace

void* operator new(size_t n) {
    if (t_countAllocations)
        ++g_allocations;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace kov {
namespace {

using namespace std::string_view_literals;

std::vector<unsigned> codePoints(std::string_view text) {
    std::vector<unsigned> out;
    visitCodePoints(text, [&](unsigned cp) {
        out.push_back(cp);
        return true;
    });
    return out;
}

TEST(CodePointsTest, DecodesAndSkipsMalformedBytes) {
    struct S_Case {
        std::string_view bytes;
        std::vector<unsigned> cps;
    } cases[] = {
        {"", {}},
        {"A\0B"sv, {0x41, 0, 0x42}},
        {"\xC3\xA2", {0xE2}},
        {"\xE4\xB8\xAD", {0x4E2D}},
        {"\xF0\x9F\x98\x80", {0x1F600}},
        {"\xE4\xB8", {}},      // truncated at the end
        {"\xC3\x41", {0x41}},  // bad continuation: only the lead is dropped
        {"\xF0\x9F\x98"
         "A",
         {0x41}},
        {"\x80\xBF"
         "a",
         {0x61}},  // stray continuation bytes
        {"\xF8\x88\x80\x80\x80"
         "b",
         {0x62}},  // F8 to FF start nothing
        {"\xFF\xFE", {}},
        {"\xC0\xAD", {0x2D}},  // overlong forms are not checked
        // Surrogates and values above U+10FFFF have no UTF-8 form: malformed, the lead byte
        // goes and the continuation bytes behind it are stray.
        {"\xED\xA0\x80"
         "c",
         {0x63}},
        {"\xF4\x90\x80\x80"
         "d",
         {0x64}},
        {"\xF7\xBF\xBF\xBF", {}},
        {"\xF4\x8F\xBF\xBF", {0x10FFFF}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(codePoints(c.bytes), c.cps) << ::testing::PrintToString(std::string(c.bytes));
}

TEST(CodePointsTest, VisitStopsWhenTheVisitorSaysSo) {
    std::vector<unsigned> seen;
    visitCodePoints("abc", [&](unsigned cp) {
        seen.push_back(cp);
        return cp != 'b';
    });
    EXPECT_EQ(seen, (std::vector<unsigned>{'a', 'b'}));
}

TEST(CodePointsTest, VisitWithEmptyCallableThrows) {
    EXPECT_THROW(visitCodePoints("a", std_move_only_function<bool(unsigned)>()),
                 std::bad_function_call);
}

TEST(CodePointsTest, VisitAllocatesNothing) {
    const std::string text = "T\u00e2i-u\u00e2n \u4e2d\xFF\U0001F600";
    size_t count = 0;
    unsigned sum = 0;
    t_countAllocations = true;
    auto probe = std::make_unique<int>(1);  // the counter sees allocations
    t_countAllocations = false;
    ASSERT_EQ(g_allocations.load(), 1u);
    g_allocations = 0;
    t_countAllocations = true;
    visitCodePoints(text, [&](unsigned cp) {
        ++count;
        sum += cp;
        return true;
    });
    std_move_only_function<bool(unsigned)> wrapped = [&count, &sum](unsigned cp) {
        ++count;
        sum += cp;
        return true;
    };
    visitCodePoints(text, wrapped);
    const bool ascii = only_asciis(text);
    t_countAllocations = false;
    EXPECT_EQ(g_allocations.load(), 0u);
    EXPECT_EQ(count, 20u);
    EXPECT_FALSE(ascii);
}

TEST(CodePointsTest, IdcArity) {
    struct S_Case {
        unsigned cp, arity;
    } cases[] = {
        {0x2FF0, 2}, {0x2FF1, 2}, {0x2FF2, 3}, {0x2FF3, 3},  {0x2FF4, 2},  {0x2FF9, 2},
        {0x2FFD, 2}, {0x2FFE, 1}, {0x2FFF, 1}, {0x303E, 1},  {0x31EF, 2},  {0x2FEF, 0},
        {0x3000, 0}, {0x4E2D, 0}, {0, 0},      {0x12FF0, 0}, {0x12FF2, 0}, {0x1303E, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(idcArity(c.cp), c.arity) << std::hex << c.cp;
}

TEST(CodePointsTest, CharacterUnits) {
    struct S_Case {
        std::string word;
        std::vector<std::string> units;
        size_t count;
    } cases[] = {
        {"", {}, 0},
        {"\u4e2d\u6587", {"\u4e2d", "\u6587"}, 2},
        {"\u2ff0\u6728\u6728\u6797", {"\u2ff0\u6728\u6728", "\u6797"}, 2},
        {"\u2ff2\u6728\u6728\u6728", {"\u2ff2\u6728\u6728\u6728"}, 1},
        {"\u2ff1\u2ff0\u6728\u6728\u6728a", {"\u2ff1\u2ff0\u6728\u6728\u6728", "a"}, 2},
        {"\u303e\u6728", {"\u303e\u6728"}, 1},
        {"\u2ff0\u6728", {}, 0},  // an unfinished unit is not reported
        {"\u6797\u2ff2\u6728\u6728", {"\u6797"}, 1},
    };
    for (const auto& c : cases) {
        std::vector<std::string> units;
        visitIDC(c.word, [&](std::string_view unit) {
            units.emplace_back(unit);
            return true;
        });
        EXPECT_EQ(units, c.units) << c.word;
        EXPECT_EQ(countIDC(c.word), c.count) << c.word;
        EXPECT_EQ(countIDCOrZero(c.word), c.count) << c.word;
    }
}

TEST(CodePointsTest, VisitIdcStopsWhenTheVisitorSaysSo) {
    std::vector<std::string> units;
    visitIDC("\u4e2d\u6587\u5b57", [&](std::string_view unit) {
        units.emplace_back(unit);
        return false;
    });
    EXPECT_EQ(units, (std::vector<std::string>{"\u4e2d"}));
}

TEST(CodePointsTest, CountIdcThrowsWhenOperandsAreMissing) {
    for (const std::string word : {"\u2ff0", "\u2ff2\u6728", "a\u2ff0\u2ff0"}) {
        try {
            countIDC(word);
            ADD_FAILURE() << word << " did not throw";
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), "Ill-formed IDC string \"" + word + "\"");
        }
        EXPECT_EQ(countIDCOrZero(word), 0u) << word;
    }
}

TEST(CodePointsTest, OnlyAsciis) {
    EXPECT_TRUE(only_asciis(""));
    EXPECT_TRUE(only_asciis("tsiann5 \x7F"));
    EXPECT_TRUE(only_asciis("a\xFF"));  // a dropped byte is no code point
    EXPECT_FALSE(only_asciis("a\u00e2"));
    EXPECT_FALSE(only_asciis("\xC2\x80"));
}

TEST(CodePointsTest, DumpUnicodes) {
    struct S_Case {
        std::string_view text, dump;
    } cases[] = {
        {"\t\"\u4e2d", "\\t\\\"\\u4e2d"},
        {"a b'\\", "a b\\'\\\\"},
        {"\a\b\n\v\f\r", "\\a\\b\\n\\v\\f\\r"},
        {"\0\x01\x1F\x7F"sv, "\\x00\\x01\\x1f\\x7f"},
        {"\xC2\x80\u00e9\u00ff", "\\x80\\xe9\\xff"},
        {"\u0100\uffff", "\\u0100\\uffff"},
        {"\U0001F600", "\\u01f600"},
        {"\xFF"
         "a",
         "a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(dumpUnicodes(c.text), c.dump) << ::testing::PrintToString(std::string(c.text));
}

}  // namespace
}  // namespace kov
