// Outside test vectors: every Tâi-lô form of the bundled lexicon, converted from tone marks to
// toned keys, against the lexicon's own tone-digit column, and back to marked syllables, which
// must equal the lexicon's up to a capital first letter or capitals throughout. Rows where the
// lexicon breaks the syllable rules of this engine are known differences, grouped by their reason;
// any other difference fails.

#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/text/case_folded_string.h"
#include "engine/text/code_points.h"
#include "engine/text/key_pattern.h"
#include "engine/text/tailo.h"
#include "qiv/utf8.h"
#include "fixtures/lexicon_rows.h"

namespace kov {
namespace {

struct S_Form {
    std::string id;        // DictWordID
    std::string marked;    // one form of KipUnicode
    std::string numbered;  // the same form of KipInput
};

std::vector<S_Form> readForms(size_t& rows) {
    const std::vector<test::C_LexiconRow> lines = test::readLexiconRows();
    rows = 0;
    EXPECT_FALSE(lines.empty()) << test::lexiconPath();
    if (lines.empty())
        return {};
    const std::vector<std::string>& header = lines[0].m_fields;
    auto column = [&](const char* name) {
        for (size_t i = 0; i < header.size(); ++i)
            if (header[i] == name)
                return i;
        ADD_FAILURE() << "no column " << name;
        return size_t{0};
    };
    const size_t idCol = column("DictWordID");
    const size_t markedCol = column("KipUnicode");
    const size_t numberedCol = column("KipInput");
    std::vector<S_Form> forms;
    for (size_t r = 1; r < lines.size(); ++r) {
        const std::vector<std::string>& f = lines[r].m_fields;
        if (f.size() != header.size()) {
            ADD_FAILURE() << "bad row: " << lines[r].m_line;
            continue;
        }
        ++rows;
        const auto marked = split(f[markedCol], "/");
        const auto numbered = split(f[numberedCol], "/");
        EXPECT_EQ(marked.size(), numbered.size()) << "row " << f[idCol];
        for (size_t k = 0; k < marked.size() && k < numbered.size(); ++k)
            forms.push_back({f[idCol], marked[k], numbered[k]});
    }
    return forms;
}

// KipInput leaves tones 1 and 4 unwritten: a syllable ending in p, t, k or h after a vowel, m,
// n, ng or r (as in "ngh" and "irh") has tone 4, any other tone 1.
std::vector<std::string> keysOfNumbered(const std::string& numbered) {
    std::vector<std::string> keys;
    for (std::string s : split(numbered, kTailoSeparators)) {
        s = toLowerAscii(s);
        const char last = s.back();
        if (last >= '0' && last <= '9') {
        } else if (s.size() >= 2 && std::string_view("ptkh").find(last) != std::string_view::npos &&
                   std::string_view("aeioumngr").find(s[s.size() - 2]) != std::string_view::npos) {
            s += '4';
        } else {
            s += '1';
        }
        keys.push_back(s);
    }
    return keys;
}

// The first code point of text that is not ASCII once every tone-marked letter of the tone
// tables is taken out; 0 when text is written wholly in the engine's alphabet.
unsigned foreignCodePoint(std::string text) {
    for (const auto* table : {&kToneLettersLower, &kToneLettersUpper})
        for (const auto& tone : *table)
            for (const auto& letter : tone)
                for (size_t p; (p = text.find(letter)) != std::string::npos;)
                    text.replace(p, letter.size(), 1, 'a');
    unsigned foreign = 0;
    visitCodePoints(text, [&](unsigned cp) {
        if (cp >= 0x80)
            foreign = cp;
        return foreign == 0;
    });
    return foreign;
}

// Rows whose Tâi-lô cells hold words that are no Tâi-lô syllables: single Latin letters,
// abbreviations, English words, stray digits, a tone digit behind a mark.
const std::set<std::string> kNotTailoRows = {"770",   "5241",  "5242", "6341", "7273",
                                             "7734",  "8122",  "8368", "8629", "10156",
                                             "10169", "10181", "16893"};
// Rows that mark another letter than the Tâi-lô vowel order gives, outside one vowel cluster:
// "sun̂" (the n), "n̄ng" (the first n), "tse̍re" and "hēre" (the first e of "ere").
const std::set<std::string> kOtherMarkRows = {"1079", "15243", "16153", "16154", "16381"};

std::string classOfForeign(unsigned cp) {
    if (cp == 0x0131)
        return "dotless i (U+0131) under a tone mark";
    if (cp == 0x0358 || cp == 0x207F)
        return "POJ letters o͘ and ⁿ";
    if (cp >= 0x0300 && cp <= 0x036F)
        return "combining marks the tone tables do not hold (decomposed or doubled marks)";
    if (cp == 0x00B7 || (cp >= 0x2000 && cp <= 0x206F) || (cp >= 0x3000 && cp <= 0x303F) ||
        (cp >= 0xFF00 && cp <= 0xFF65))
        return "non-ASCII spaces and punctuation (U+3000, U+FF0C, U+2011, U+200B, ...)";
    return "Han, kana and other characters inside the Tâi-lô text";
}

std::string classOfBadSyllable(const S_Form& form, const std::string& syllable) {
    static const std::regex kGlued(
        "(?:(ph|p|b|m|th|tsh|ts|t|ng|n|l|s|j|kh|k|g|h)?((?:ai|au|a|ere|ee|e|ie|iau|ia|ioo|io|iu|i|"
        "oi|oo|o|uai|ua|uee|ue|ui|u)(?:ng|nnh|nn|n|m|p|t|k|h|rh|rm|rn|r)?|mh|m|ngh|ng)){2,}");
    // The letters alone: every mark taken out, digits dropped.
    std::string letters = syllable;
    while (auto r = untoneSyllable(letters, false))
        letters = *r;
    while (auto r = untoneSyllable(letters, true))
        letters = *r;
    std::string lower;
    for (char c : toLowerAscii(letters))
        if (c < '0' || c > '9')
            lower += c;
    if (kNotTailoRows.count(form.id))
        return "not Tâi-lô syllables (letters, abbreviations, English words, digits)";
    if (lower.rfind("ch", 0) == 0 || lower.find("oa") != std::string::npos ||
        lower.find("oe") != std::string::npos)
        return "POJ spellings (ch, chh, oa, oe)";
    if (lower.size() >= 2 && lower[0] == lower[1])
        return "doubled initial letter (ttsia̍h, ssap)";
    if (std::regex_match(lower, kGlued))
        return "syllables written together without a separator";
    return {};
}

// Index of the marked letter among the letters of a syllable (the letter before a combining
// mark, or the precomposed letter itself).
size_t markedLetter(const std::string& syllable) {
    size_t letters = 0, marked = std::string::npos;
    visitCodePoints(syllable, [&](unsigned cp) {
        if (cp >= 0x0300 && cp <= 0x036F)
            marked = letters - 1;
        else if (cp >= 0x80)
            marked = letters++;
        else
            ++letters;
        return marked == std::string::npos;
    });
    return marked;
}

// Every letter through the capital tables.
std::string allCapitals(std::string_view tailo) {
    std::string out;
    visitCodePoints(tailo, [&](unsigned cp) {
        out += qiv::u32toutf8(capitalCodePoint(cp));
        return true;
    });
    return out;
}

bool isVowel(char c) { return std::string_view("aeiouAEIOU").find(c) != std::string_view::npos; }

std::string classOfBackDifference(const S_Form& form, const std::string& key,
                                  const std::string& ours, const std::string& theirs) {
    if (C_CaseFoldedString(ours).compare(C_CaseFoldedString(theirs)) == 0)
        return "capitals inside a syllable (SÌng)";
    if (only_asciis(theirs))
        return "KipUnicode written with a tone digit";
    if (kOtherMarkRows.count(form.id))
        return "mark on another letter (sun̂, n̄ng, tse̍re, hēre)";
    const size_t a = markedLetter(ours), b = markedLetter(theirs);
    if (a == std::string::npos || b == std::string::npos || a == b)
        return {};
    for (size_t i = std::min(a, b); i <= std::max(a, b); ++i)
        if (i >= key.size() || !isVowel(key[i]))
            return {};
    return "mark on another vowel of the cluster (tsúi, lîu, tîo, thaû, tsía)";
}

TEST(LexiconTest, TonedKeysAndTonemarksAgreeWithTheLexicon) {
    size_t rows = 0;
    const auto forms = readForms(rows);
    ASSERT_GT(rows, 19000u);
    ASSERT_GT(forms.size(), 20000u);

    std::map<std::string, size_t> known;
    std::vector<std::string> fresh;
    size_t syllables = 0;
    auto record = [&](const std::string& cls, const S_Form& form, const std::string& what) {
        if (cls.empty())
            fresh.push_back(form.id + " \"" + form.marked + "\" / \"" + form.numbered +
                            "\": " + what);
        else
            ++known[cls];
    };

    for (const auto& form : forms) {
        const auto result = tailo2tonedKeys(form.marked);
        const auto expected = keysOfNumbered(form.numbered);
        const auto* keys = std::get_if<std::vector<std::string>>(&result);
        if (!keys || *keys != expected) {
            const auto* error = std::get_if<C_TonedKeysError>(&result);
            std::string cls;
            if (const unsigned cp = foreignCodePoint(form.marked))
                cls = classOfForeign(cp);
            else if (!only_asciis(form.numbered))
                cls = "KipInput repeats the marked text";
            else if (error && error->code == 2)
                cls = classOfBadSyllable(form, error->syllable);
            record(cls, form,
                   error ? "error " + std::to_string(error->code) + " at " + error->syllable
                         : "different keys");
            continue;
        }
        const auto marked = split(form.marked, kTailoSeparators);
        ASSERT_EQ(marked.size(), keys->size()) << form.id;
        for (size_t j = 0; j < keys->size(); ++j) {
            ++syllables;
            const std::string ours = tonedKey2tailo((*keys)[j]);
            if (ours != marked[j] && capitalTailo(ours) != marked[j] &&
                allCapitals(ours) != marked[j])
                record(classOfBackDifference(form, (*keys)[j], ours, marked[j]), form,
                       (*keys)[j] + " gives " + ours);
        }
    }

    for (const auto& f : fresh)
        ADD_FAILURE() << "new difference: " << f;
    // Forms (forward differences) or syllables (differences of the marked spelling) per class.
    const std::map<std::string, size_t> expectedKnown = {
        {"Han, kana and other characters inside the Tâi-lô text", 42},
        {"KipInput repeats the marked text", 22},
        {"capitals inside a syllable (SÌng)", 1},
        {"KipUnicode written with a tone digit", 2},
        {"POJ letters o͘ and ⁿ", 30},
        {"POJ spellings (ch, chh, oa, oe)", 16},
        {"combining marks the tone tables do not hold (decomposed or doubled marks)", 184},
        {"dotless i (U+0131) under a tone mark", 7},
        {"doubled initial letter (ttsia̍h, ssap)", 7},
        {"mark on another letter (sun̂, n̄ng, tse̍re, hēre)", 5},
        {"mark on another vowel of the cluster (tsúi, lîu, tîo, thaû, tsía)", 74},
        {"non-ASCII spaces and punctuation (U+3000, U+FF0C, U+2011, U+200B, ...)", 15},
        {"not Tâi-lô syllables (letters, abbreviations, English words, digits)", 13},
        {"syllables written together without a separator", 15},
    };
    EXPECT_EQ(known, expectedKnown);
    EXPECT_EQ(syllables, 63212u);
}

}  // namespace
}  // namespace kov
