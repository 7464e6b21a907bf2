#include "tools/dictc/lexicon.h"

#include <algorithm>
#include <variant>

#include "engine/text/code_points.h"
#include "engine/text/syllable_match.h"
#include "engine/text/tailo.h"
#include "qiv/utf8.h"
#include "tools/dictc/text_pieces.h"

namespace kov::dictc {

namespace {

// Pairs of a letter followed by a combining tone mark, and the table spelling of the same
// marked letter (precomposed where the tone tables have one).
struct C_Decomposed {
    std::string from, to;
};

const std::vector<C_Decomposed>& decomposedMarks() {
    static const std::vector<C_Decomposed> table = [] {
        // Combining mark of each tone (index tone - 1); tones 1 and 4 carry none.
        static const unsigned marks[9] = {0, 0x301, 0x300, 0, 0x302, 0x30C, 0x304, 0x30D, 0x30B};
        std::vector<C_Decomposed> out;
        for (size_t t = 0; t < 9; ++t) {
            if (!marks[t])
                continue;
            for (const auto* rows : {&kToneLettersLower, &kToneLettersUpper}) {
                const auto& row = (*rows)[t];
                const std::string_view letters = toneMarkLetters(rows == &kToneLettersUpper);
                for (size_t i = 0; i < row.size() && i < letters.size(); ++i) {
                    std::string from(1, letters[i]);
                    char buf[6];
                    const int n = qiv::encodeUtf8(marks[t], buf);
                    from.append(buf, size_t(n));
                    if (from != row[i])
                        out.push_back({std::move(from), row[i]});
                }
            }
        }
        return out;
    }();
    return table;
}

// Replacements of single characters that the lexicon writes for plain Tai-lo: dotless i,
// the vowel o with the dot above right (written "oo" in Tai-lo), the superscript n of nasal
// rimes, the non-breaking hyphens, the ideographic and the zero-width space.
struct C_Replacement {
    std::string_view from, to;
};
constexpr C_Replacement kReplacements[] = {
    {"\xC4\xB1", "i"},     {"o\xCD\x98", "oo"},   {"O\xCD\x98", "Oo"},   {"\xE2\x81\xBF", "nn"},
    {"\xE2\x80\x90", "-"}, {"\xE2\x80\x91", "-"}, {"\xE3\x80\x80", " "}, {"\xE2\x80\x8B", ""},
};

// One syllable-separated piece of a reading: its syllables and the separators before each
// (m_seps[i] precedes m_syls[i]; m_seps[m_syls.size()] trails).
struct C_Segment {
    std::vector<std::string_view> m_syls;
    std::vector<std::string_view> m_seps;
};

C_Segment tokenize(std::string_view s) {
    C_Segment seg;
    size_t at = 0;
    for (;;) {
        size_t end = at;
        while (end < s.size() && kTailoSeparators.find(s[end]) != std::string_view::npos)
            ++end;
        seg.m_seps.push_back(s.substr(at, end - at));
        if (end >= s.size())
            return seg;
        at = end;
        while (end < s.size() && kTailoSeparators.find(s[end]) == std::string_view::npos)
            ++end;
        seg.m_syls.push_back(s.substr(at, end - at));
        at = end;
    }
}

// Initial and first rime letter of one syllable, or nullopt when it is no Tai-lo syllable.
std::optional<std::pair<std::string, char>> soundOf(std::string_view syllable) {
    const auto res = tailo2tonedKeys(syllable);
    const auto* keys = std::get_if<std::vector<std::string>>(&res);
    if (!keys || keys->size() != 1)
        return std::nullopt;
    const std::string& key = keys->front();
    const auto parts = matchSyllable(key);
    if (!parts || parts->m_rimeLength == 0)
        return std::nullopt;
    return std::make_pair(key.substr(0, parts->m_initialLength), key[parts->m_initialLength]);
}

bool soundAlike(std::string_view a, std::string_view b) {
    const auto sa = soundOf(a), sb = soundOf(b);
    return sa && sb && (sa->first == sb->first || sa->second == sb->second);
}

// A run of alternatives: slashes first..last (slash j stands between segments j - 1 and j).
struct C_Group {
    size_t m_first, m_last;
};

// The readings of segments joined by slashes whose alternatives are k syllables long; empty
// when the segments do not fit that length or the alternatives do not sound alike.
std::vector<std::string> readingsWithSpan(const std::vector<C_Segment>& segs, size_t k) {
    const size_t m = segs.size() - 1;
    if (k == 0 || segs.front().m_syls.size() < k || segs.back().m_syls.size() < k)
        return {};
    std::vector<C_Group> groups;
    for (size_t j = 1; j <= m; ++j) {
        if (j > 1 && segs[j - 1].m_syls.size() == k)
            groups.back().m_last = j;
        else if (j > 1 && segs[j - 1].m_syls.size() < 2 * k)
            return {};
        else
            groups.push_back({j, j});
    }
    // The alternatives of a group as (segment, first syllable), each k syllables.
    auto alternatives = [&](const C_Group& g) {
        std::vector<std::pair<size_t, size_t>> alts;
        alts.emplace_back(g.m_first - 1, segs[g.m_first - 1].m_syls.size() - k);
        for (size_t s = g.m_first; s < g.m_last; ++s)
            alts.emplace_back(s, 0);
        alts.emplace_back(g.m_last, 0);
        return alts;
    };
    for (const C_Group& g : groups) {
        const auto alts = alternatives(g);
        for (size_t a = 1; a < alts.size(); ++a)
            for (size_t p = 0; p < k; ++p)
                if (!soundAlike(segs[alts[0].first].m_syls[alts[0].second + p],
                                segs[alts[a].first].m_syls[alts[a].second + p]))
                    return {};
    }
    // Every choice of one alternative per group, the first group's choice changing slowest.
    std::vector<size_t> choice(groups.size(), 0);
    std::vector<std::string> out;
    for (;;) {
        std::string r;
        auto put = [&r](std::string_view sep, std::string_view syl) {
            if (!r.empty())
                r += sep.empty() ? std::string_view("-") : sep;
            r += syl;
        };
        size_t seg = 0, from = 0;
        for (size_t gi = 0; gi < groups.size(); ++gi) {
            const C_Group& g = groups[gi];
            const C_Segment& before = segs[g.m_first - 1];
            const size_t altStart = before.m_syls.size() - k;
            for (size_t i = from; i < altStart; ++i)
                put(before.m_seps[i], before.m_syls[i]);
            const auto [s, first] = alternatives(g)[choice[gi]];
            for (size_t p = 0; p < k; ++p)
                put(p == 0 ? before.m_seps[altStart] : segs[s].m_seps[first + p],
                    segs[s].m_syls[first + p]);
            seg = g.m_last;
            from = k;
        }
        for (size_t i = from; i < segs[seg].m_syls.size(); ++i)
            put(segs[seg].m_seps[i], segs[seg].m_syls[i]);
        out.push_back(std::move(r));
        size_t gi = groups.size();
        while (gi > 0) {
            --gi;
            if (++choice[gi] < alternatives(groups[gi]).size())
                break;
            choice[gi] = 0;
            if (gi == 0)
                return out;
        }
        if (groups.empty())
            return out;
    }
}

// The text of a reading without separators at either end (a stray hyphen, a blank).
std::string_view trimSeparators(std::string_view s) {
    while (!s.empty() && kTailoSeparators.find(s.front()) != std::string_view::npos)
        s.remove_prefix(1);
    while (!s.empty() && kTailoSeparators.find(s.back()) != std::string_view::npos)
        s.remove_suffix(1);
    return s;
}

// Splits at the slashes that have a blank beside them.
std::vector<std::string> wholeReadings(std::string_view cell) {
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] != '/')
            continue;
        const bool blank =
            (i > 0 && cell[i - 1] == ' ') || (i + 1 < cell.size() && cell[i + 1] == ' ');
        if (!blank)
            continue;
        out.emplace_back(trim(cell.substr(start, i - start)));
        start = i + 1;
    }
    out.emplace_back(trim(cell.substr(start)));
    out.erase(std::remove(out.begin(), out.end(), std::string()), out.end());
    return out;
}

}  // namespace

std::string C_Report::text() const { return source + ":" + std::to_string(line) + ": " + message; }

std::string normaliseReading(std::string_view reading) {
    std::string out;
    out.reserve(reading.size());
    for (size_t i = 0; i < reading.size();) {
        bool replaced = false;
        for (const C_Replacement& r : kReplacements) {
            if (reading.compare(i, r.from.size(), r.from) == 0) {
                out += r.to;
                i += r.from.size();
                replaced = true;
                break;
            }
        }
        if (!replaced && i + 1 < reading.size() &&
            static_cast<unsigned char>(reading[i + 1]) == 0xCC) {
            for (const C_Decomposed& d : decomposedMarks()) {
                if (reading.compare(i, d.from.size(), d.from) == 0) {
                    out += d.to;
                    i += d.from.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced)
            out += reading[i++];
    }
    return std::string(trim(out));
}

std::string readingKeys(std::string_view reading, std::vector<std::string>& keys) {
    if (reading.find("--") != std::string_view::npos)
        return "Reading \"" + std::string(reading) + "\" holds \"--\"";
    auto res = tailo2tonedKeys(reading);
    if (auto* err = std::get_if<C_TonedKeysError>(&res))
        return "Syllable \"" + err->syllable + "\" of \"" + std::string(reading) +
               "\" is no Tai-lo syllable";
    keys = std::move(std::get<0>(res));
    if (keys.empty())
        return "Reading \"" + std::string(reading) + "\" has no syllable";
    return {};
}

bool isTailoText(std::string_view text) {
    auto res = tailo2tonedKeys(text);
    return res.index() == 0 && !std::get<0>(res).empty();
}

std::vector<std::string> expandAlternatives(std::string_view reading,
                                            std::optional<size_t> syllables) {
    std::vector<C_Segment> segs;
    std::vector<std::string_view> texts;
    size_t at = 0;
    for (;;) {
        const size_t slash = reading.find('/', at);
        texts.push_back(reading.substr(
            at, slash == std::string_view::npos ? std::string_view::npos : slash - at));
        segs.push_back(tokenize(texts.back()));
        if (segs.back().m_syls.empty())
            return {};
        if (slash == std::string_view::npos)
            break;
        at = slash + 1;
    }
    if (segs.size() == 1)
        return {std::string(trimSeparators(reading))};
    const size_t m = segs.size() - 1;
    size_t total = 0;
    bool sameLength = true;
    for (const C_Segment& s : segs) {
        total += s.m_syls.size();
        sameLength = sameLength && s.m_syls.size() == segs[0].m_syls.size();
    }
    size_t k = 0;
    if (syllables) {
        if (total > *syllables && (total - *syllables) % m == 0)
            k = (total - *syllables) / m;
    } else {
        k = sameLength ? segs[0].m_syls.size() : 1;
    }
    if (auto out = readingsWithSpan(segs, k); !out.empty())
        return out;
    // Whole readings, each as long as the Han word when it has one.
    std::vector<std::string> out;
    for (size_t i = 0; i < segs.size(); ++i)
        if (!syllables || segs[i].m_syls.size() == *syllables)
            out.emplace_back(trimSeparators(texts[i]));
    return out;
}

bool parseCsv(std::string_view text, std::vector<std::vector<std::string>>& rows,
              std::vector<size_t>& lineOfRow) {
    rows.clear();
    lineOfRow.clear();
    size_t line = 1;
    size_t i = 0;
    while (i < text.size()) {
        rows.emplace_back();
        lineOfRow.push_back(line);
        auto& row = rows.back();
        for (;;) {
            std::string field;
            if (i < text.size() && text[i] == '"') {
                ++i;
                for (;;) {
                    if (i >= text.size()) {
                        row.push_back(std::move(field));
                        return false;
                    }
                    const char c = text[i++];
                    if (c == '"') {
                        if (i < text.size() && text[i] == '"') {
                            field += '"';
                            ++i;
                        } else {
                            break;
                        }
                    } else {
                        if (c == '\n')
                            ++line;
                        field += c;
                    }
                }
            }
            while (i < text.size() && text[i] != ',' && text[i] != '\n') {
                if (text[i] != '\r')
                    field += text[i];
                ++i;
            }
            row.push_back(std::move(field));
            if (i >= text.size())
                return true;
            if (text[i++] == '\n') {
                ++line;
                break;
            }
        }
    }
    return true;
}

namespace {

// The words of one lexicon row, or a report of why the row is skipped.
class C_RowReader {
public:
    C_RowReader(std::string_view source, size_t line, std::vector<C_LexiconWord>& out,
                std::vector<C_Report>& reports)
        : m_source(source), m_line(line), m_out(out), m_reports(reports) {}

    void read(std::string_view kipCell, std::string_view hanCell) {
        const std::string kip = normaliseReading(kipCell);
        const auto wholes = wholeReadings(kip);
        const auto hans = forms(hanCell, '/');
        if (wholes.empty())
            return report("Skipped: no reading");
        if (hans.size() > 1 && hans.size() != wholes.size())
            return report("Skipped: " + std::to_string(wholes.size()) + " readings but " +
                          std::to_string(hans.size()) + " Han forms");
        // Check the whole row first, so that a bad row files nothing.
        struct C_Form {
            std::vector<std::string> m_words;
            std::vector<std::vector<std::string>> m_keys;
            std::string m_han;
        };
        std::vector<C_Form> planned;
        for (size_t i = 0; i < wholes.size(); ++i) {
            std::string han = hans.empty() ? std::string() : hans.size() == 1 ? hans[0] : hans[i];
            if (!han.empty() && isTailoText(han))
                han.clear();
            std::optional<size_t> chars;
            if (!han.empty()) {
                // No unit left: its description characters lack operands.
                chars = countIDCOrZero(han);
                if (*chars == 0)
                    return report("Skipped: Han form \"" + han +
                                  "\" has a description character without its operands");
            }
            const auto readings = expandAlternatives(wholes[i], chars);
            if (readings.empty())
                return report("Skipped: no reading of \"" + wholes[i] + "\" has " +
                              std::to_string(chars.value_or(0)) + " syllables");
            for (const std::string& r : readings) {
                C_Form f;
                f.m_han = han;
                for (std::string& w : forms(r, ' ')) {
                    std::vector<std::string> keys;
                    if (auto e = readingKeys(w, keys); !e.empty())
                        return report("Skipped: " + e);
                    f.m_words.push_back(std::string(trimSeparators(w)));
                    f.m_keys.push_back(std::move(keys));
                }
                planned.push_back(std::move(f));
            }
        }
        for (C_Form& f : planned)
            file(f.m_han, f.m_words, f.m_keys);
    }

private:
    void report(std::string message) {
        m_reports.push_back({std::string(m_source), m_line, std::move(message)});
    }

    void file(const std::string& han, std::vector<std::string>& words,
              std::vector<std::vector<std::string>>& keys) {
        std::vector<std::string> hanPieces;
        if (words.size() == 1) {
            hanPieces.push_back(han);
        } else if (!han.empty()) {
            // A phrase: its Han text is cut into the words' characters when they line up.
            std::vector<std::string> units;
            visitIDC(han, [&units](std::string_view u) {
                units.emplace_back(u);
                return true;
            });
            size_t total = 0;
            for (const auto& k : keys)
                total += k.size();
            if (total == units.size()) {
                size_t at = 0;
                for (const auto& k : keys) {
                    std::string piece;
                    for (size_t i = 0; i < k.size(); ++i)
                        piece += units[at + i];
                    at += k.size();
                    hanPieces.push_back(std::move(piece));
                }
            } else {
                report("Han text \"" + han +
                       "\" does not line up with the syllables of the phrase; its words are "
                       "filed as Tai-lo only");
            }
        }
        hanPieces.resize(words.size());
        for (size_t w = 0; w < words.size(); ++w)
            m_out.push_back(
                {std::move(hanPieces[w]), std::move(words[w]), std::move(keys[w]), m_line});
    }

    std::string_view m_source;
    size_t m_line;
    std::vector<C_LexiconWord>& m_out;
    std::vector<C_Report>& m_reports;
};

}  // namespace

std::vector<C_LexiconWord> readLexicon(std::string_view text, std::string_view source,
                                       std::vector<C_Report>& reports) {
    std::vector<C_LexiconWord> out;
    std::vector<std::vector<std::string>> rows;
    std::vector<size_t> lines;
    if (!parseCsv(stripBom(text), rows, lines))
        reports.push_back({std::string(source), lines.empty() ? 1 : lines.back(),
                           "Quoted field left open at the end of the file"});
    if (rows.empty()) {
        reports.push_back({std::string(source), 1, "No header row"});
        return out;
    }
    const auto& head = rows[0];
    const auto kip = std::find(head.begin(), head.end(), "KipUnicode");
    const auto han = std::find(head.begin(), head.end(), "HanLoTaibunKip");
    if (kip == head.end() || han == head.end()) {
        reports.push_back({std::string(source), lines[0],
                           "Header lacks the columns \"KipUnicode\" and \"HanLoTaibunKip\""});
        return out;
    }
    const size_t kipCol = size_t(kip - head.begin());
    const size_t hanCol = size_t(han - head.begin());
    for (size_t r = 1; r < rows.size(); ++r) {
        if (rows[r].size() == 1 && rows[r][0].empty())
            continue;
        if (rows[r].size() != head.size()) {
            reports.push_back({std::string(source), lines[r],
                               "Skipped: " + std::to_string(rows[r].size()) +
                                   " fields instead of " + std::to_string(head.size())});
            continue;
        }
        C_RowReader(source, lines[r], out, reports).read(rows[r][kipCol], rows[r][hanCol]);
    }
    return out;
}

}  // namespace kov::dictc
