#include "tools/dictc/dict_compiler.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <variant>

#include "engine/dict/mapped_file.h"
#include "engine/dict/replacing_write.h"
#include "engine/text/code_points.h"
#include "engine/text/key_pattern.h"
#include "engine/text/tailo.h"
#include "tools/dictc/text_pieces.h"

namespace kov::dictc {

namespace {

// The Tai-lo of toned keys, syllables joined by "-"; "" when a key has no letter for its mark.
std::string readingOf(const std::vector<std::string>& keys) {
    std::string out;
    try {
        for (const std::string& k : keys) {
            if (!out.empty())
                out += '-';
            out += tonedKey2tailo(k);
        }
    } catch (const std::exception&) {
        return {};
    }
    return out;
}

// Han text: ideographs and ideographic description characters only.
bool isHanText(std::string_view text) {
    bool han = !text.empty();
    visitCodePoints(text, [&han](unsigned cp) {
        han = (cp >= 0x3400 && cp <= 0x4DBF) || (cp >= 0x4E00 && cp <= 0x9FFF) ||
              (cp >= 0xF900 && cp <= 0xFAFF) || (cp >= 0x20000 && cp <= 0x3FFFF) ||
              (cp >= 0x2FF0 && cp <= 0x2FFF) || cp == 0x3007;
        return han;
    });
    return han;
}

int clampRound(double w, const C_WeightScale& s) {
    const double r = std::floor(w + 0.5);
    return int(std::clamp(r, double(s.m_floor), double(s.m_ceiling)));
}

}  // namespace

void C_DictCompiler::report_(std::string_view source, size_t line, std::string message) {
    m_reports.push_back({std::string(source), line, std::move(message)});
}

uint8_t C_DictCompiler::category(std::string_view path) {
    uint8_t parent = 0;
    for (std::string_view seg : splitOn(path, '/')) {
        seg = trim(seg);
        const auto& cats = m_cats.cats();
        uint8_t found = 0;
        for (size_t i = 0; i < cats.size() && !found; ++i)
            if (cats[i].parent == parent && cats[i].name == seg)
                found = uint8_t(i + 1);
        if (!found) {
            if (!m_cats.add(seg, parent).ok())
                return 0;
            found = uint8_t(m_cats.catCount());
        }
        parent = found;
    }
    return parent;
}

qiv::C_FileError C_DictCompiler::addWord(std::string_view word, std::string_view readingIn,
                                         const std::vector<uint8_t>& cats, int weight) {
    using qiv::E_FileError;
    if (weight < -128 || weight > 127)
        return {E_FileError::REFUSED, "Weight " + std::to_string(weight) + " is outside -128..127"};
    const std::string reading = normaliseReading(readingIn);
    std::vector<std::string> keys;
    if (auto e = readingKeys(reading, keys); !e.empty())
        return {E_FileError::REFUSED, std::move(e)};
    word = trim(word);

    C_TailoRecord rec;
    rec.weight = int8_t(weight);
    rec.cats = cats;
    if (word.empty() || isTailoText(word)) {
        rec.type = 'T';
        rec.word = reading;
    } else {
        rec.type = 'H';
        rec.word = std::string(word);
        if (auto e = checkStoredText("Word", rec.word); !e.ok())
            return e;
    }
    std::string exact;
    for (const std::string& k : keys)
        exact += k;
    const E_TailoSection home = keys.size() == 1 ? E_TailoSection::TONED : E_TailoSection::KARR;
    if (auto e = m_writer.addRecord(home, joinKeys(keys), rec); !e.ok())
        return e;
    if (rec.type == 'H')
        m_writer.addReading(rec.word, reading);
    m_writer.addRecord(E_TailoSection::EXACT, exact, rec);
    ++m_fixedWords;
    return {};
}

C_DictCompiler::C_Counted& C_DictCompiler::counted_(char type, const std::string& word,
                                                    const std::vector<std::string>& keys,
                                                    const std::string& reading) {
    C_Counted& w = m_words[T_WordKey(type, word, joinKeys(keys))];
    if (w.m_keys.empty()) {
        w.m_keys = keys;
        w.m_readings.push_back(reading);
    }
    return w;
}

size_t C_DictCompiler::addLexiconCsv(std::string_view text, std::string_view source) {
    size_t filed = 0;
    for (C_LexiconWord& lw : readLexicon(text, source, m_reports)) {
        if (!lw.m_han.empty()) {
            if (auto e = checkStoredText("Word", lw.m_han); !e.ok()) {
                report_(source, lw.m_line, "Skipped word: " + e.text);
                continue;
            }
            C_Counted& h = counted_('H', lw.m_han, lw.m_keys, lw.m_reading);
            if (!h.m_lexicon)
                h.m_readings.clear();
            if (std::find(h.m_readings.begin(), h.m_readings.end(), lw.m_reading) ==
                h.m_readings.end())
                h.m_readings.push_back(lw.m_reading);
            h.m_lexicon = true;
        }
        C_Counted& t = counted_('T', lw.m_reading, lw.m_keys, lw.m_reading);
        t.m_lexicon = true;
        ++filed;
    }
    return filed;
}

C_CorpusSummary C_DictCompiler::addCorpus(std::string_view hanText, std::string_view tailoText,
                                          std::string_view source, E_CorpusPart part) {
    C_CorpusSummary sum;
    sum.m_sentences = readCorpus(
        hanText, tailoText, part,
        [&](const C_CorpusSentence& s) {
            const C_CorpusWord* previous = nullptr;  // the word before, when a Han word
            for (const C_CorpusWord& w : s.m_words) {
                const bool han = w.m_kind == E_CorpusWordKind::SYLLABLES && isHanText(w.m_han);
                if (han && previous &&
                    previous->m_keys.size() + w.m_keys.size() <= m_scale.m_pairMaxSyllables) {
                    std::vector<std::string> keys = previous->m_keys;
                    keys.insert(keys.end(), w.m_keys.begin(), w.m_keys.end());
                    auto& pair = m_pairs[{std::string(previous->m_han) + std::string(w.m_han),
                                          joinKeys(keys)}];
                    pair.first = std::move(keys);
                    ++pair.second;
                }
                previous = han ? &w : nullptr;
            }
            for (const C_CorpusWord& w : s.m_words) {
                if (w.m_kind != E_CorpusWordKind::SYLLABLES) {
                    ++sum.m_otherWords;
                    continue;
                }
                const std::string reading = readingOf(w.m_keys);
                if (reading.empty()) {
                    ++sum.m_otherWords;
                    continue;
                }
                if (isHanText(w.m_han)) {
                    ++counted_('H', std::string(w.m_han), w.m_keys, reading).m_count;
                    std::vector<std::string> chars;
                    visitIDC(w.m_han, [&chars](std::string_view u) {
                        chars.emplace_back(u);
                        return true;
                    });
                    if (chars.size() == w.m_keys.size())
                        for (size_t i = 0; i < chars.size(); ++i)
                            ++m_charReadings[{chars[i], w.m_keys[i]}];
                } else if (auto keys = tailo2tonedKeys(w.m_han);
                           keys.index() == 0 && std::get<0>(keys) == w.m_keys) {
                    // The Han line writes this word in Tai-lo.
                    ++counted_('T', reading, w.m_keys, reading).m_count;
                } else {
                    ++sum.m_otherWords;
                    continue;
                }
                ++sum.m_words;
            }
        },
        &sum.m_skips);
    for (size_t line : sum.m_skips.m_misaligned)
        report_(source, line,
                "Skipped: the Han and the Tai-lo line hold different numbers of words");
    if (sum.m_skips.m_unpaired)
        report_(source, 0,
                std::to_string(sum.m_skips.m_unpaired) +
                    " lines of one file have no partner in the other");
    return sum;
}

size_t C_DictCompiler::addTsv(std::string_view text, std::string_view source) {
    text = stripBom(text);
    size_t filed = 0;
    size_t lineNo = 0;
    for (std::string_view line : splitOn(text, '\n')) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (trim(line).empty() || line.front() == '#')
            continue;
        const auto fields = splitOn(line, '\t');
        if (fields.size() < 2 || fields.size() > 4) {
            report_(source, lineNo,
                    "Skipped: expected word, reading, categories and weight separated by tabs");
            continue;
        }
        std::vector<uint8_t> cats;
        bool ok = true;
        if (fields.size() > 2) {
            for (const std::string& name : forms(fields[2], ',')) {
                const uint8_t c = category(name);
                if (!c) {
                    report_(source, lineNo,
                            "Skipped: category \"" + name +
                                "\" cannot be made (bad name or table full)");
                    ok = false;
                    break;
                }
                cats.push_back(c);
            }
        }
        int weight = 0;
        if (ok && fields.size() > 3) {
            const std::string_view w = trim(fields[3]);
            const char* end = w.data() + w.size();
            auto [p, ec] = std::from_chars(w.data() + (!w.empty() && w[0] == '+'), end, weight);
            if (w.empty() || ec != std::errc() || p != end) {
                report_(source, lineNo,
                        "Skipped: weight \"" + std::string(w) + "\" is not a whole number");
                ok = false;
            }
        }
        if (!ok)
            continue;
        if (auto e = addWord(fields[0], fields[1], cats, weight); !e.ok()) {
            report_(source, lineNo, "Skipped: " + e.text);
            continue;
        }
        ++filed;
    }
    return filed;
}

int C_DictCompiler::weightOf_(const T_WordKey& key, const C_Counted& w) const {
    const C_WeightScale& s = m_scale;
    const bool hanWord = std::get<0>(key) == 'H';
    if (w.m_keys.size() >= 2)
        return clampRound(s.m_wordBase + s.m_wordPerLog * std::log1p(double(w.m_count)), s);
    if (w.m_count > 0)
        return clampRound(s.m_oneBase + s.m_onePerLog * std::log1p(double(w.m_count) +
                                                                   s.m_charShare * w.m_charCount),
                          s);
    return clampRound(
        s.m_charBase + s.m_charPerLog * std::log1p(hanWord ? double(w.m_charCount) : 0.0), s);
}

C_TailoWriter C_DictCompiler::build() const {
    C_TailoWriter writer = m_writer;
    writer.setCatsHash(catsHash());
    std::map<T_WordKey, C_Counted> words = m_words;
    std::erase_if(words, [this](const auto& entry) {
        return !entry.second.m_lexicon && entry.second.m_count < m_scale.m_minWordCount;
    });
    // Neighbouring words often seen together, as one word.
    if (m_scale.m_minPairCount > 0) {
        for (const auto& [pair, entry] : m_pairs) {
            const auto& [keys, count] = entry;
            if (count < m_scale.m_minPairCount || keys.size() > m_scale.m_pairMaxSyllables)
                continue;
            const std::string reading = readingOf(keys);
            if (reading.empty())
                continue;
            C_Counted& c = words[T_WordKey('H', pair.first, pair.second)];
            if (c.m_keys.empty()) {
                c.m_keys = keys;
                c.m_readings = {reading};
            }
            c.m_count = std::max(c.m_count, count);
        }
    }
    if (m_scale.m_maxComposedCount > 0) {
        std::vector<T_WordKey> composed;
        for (const auto& [key, w] : words) {
            if (std::get<0>(key) != 'H' || w.m_lexicon || w.m_count > m_scale.m_maxComposedCount ||
                w.m_keys.size() < 2)
                continue;
            std::vector<std::string> chars;
            visitIDC(std::get<1>(key), [&chars](std::string_view u) {
                chars.emplace_back(u);
                return true;
            });
            if (chars.size() != w.m_keys.size())
                continue;
            const size_t n = chars.size();
            std::vector<bool> reach(n + 1, false);
            reach[0] = true;
            for (size_t i = 1; i <= n; ++i)
                for (size_t j = 0; j < i && !reach[i]; ++j) {
                    if (!reach[j] || (j == 0 && i == n))
                        continue;
                    std::string han, karr;
                    for (size_t k = j; k < i; ++k) {
                        han += chars[k];
                        karr += (k > j ? "-" : "") + w.m_keys[k];
                    }
                    reach[i] = words.count(T_WordKey('H', han, karr)) > 0 ||
                               (i - j == 1 && m_charReadings.count({han, karr}) > 0);
                }
            if (reach[n])
                composed.push_back(key);
        }
        for (const T_WordKey& key : composed)
            words.erase(key);
    }

    // The common characters of every syllable, by their character readings.
    std::map<std::string, std::vector<std::pair<uint32_t, const std::string*>>> bySyllable;
    for (const auto& [reading, n] : m_charReadings) {
        const auto& [han, key] = reading;
        if (auto it = words.find(T_WordKey('H', han, key)); it != words.end())
            it->second.m_charCount = n;
        else if (n >= m_scale.m_minCharReading)
            bySyllable[key].emplace_back(n, &han);
    }
    for (auto& [key, chars] : bySyllable) {
        std::stable_sort(chars.begin(), chars.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        if (chars.size() > m_scale.m_charsPerSyllable)
            chars.resize(m_scale.m_charsPerSyllable);
        const std::vector<std::string> keys{key};
        const std::string reading = readingOf(keys);
        for (const auto& [n, han] : chars) {
            C_Counted& c = words[T_WordKey('H', *han, key)];
            c.m_keys = keys;
            c.m_readings = {reading};
            c.m_charCount = n;
        }
    }

    // A lexicon word's Tai-lo spelling that is also the reading of a Han word of the same keys is
    // not filed again: the candidate lists show that Han word's readings as Tai-lo anyway, and
    // every extra record costs each lookup of those keys. Tai-lo words the corpus writes stay.
    std::set<std::pair<std::string, std::string>> hanReadings;  // (key array, reading)
    for (const auto& [key, w] : words)
        if (std::get<0>(key) == 'H')
            for (const std::string& r : w.m_readings)
                hanReadings.emplace(std::get<2>(key), r);
    std::erase_if(words, [&hanReadings](const auto& entry) {
        const auto& [type, word, karr] = entry.first;
        return type == 'T' && entry.second.m_count == 0 && hanReadings.count({karr, word});
    });

    // Weights; a Tai-lo spelling that the corpus never writes stays below the Han forms of its
    // keys.
    std::map<const T_WordKey*, int> weights;
    std::map<std::string, int>
        bestHan;  // key array -> the highest weight of a Han word filed there
    for (const auto& [key, w] : words) {
        const int weight = weightOf_(key, w);
        weights[&key] = weight;
        if (std::get<0>(key) == 'H') {
            auto [it, fresh] = bestHan.emplace(std::get<2>(key), weight);
            if (!fresh)
                it->second = std::max(it->second, weight);
        }
    }
    for (const auto& [key, w] : words) {
        if (std::get<0>(key) != 'T' || w.m_count > 0)
            continue;
        if (auto it = bestHan.find(std::get<2>(key)); it != bestHan.end())
            weights[&key] = std::max(m_scale.m_floor,
                                     std::min(weights[&key], it->second - m_scale.m_tailoBelow));
    }

    // Section D: each Han word's readings, the most frequent first.
    std::map<std::string, std::vector<std::pair<uint64_t, const std::string*>>> readings;
    for (const auto& [key, w] : words) {
        const auto& [type, word, karr] = key;
        C_TailoRecord rec;
        rec.type = type;
        rec.word = word;
        rec.weight = int8_t(weights[&key]);
        std::string exact;
        for (const std::string& k : w.m_keys)
            exact += k;
        if (w.m_keys.size() > 1)
            writer.addRecord(E_TailoSection::KARR, karr, rec);
        if (w.m_lexicon)
            writer.addRecord(E_TailoSection::EXACT, exact, rec);
        if (w.m_keys.size() == 1)
            writer.addRecord(E_TailoSection::TONED, w.m_keys[0], rec);
        if (type == 'H')
            for (const std::string& r : w.m_readings)
                readings[word].emplace_back(uint64_t(w.m_count) + w.m_charCount, &r);
    }
    for (auto& [han, list] : readings) {
        std::stable_sort(list.begin(), list.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        for (const auto& [n, reading] : list)
            writer.addReading(han, *reading);
    }
    return writer;
}

std::string C_DictCompiler::catsBytes() const { return m_cats.bytes(); }

uint32_t C_DictCompiler::catsHash() const { return m_cats.hash(); }

qiv::C_FileError C_DictCompiler::writeFiles(const std::filesystem::path& tailoTab,
                                            const std::filesystem::path& catsTab) const {
    std::string tailo;
    if (qiv::C_FileError e = build().bytes(tailo); !e.ok())
        return e;
    return writeDictionaryPair(tailoTab, tailo, catsTab, catsBytes());
}

qiv::C_FileError writeDictionaryPair(const std::filesystem::path& tailoTab, std::string_view tailo,
                                     const std::filesystem::path& catsTab, std::string_view cats) {
    auto writer = [](std::string_view bytes) {
        return [bytes](platform::C_OutFile& out) { return out.write(bytes); };
    };
    // Both side files first: a failure here leaves the old pair untouched.
    if (auto r = writeSideFile(catsTab, writer(cats)); !r.ok())
        return replaceFailure(r, catsTab);
    if (auto r = writeSideFile(tailoTab, writer(tailo)); !r.ok()) {
        removeSideFile(catsTab);
        return replaceFailure(r, tailoTab);
    }
    // The old category table, to put back should the dictionary not replace its old file. When
    // it cannot even be tested, nothing is replaced: the undo could neither put it back nor know
    // that the table it would remove is one this write made.
    std::error_code ec;
    const bool hadCats = std::filesystem::exists(catsTab, ec);
    if (ec) {
        removeSideFile(catsTab);
        removeSideFile(tailoTab);
        return {qiv::E_FileError::UNREADABLE,
                "Failed to test \"" + pathText(catsTab) + "\": " + ec.message()};
    }
    std::string oldCats;
    if (hadCats) {
        std::ifstream in(catsTab, std::ios::binary);
        oldCats.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (!in.good() && !in.eof()) {
            removeSideFile(catsTab);
            removeSideFile(tailoTab);
            return {qiv::E_FileError::UNREADABLE, "Failed to read \"" + pathText(catsTab) + "\""};
        }
    }
    if (auto r = replaceWithSideFile(catsTab); !r.ok()) {
        removeSideFile(tailoTab);
        return replaceFailure(r, catsTab);
    }
    if (auto r = replaceWithSideFile(tailoTab); !r.ok()) {
        qiv::C_FileError e = replaceFailure(r, tailoTab);
        const std::string undo =
            hadCats ? writeFileReplacing(catsTab, oldCats).text
                    : (std::filesystem::remove(catsTab, ec) ? std::string() : ec.message());
        if (!undo.empty())
            e.text += "; the category table could not be put back: " + undo;
        return e;
    }
    return {};
}

}  // namespace kov::dictc
