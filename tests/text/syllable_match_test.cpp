// The hand-written syllable checks against the regular expressions they stand for, and the
// converted tailo2tonedKeys and untoneSyllable against their slow reference forms: on every
// syllable of the bundled lexicon, on every short string over the letters that make up keys,
// and on seeded random strings, plain and built from syllable pieces.

#include "engine/text/syllable_match.h"

#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/text/tailo.h"
#include "fixtures/tailo_reference.h"
#include "fixtures/lexicon_rows.h"
#include "fixtures/tailo_regex.h"
#include "tests/support/printers.h"

namespace kov {
namespace {

using test::fullMatch;
using test::kInitialRegex;
using test::kRimeToneRegex;
using test::kSyllableRegex;
using test::kWildcardQueryRegex;
using test::tonedSyllableRegex;

// The groups of a full match of kSyllableRegex, in the matcher's form.
std::optional<C_SyllableParts> syllableByRegex(std::string_view s) {
    std::match_results<std::string_view::const_iterator> m;
    if (!std::regex_match(s.begin(), s.end(), m, kSyllableRegex))
        return std::nullopt;
    C_SyllableParts parts;
    parts.m_initialLength = m[1].matched ? size_t(m[1].length()) : 0;
    parts.m_rimeLength = size_t(m[2].length());
    parts.m_hasDigit = parts.m_initialLength + parts.m_rimeLength < s.size();
    return parts;
}

std::string describe(const std::optional<C_SyllableParts>& p) {
    if (!p)
        return "no match";
    return "initial " + std::to_string(p->m_initialLength) + ", rime " +
           std::to_string(p->m_rimeLength) + (p->m_hasDigit ? ", digit" : "");
}

bool isLetter(char c) { return c >= 'a' && c <= 'z'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool lettersOnly(std::string_view s) {
    for (char c : s)
        if (!isLetter(c))
            return false;
    return true;
}

// Coarse shapes read off the pattern texts: a string outside them cannot match, so the regex
// need not run (the regexes cost microseconds a run under the sanitizers). Every 16th string
// runs them all anyway, which holds these filters to the regexes too.
enum E_Kind { TONED, RIME_TONE, INITIAL, QUERY, SYLLABLE, KIND_COUNT };
bool mayMatch(E_Kind kind, std::string_view s) {
    const std::string_view body = s.empty() ? s : s.substr(0, s.size() - 1);
    const char last = s.empty() ? '\0' : s.back();
    switch (kind) {
        case TONED:  // at most tsh + uai + nnh, then 1 to 9
            return s.size() >= 2 && s.size() <= 10 && last >= '1' && last <= '9' &&
                   lettersOnly(body);
        case RIME_TONE:  // at most uai + nnh, then a digit
            return s.size() >= 2 && s.size() <= 7 && isDigit(last) && lettersOnly(body);
        case INITIAL:
            return !s.empty() && s.size() <= 3 && lettersOnly(s);
        case QUERY:
            return s.find_first_of("?*") != std::string_view::npos;
        case SYLLABLE:
            return !s.empty() && s.size() <= 10 && lettersOnly(body) &&
                   (isLetter(last) || isDigit(last));
        default:
            return true;
    }
}

// Compares every matcher with its regex on s; counts the matches of each kind so that a caller
// can tell that its strings reach the matching side too.
struct C_Differ {
    size_t m_checked = 0;
    size_t m_failures = 0;
    size_t m_hits[KIND_COUNT] = {};

    void check(std::string_view s) {
        const bool all = m_checked++ % 16 == 0;
        auto run = [&](E_Kind kind, const std::regex& re) {
            const bool may = mayMatch(kind, s);
            if (!may && !all)
                return false;
            const bool hit = fullMatch(s, re);
            if (hit && !may && fail())
                ADD_FAILURE() << "filter " << kind << " refuses \"" << s << "\", a match";
            m_hits[kind] += hit;
            return hit;
        };
        expect("isTonedSyllable", s, isTonedSyllable(s), run(TONED, tonedSyllableRegex()));
        expect("isRimeTone", s, isRimeTone(s), run(RIME_TONE, kRimeToneRegex));
        expect("isInitial", s, isInitial(s), run(INITIAL, kInitialRegex));
        expect("isWildcardQuery", s, isWildcardQuery(s), run(QUERY, kWildcardQueryRegex));
        const std::optional<C_SyllableParts> syllable =
            mayMatch(SYLLABLE, s) || all ? syllableByRegex(s) : std::nullopt;
        if (syllable && !mayMatch(SYLLABLE, s) && fail())
            ADD_FAILURE() << "filter " << SYLLABLE << " refuses \"" << s << "\", a match";
        m_hits[SYLLABLE] += syllable.has_value();
        const std::optional<C_SyllableParts> parts = matchSyllable(s);
        if (parts != syllable && fail())
            ADD_FAILURE() << "matchSyllable(\"" << s << "\") gives " << describe(parts)
                          << ", the regex " << describe(syllable);
    }

    void expect(const char* name, std::string_view s, bool fast, bool regex) {
        if (fast != regex && fail())
            ADD_FAILURE() << name << "(\"" << s << "\") is " << fast << ", the regex says "
                          << regex;
    }

    // Reports the first few differences only: one fault can differ on thousands of strings.
    bool fail() { return ++m_failures <= 20; }
};

// The Tai-lo texts of the lexicon: both spellings, with tone marks and with tone digits.
std::vector<std::string> lexiconTexts() {
    const std::vector<test::C_LexiconRow> lines = test::readLexiconRows();
    EXPECT_FALSE(lines.empty()) << test::lexiconPath();
    std::vector<std::string> texts;
    for (size_t r = 1; r < lines.size(); ++r) {
        const std::vector<std::string>& fields = lines[r].m_fields;
        for (size_t col = 1; col <= 4 && col < fields.size(); ++col)
            texts.push_back(fields[col]);
    }
    return texts;
}

TEST(SyllableMatchTest, EqualsTheRegexesOnEveryLexiconSyllable) {
    const std::vector<std::string> texts = lexiconTexts();
    ASSERT_GT(texts.size(), 50000u);
    std::set<std::string> syllables;
    for (const std::string& text : texts)
        for (const std::string& s : split(text, kTailoSeparators))
            syllables.insert(toLowerAscii(s));
    // Each syllable as written, as tailo2tonedKeys hands it to the check (marks taken off, or a
    // tone digit appended), and what follows each possible initial.
    std::set<std::string> forms;
    for (const std::string& s : syllables) {
        std::vector<std::string> whole = {s, s + "1"};
        if (auto u = untoneSyllable(s, false))
            whole.push_back(*u);
        for (const std::string& f : whole)
            for (size_t cut = 0; cut <= 3 && cut < f.size(); ++cut)
                forms.insert(f.substr(cut));
    }
    C_Differ differ;
    for (const std::string& f : forms)
        differ.check(f);
    EXPECT_EQ(differ.m_failures, 0u);
    // The lexicon holds no wildcards, and only a few distinct initials stand alone.
    EXPECT_GT(differ.m_hits[TONED], 1000u);
    EXPECT_GT(differ.m_hits[RIME_TONE], 300u);
    EXPECT_GE(differ.m_hits[INITIAL], 5u);
    EXPECT_GT(differ.m_hits[SYLLABLE], 1000u);
}

TEST(SyllableMatchTest, EqualsTheRegexesOnEveryShortString) {
    constexpr std::string_view kAlphabet = "aeioumngptkhrsbjl19?";
    C_Differ differ;
    std::string s;
    // Counts through every string of length 0 to 4 over the alphabet.
    for (size_t length = 0; length <= 4; ++length) {
        std::vector<size_t> digits(length, 0);
        s.assign(length, kAlphabet[0]);
        for (;;) {
            differ.check(s);
            size_t i = 0;
            while (i < length && ++digits[i] == kAlphabet.size()) {
                digits[i] = 0;
                s[i] = kAlphabet[0];
                ++i;
            }
            if (i == length)
                break;
            s[i] = kAlphabet[digits[i]];
        }
    }
    EXPECT_EQ(differ.m_checked, 1u + 20u + 400u + 8000u + 160000u);
    EXPECT_EQ(differ.m_failures, 0u);
    for (size_t hits : differ.m_hits)
        EXPECT_GT(hits, 10u);
}

// Pieces that syllables and queries are made of, so that random strings often come close to
// matching (or match); and single characters, so that they also break the shapes anywhere.
const std::vector<std::string>& pieces() {
    static const std::vector<std::string> all = [] {
        std::vector<std::string> p = {
            "ph",  "p",  "b",  "m",  "th", "tsh", "ts", "t",   "ng", "n",   "l",  "s",   "j",
            "kh",  "k",  "g",  "h",  "ai", "au",  "a",  "ere", "ee", "e",   "ie", "iau", "ia",
            "ioo", "io", "iu", "i",  "oi", "oo",  "o",  "uai", "ua", "uee", "ue", "ui",  "u",
            "nnh", "nn", "rh", "rm", "rn", "r",   "mh", "ngh", "?",  "*"};
        for (char c : std::string_view("abeghijklmnoprstuvxyzAKN0123456789?*-"))
            p.emplace_back(1, c);
        return p;
    }();
    return all;
}

TEST(SyllableMatchTest, EqualsTheRegexesOnRandomStrings) {
    // Tai-lo letters, digits and wildcards, and a capital, a NUL and a byte outside ASCII.
    constexpr std::string_view kChars("abeghijklmnoprstu0123456789?*A\0\xE2", 32);
    std::mt19937 rng(20261210);
    const std::vector<std::string>& p = pieces();
    C_Differ differ;
    std::string s;
    for (int n = 0; n < 300000; ++n) {
        s.clear();
        const size_t length = rng() % 11;
        if (n % 2 == 0) {
            while (s.size() < length)
                s += kChars[rng() % kChars.size()];
        } else {
            while (s.size() < length)
                s += p[rng() % p.size()];
            s.resize(length);
        }
        differ.check(s);
    }
    EXPECT_EQ(differ.m_failures, 0u);
    for (size_t hits : differ.m_hits)
        EXPECT_GT(hits, 100u);
}

TEST(SyllableMatchTest, TonedKeysEqualTheReferenceOnTheLexicon) {
    // Syllables convert one by one, so every distinct syllable (as written and in capitals) and
    // a share of the whole texts cover the conversion.
    const std::vector<std::string> texts = lexiconTexts();
    std::set<std::string> syllables;
    for (const std::string& text : texts)
        for (const std::string& s : split(text, kTailoSeparators)) {
            syllables.insert(s);
            std::string upper = s;
            for (char& c : upper)
                if (isLetter(c))
                    c = static_cast<char>(c - 'a' + 'A');
            syllables.insert(upper);
        }
    size_t differences = 0;
    auto compare = [&](const std::string& text) {
        if (tailo2tonedKeys(text) != test::tonedKeysByRegex(text) && ++differences <= 20)
            ADD_FAILURE() << "tailo2tonedKeys(\"" << text << "\") differs from the reference";
    };
    for (const std::string& s : syllables) {
        compare(s);
        for (bool upper : {false, true})
            if (untoneSyllable(s, upper) != test::untoneByTableSearch(s, upper) &&
                ++differences <= 20)
                ADD_FAILURE() << "untoneSyllable(\"" << s << "\", " << upper << ") differs";
    }
    for (size_t i = 0; i < texts.size(); i += 16)
        compare(texts[i]);
    EXPECT_EQ(differences, 0u);
}

TEST(SyllableMatchTest, TonedKeysEqualTheReferenceOnRandomTexts) {
    // Random texts of letters, digits, separators, stray bytes and tone marks of both tables,
    // several marks to a syllable at times, so that the first-mark choice is exercised.
    std::vector<std::string> p = pieces();
    for (const auto* table : {&kToneLettersLower, &kToneLettersUpper})
        for (const auto& row : *table)
            for (const std::string& mark : row)
                p.insert(p.end(), 3, mark);
    for (const char* extra : {" ", ",", "(", "\xE4\xB8\xAD", "\xC3", "\xCC\x81", "A", "E", "O"})
        p.emplace_back(extra);
    std::mt19937 rng(51210);
    size_t differences = 0;
    size_t converted = 0;
    std::string text;
    for (int n = 0; n < 30000; ++n) {
        text.clear();
        const size_t count = rng() % 12;
        for (size_t i = 0; i < count; ++i)
            text += p[rng() % p.size()];
        const C_TonedKeysResult fast = tailo2tonedKeys(text);
        converted += fast.index() == 0 && !std::get<0>(fast).empty();
        if (fast != test::tonedKeysByRegex(text) && ++differences <= 20)
            ADD_FAILURE() << "tailo2tonedKeys(\"" << text << "\") differs from the reference";
        for (bool upper : {false, true})
            if (untoneSyllable(text, upper) != test::untoneByTableSearch(text, upper) &&
                ++differences <= 20)
                ADD_FAILURE() << "untoneSyllable(\"" << text << "\", " << upper << ") differs";
    }
    EXPECT_EQ(differences, 0u);
    EXPECT_GT(converted, 1000u);
}

}  // namespace
}  // namespace kov
