// Quality of a system dictionary as a user meets it: text typed into an input line over the
// dictionary alone (no user or learning layer), the composed winners compared with what was
// meant. A program that prints figures (bench/README.md), not a test and not a timing.
//
//   dict_quality [--dict DIR] [--data DIR] [--part held-out|tuning|training|all] [--examples N]
//                [--why] [--pair-rules MIN_COUNT WEIGHT] [--type KEYS [--verbose]]...
//
// Two ways of typing, each with tone digits and without:
//  - run together: the keys of word after word without a break, on a line as it is made (the
//    island doctrine off), so that the dictionary's weights decide where words end;
//  - word by word: a hyphen typed after each word (hidden in the composed text, as the walk
//    over the committed words hides it), on a line as a session opens it (the island doctrine
//    on, under which a word of several syllables ends only before a key that cannot go on with
//    a syllable).
// What is typed:
//  - the corpus sentences the dictionary was not built from (tools/dictc/corpus.h), clause by
//    clause (one input line each, cut at the punctuation); foreign names are typed as raw keys,
//    clauses holding other words that are not syllables are left out. Figures: character
//    accuracy (1 - edit distance / reference length, over all clauses) and whole sentences
//    right;
//  - the 2,000 most frequent words of two or more syllables of those sentences, each alone: how
//    often the composed text is the word;
//  - the lexicon's words of two or more syllables that have a Han form, each alone: how often
//    the Han form is the first winner (covering all keys);
//  - lines of four such lexicon words (in lexicon order): how often the whole line is composed
//    right, and the character accuracy.
// --why sorts the words of the sentences into right, right in several winners, and the causes
// of a wrong one (not in the dictionary, a winner read from keys taken as initials, a winner
// across its edges, shown as Tai-lo, a homophone, cut into other words). --part tuning types the
// tuning sentences of the training part instead, over a dictionary built without them
// (kelvaro-dictc --without-tuning): the figures the compiler's constants are chosen by, so that the
// held-out ones stay unseen. --pair-rules types over a user dictionary layer in memory that holds a
// rule for each pair of neighbouring words seen at least MIN_COUNT times in the sentences the
// dictionary was built from (both words weighted WEIGHT): what such rules would add to the
// dictionary. --type prints the winners of the keys given
// (--verbose: every unit's candidates) on a line with the doctrine off.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/compose/input_line.h"
#include "engine/dict/system_dict.h"
#include "engine/dict/rule.h"
#include "engine/dict/tailo_cats.h"
#include "engine/dict/user_db.h"
#include "engine/text/code_points.h"
#include "fixtures/capture_policy.h"
#include "tools/dictc/corpus.h"
#include "tools/dictc/lexicon.h"

namespace {

using namespace kov;

std::string readWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::vector<unsigned> codePoints(std::string_view text) {
    std::vector<unsigned> out;
    visitCodePoints(text, [&out](unsigned cp) {
        out.push_back(cp);
        return true;
    });
    return out;
}

size_t editDistance(const std::vector<unsigned>& a, const std::vector<unsigned>& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diag = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diag = up;
        }
    }
    return row[b.size()];
}

std::string percent(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f%%", 100.0 * value);
    return buf;
}

double share(size_t part, size_t whole) { return whole ? double(part) / double(whole) : 0.0; }

// How the keys of several words are typed.
struct C_Style {
    const char* m_name;
    bool m_doctrine;
    bool m_hyphenAfterWords;
};
const C_Style kStyles[] = {
    {"run together", false, false},
    {"word by word", true, true},
};

// The label of a row of figures: the way of typing, with or without tone digits.
std::string rowLabel(const C_Style& style, bool tones) {
    return std::string(style.m_name) +
           (tones ? ", with tone digits:    " : ", without tone digits: ");
}

// One word as typed: its keys, or a foreign word typed as raw keys.
struct C_Typed {
    std::string m_keys;
    bool m_raw = false;
};

// The letters of a Tai-lo reading: code points less hyphens, spaces and combining marks (a
// letter with a tone mark is one letter, as its key is).
size_t readingLetters(std::string_view reading) {
    size_t n = 0;
    visitCodePoints(reading, [&n](unsigned cp) {
        n += cp != '-' && cp != ' ' && !(cp >= 0x300 && cp <= 0x36F);
        return true;
    });
    return n;
}

// What a composition shows: the winners' texts (a Tai-lo candidate by its reading, a raw key by
// its text; a hyphen typed between words is left out), and the winners as pieces.
struct C_Shown {
    struct C_Piece {
        size_t m_start, m_span;
        std::string m_text;
        bool m_tailo;
        // Read from fewer keys than its syllables have letters: some taken as initials.
        bool m_initials = false;
    };
    std::string m_text;
    std::vector<C_Piece> m_pieces;
    // The first entries of the Han candidate list at the nail position (position 0 while
    // nothing is nailed): text and span, when asked for.
    std::vector<std::pair<std::string, size_t>> m_listed;

    // True when the list holds text covering the given number of keys from position 0.
    bool listed(const std::string& text, size_t span) const {
        return std::find(m_listed.begin(), m_listed.end(), std::pair(text, span)) != m_listed.end();
    }
};

// How many entries of the candidate list the report looks at.
constexpr size_t kListLength = 10;

// ", among the first 10 candidates <share>".
std::string listedText(double value) {
    return ", among the first " + std::to_string(kListLength) + " candidates " + percent(value);
}

class C_Typist {
public:
    C_Typist(const I_TailoDB& db, const C_Style& style) : m_db(db), m_style(style) {}

    // Types the words; wordStarts (when given) gets each word's first key position and the end.
    C_Shown type(const std::vector<C_Typed>& words, std::vector<size_t>* wordStarts = nullptr,
                 bool withList = false) const {
        C_InputLine line(m_db);
        line.setIslandDoctrine(m_style.m_doctrine);
        size_t at = 0;
        for (size_t i = 0; i < words.size(); ++i) {
            if (i > 0 && m_style.m_hyphenAfterWords) {
                line.insertKey('-');
                ++at;
            }
            if (wordStarts)
                wordStarts->push_back(at);
            const C_Typed& w = words[i];
            if (w.m_raw) {
                line.toggleRawKeyOnly();
                line.toggleFullShapeSymbols();
            }
            for (char k : w.m_keys)
                line.insertKey(k);
            at += w.m_keys.size();
            if (w.m_raw) {
                line.toggleRawKeyOnly();
                line.toggleFullShapeSymbols();
            }
        }
        if (wordStarts)
            wordStarts->push_back(at);
        C_Shown shown;
        for (const C_Winner& w : line.winners()) {
            if (!w.m_candidate)
                continue;
            const C_Candidate& c = *w.m_candidate;
            if (m_style.m_hyphenAfterWords && c.m_source == ST_RAW_KEY && c.m_text == "-")
                continue;
            std::string text = c.m_text;
            const bool tailo = text.empty();
            if (tailo && !c.m_readings.empty())
                text = c.m_readings[c.m_chosenReading.m_set ? c.m_chosenReading.m_index : 0];
            shown.m_text += text;
            bool initials = !c.m_readings.empty();
            for (const std::string& r : c.m_readings)
                initials = initials && readingLetters(r) > c.m_span;
            shown.m_pieces.push_back({w.m_start, c.m_span, std::move(text), tailo, initials});
        }
        if (withList)
            line.getCandidatesAtNailPos('H', 0, kListLength,
                                        [&shown](size_t, const C_VocCandidate& v) {
                                            shown.m_listed.emplace_back(v.m_text, v.m_span);
                                        });
        return shown;
    }

private:
    const I_TailoDB& m_db;
    const C_Style& m_style;
};

std::string typedKeys(const std::vector<std::string>& keys, bool tones) {
    std::string out;
    for (const std::string& k : keys)
        out += tones ? k : k.substr(0, k.size() - 1);
    return out;
}

struct C_Accuracy {
    size_t m_refChars = 0, m_edits = 0;

    void add(const std::string& shown, const std::string& reference) {
        const auto a = codePoints(shown), b = codePoints(reference);
        m_refChars += b.size();
        m_edits += editDistance(a, b);
    }
    double value() const { return m_refChars ? 1.0 - double(m_edits) / double(m_refChars) : 0.0; }
};

// How a word of a sentence came out, in the order they are tested: right in several winners
// (the text is right), or wrong: not in the dictionary, a winner across its edges, shown as
// Tai-lo, another Han word.
// A wrong word is sorted further: a winner that reads some of its keys as initials; across the
// edges; a homophone (one winner, exactly the word's keys, another text); cut into winners
// that are not the word's characters.
enum E_Cause {
    CAUSE_PIECES,
    CAUSE_JOINED,
    CAUSE_MISSING,
    CAUSE_INITIALS,
    CAUSE_ACROSS,
    CAUSE_TAILO,
    CAUSE_HOMOPHONE,
    CAUSE_CUT,
    CAUSE_COUNT
};
const char* const kCauseNames[CAUSE_COUNT] = {"right, in several winners",
                                              "right, in one winner with its neighbours",
                                              "wrong: not in the dictionary",
                                              "wrong: a winner read from initials",
                                              "wrong: a winner across its edges",
                                              "wrong: shown as Tai-lo",
                                              "wrong: a homophone",
                                              "wrong: cut into other words"};

struct C_Options {
    std::filesystem::path m_dict = std::filesystem::path(KOV_BINARY_DIR) / "dict";
    std::filesystem::path m_data = std::filesystem::path(KOV_SOURCE_DIR) / "data";
    dictc::E_CorpusPart m_part = dictc::E_CorpusPart::HELD_OUT;
    size_t m_examples = 0;
    bool m_why = false;
    bool m_verbose = false;
    std::vector<std::string> m_show;
    // --pair-rules: word pairs seen at least this often, and the weight of each of their words.
    uint32_t m_pairMin = 0;
    float m_pairWeight = 0;
};

// A clause of a sentence: its words (syllables or foreign names) and the Han text meant.
struct C_Clause {
    std::vector<const dictc::C_CorpusWord*> m_words;
    std::string m_reference;
};

// A lexicon word of two or more syllables with a Han form.
struct C_LexWord {
    std::string m_han;
    std::vector<std::string> m_keys;
};

class C_QualityReport {
public:
    explicit C_QualityReport(const C_Options& o) : m_options(o) {
        m_cats = std::make_unique<C_TailoCats>(o.m_dict / "cats.tab");
        m_db = std::make_unique<C_TailoDB>(o.m_dict / "tailo.tab", *m_cats, m_policy);
        if (!m_db->loaded())
            throw std::runtime_error("no dictionary in " + o.m_dict.string() + ": " +
                                     m_db->error().text + m_db->file().error().text);
        m_top = m_db.get();
        if (o.m_pairMin) {
            m_user = std::make_unique<C_UserTailoDB>(std::filesystem::path(), *m_db);
            std::cout << "Word-pair rules over the dictionary: " << addPairRules(*m_user) << "\n";
            m_top = m_user.get();
        }
    }

    // The figures printed so far, by name ("sentences/run together/toned", ...).
    std::map<std::string, double> m_figures;

    void sentences() {
        const std::string han = readWhole(m_options.m_data / "icorpus" / "icorpus-han.txt");
        const std::string tailo = readWhole(m_options.m_data / "icorpus" / "icorpus-tailo.txt");
        std::vector<dictc::C_CorpusSentence> sentences;
        dictc::readCorpus(
            han, tailo, m_options.m_part,
            [&sentences](const dictc::C_CorpusSentence& s) { sentences.push_back(s); });
        size_t clauses = 0, left = 0;
        std::vector<std::vector<C_Clause>> bySentence;
        std::map<std::pair<std::string, std::vector<std::string>>, size_t> wordCounts;
        for (const auto& s : sentences) {
            std::vector<C_Clause> cs;
            C_Clause c;
            bool usable = true;
            auto close = [&] {
                if (!c.m_words.empty()) {
                    ++clauses;
                    if (usable)
                        cs.push_back(std::move(c));
                    else
                        ++left;
                }
                c = C_Clause{};
                usable = true;
            };
            for (const auto& w : s.m_words) {
                if (w.m_kind == dictc::E_CorpusWordKind::PUNCTUATION) {
                    close();
                    continue;
                }
                usable = usable && w.m_kind != dictc::E_CorpusWordKind::OTHER;
                c.m_words.push_back(&w);
                c.m_reference += w.m_han;
                if (w.m_kind == dictc::E_CorpusWordKind::SYLLABLES && w.m_keys.size() >= 2)
                    ++wordCounts[{std::string(w.m_han), w.m_keys}];
            }
            close();
            bySentence.push_back(std::move(cs));
        }
        std::cout << "News sentences (" << partName() << "): " << sentences.size() << ", "
                  << clauses << " clauses typed one by one (" << left
                  << " left out: they hold words that are neither "
                  << "syllables nor foreign names)\n";
        for (const C_Style& style : kStyles) {
            const C_Typist typist(*m_top, style);
            for (const bool tones : {true, false}) {
                C_Accuracy acc;
                size_t right = 0, typed = 0, examples = 0, words = 0, wordsRight = 0;
                size_t causes[CAUSE_COUNT] = {};
                for (const auto& cs : bySentence) {
                    if (cs.empty())
                        continue;
                    ++typed;
                    bool allRight = true;
                    for (const C_Clause& c : cs) {
                        std::vector<C_Typed> typedWords;
                        for (const auto* w : c.m_words)
                            typedWords.push_back(w->m_kind == dictc::E_CorpusWordKind::FOREIGN
                                                     ? C_Typed{std::string(w->m_tailo), true}
                                                     : C_Typed{typedKeys(w->m_keys, tones), false});
                        std::vector<size_t> starts;
                        const C_Shown shown = typist.type(typedWords, &starts);
                        acc.add(shown.m_text, c.m_reference);
                        if (shown.m_text != c.m_reference) {
                            allRight = false;
                            if (examples++ < m_options.m_examples)
                                std::cout << "    " << c.m_reference << " -> " << shown.m_text
                                          << "\n";
                        }
                        if (m_options.m_why)
                            classify(c, starts, shown, words, wordsRight, causes);
                    }
                    right += allRight;
                }
                const std::string name = figureName("sentences", style, tones);
                m_figures[name] = acc.value();
                m_figures[name + "/whole"] = share(right, typed);
                std::cout << "  " << rowLabel(style, tones) << "character accuracy "
                          << percent(acc.value()) << ", whole sentences right "
                          << percent(share(right, typed)) << "\n";
                if (m_options.m_why) {
                    std::cout << "    " << words << " words: right "
                              << percent(share(wordsRight, words));
                    for (size_t i = 0; i < CAUSE_COUNT; ++i)
                        std::cout << "; " << kCauseNames[i] << " "
                                  << percent(share(causes[i], words));
                    std::cout << "\n";
                }
            }
        }
        frequentWords(wordCounts);
    }

    void lexicon() {
        std::vector<dictc::C_Report> reports;
        std::set<std::pair<std::string, std::vector<std::string>>> seen;
        std::vector<C_LexWord> words;
        for (dictc::C_LexiconWord& w : dictc::readLexicon(
                 readWhole(m_options.m_data / "itaigi-lexicon.csv"), "lexicon", reports)) {
            if (w.m_han.empty() || w.m_keys.size() < 2 || !seen.insert({w.m_han, w.m_keys}).second)
                continue;
            words.push_back({std::move(w.m_han), std::move(w.m_keys)});
        }
        std::cout << "Lexicon words of two or more syllables with a Han form: " << words.size()
                  << "\n";
        for (const C_Style& style : kStyles) {
            const C_Typist typist(*m_top, style);
            for (const bool tones : {true, false}) {
                size_t first = 0, listed = 0, examples = 0;
                for (const C_LexWord& w : words) {
                    const std::string keys = typedKeys(w.m_keys, tones);
                    const C_Shown shown = typist.type({{keys, false}}, nullptr, true);
                    listed += shown.listed(w.m_han, keys.size());
                    if (shown.m_pieces.size() == 1 && shown.m_pieces[0].m_text == w.m_han)
                        ++first;
                    else if (examples++ < m_options.m_examples)
                        std::cout << "    " << w.m_han << " -> " << shown.m_text << "\n";
                }
                const std::string name = figureName("lexicon words", style, tones);
                m_figures[name] = share(first, words.size());
                m_figures[name + "/listed"] = share(listed, words.size());
                std::cout << "  alone, " << rowLabel(style, tones) << "first winner right "
                          << percent(m_figures[name]) << listedText(m_figures[name + "/listed"])
                          << "\n";
            }
        }
        constexpr size_t kPerLine = 4;
        std::cout << "Lines of " << kPerLine << " lexicon words (" << words.size() / kPerLine
                  << " lines):\n";
        for (const C_Style& style : kStyles) {
            const C_Typist typist(*m_top, style);
            for (const bool tones : {true, false}) {
                C_Accuracy acc;
                size_t right = 0, lines = 0, first = 0, listed = 0;
                for (size_t i = 0; i + kPerLine <= words.size(); i += kPerLine) {
                    std::vector<C_Typed> typed;
                    std::string reference;
                    for (size_t k = i; k < i + kPerLine; ++k) {
                        typed.push_back({typedKeys(words[k].m_keys, tones), false});
                        reference += words[k].m_han;
                    }
                    const C_Shown shown = typist.type(typed, nullptr, true);
                    acc.add(shown.m_text, reference);
                    right += shown.m_text == reference;
                    // The line's first word: the first winner, and in the list at position 0.
                    const std::string& head = words[i].m_han;
                    const size_t headKeys = typed.front().m_keys.size();
                    first += !shown.m_pieces.empty() && shown.m_pieces[0].m_text == head &&
                             shown.m_pieces[0].m_span == headKeys;
                    listed += shown.listed(head, headKeys);
                    ++lines;
                }
                const std::string name = figureName("lexicon lines", style, tones);
                m_figures[name] = acc.value();
                m_figures[name + "/whole"] = share(right, lines);
                m_figures[name + "/first"] = share(first, lines);
                m_figures[name + "/listed"] = share(listed, lines);
                std::cout << "  " << rowLabel(style, tones) << "whole lines right "
                          << percent(share(right, lines)) << ", character accuracy "
                          << percent(acc.value()) << "; first word: first winner "
                          << percent(share(first, lines)) << listedText(share(listed, lines))
                          << "\n";
            }
        }
    }

    // Prints the winners of keys typed on a line with the doctrine off.
    void show(const std::string& keys) const {
        C_InputLine line(*m_db);
        for (char k : keys)
            line.insertKey(k);
        std::cout << keys << ":\n";
        for (const C_Winner& w : line.winners()) {
            if (!w.m_candidate)
                continue;
            const C_Candidate& c = *w.m_candidate;
            std::cout << "  @" << w.m_start << " span " << c.m_span << " " << c.m_text << " "
                      << (c.m_readings.empty() ? "" : c.m_readings[0]) << " weight " << c.m_weight
                      << " bonus " << c.m_bonus << " source " << int(c.m_source) << " count "
                      << c.m_count << "\n";
        }
        if (!m_options.m_verbose)
            return;
        const C_InputLineSnapshot& snap = line.snapshot();
        for (size_t pos = 0; pos < snap.m_elements.size(); ++pos) {
            const C_CompoUnit* unit = snap.unitAt(pos);
            if (!unit)
                continue;
            std::cout << "  unit " << pos << ":";
            for (size_t i = 0; const C_Candidate* c = unit->at(i); ++i)
                std::cout << " [" << c->m_text
                          << (c->m_readings.empty() ? "" : "/" + c->m_readings[0]) << " s"
                          << c->m_span << " w" << c->m_weight << " src" << int(c->m_source) << " n"
                          << c->m_count << "]";
            std::cout << "\n";
        }
    }

private:
    const char* partName() const {
        return m_options.m_part == dictc::E_CorpusPart::HELD_OUT ? "held out of the dictionary"
               : m_options.m_part == dictc::E_CorpusPart::TUNING ? "the tuning part"
               : m_options.m_part == dictc::E_CorpusPart::TRAINING
                   ? "those the dictionary was built from"
                   : "all";
    }

    // The sentences the dictionary was built from: a dictionary measured on the tuning part is
    // built without it (kelvaro-dictc --without-tuning).
    dictc::E_CorpusPart builtFrom() const {
        return m_options.m_part == dictc::E_CorpusPart::TUNING
                   ? dictc::E_CorpusPart::TRAINING_WITHOUT_TUNING
                   : dictc::E_CorpusPart::TRAINING;
    }

    static std::string figureName(const char* what, const C_Style& style, bool tones) {
        return std::string(what) + "/" + style.m_name + (tones ? "/toned" : "/toneless");
    }

    // Rules for the pairs of neighbouring words of the sentences the dictionary was built from
    // that were seen at least m_pairMin times: each pair's two words, each with m_pairWeight.
    // Returns the number of rules.
    size_t addPairRules(C_UserTailoDB& layer) const {
        const std::string han = readWhole(m_options.m_data / "icorpus" / "icorpus-han.txt");
        const std::string tailo = readWhole(m_options.m_data / "icorpus" / "icorpus-tailo.txt");
        std::map<std::pair<std::string, std::string>, uint32_t> pairs;
        dictc::readCorpus(han, tailo, builtFrom(), [&pairs](const dictc::C_CorpusSentence& s) {
            for (size_t i = 1; i < s.m_words.size(); ++i) {
                const auto& a = s.m_words[i - 1];
                const auto& b = s.m_words[i];
                if (a.m_kind == dictc::E_CorpusWordKind::SYLLABLES &&
                    b.m_kind == dictc::E_CorpusWordKind::SYLLABLES)
                    ++pairs[{std::string(a.m_han), std::string(b.m_han)}];
            }
        });
        size_t rules = 0;
        for (const auto& [pair, count] : pairs) {
            if (count < m_options.m_pairMin)
                continue;
            auto rule = std::make_shared<C_Rule>(2);
            (*rule)[0] = {C_WordPat{pair.first, {}, 0}, m_options.m_pairWeight};
            (*rule)[1] = {C_WordPat{pair.second, {}, 0}, m_options.m_pairWeight};
            rules += layer.addRule(rule);
        }
        return rules;
    }

    void frequentWords(
        const std::map<std::pair<std::string, std::vector<std::string>>, size_t>& counts) {
        std::vector<std::pair<size_t, const std::pair<std::string, std::vector<std::string>>*>>
            order;
        for (const auto& [w, n] : counts)
            order.emplace_back(n, &w);
        std::stable_sort(order.begin(), order.end(),
                         [](const auto& a, const auto& b) { return a.first > b.first; });
        if (order.size() > 2000)
            order.resize(2000);
        std::cout << "The " << order.size()
                  << " most frequent words of two or more syllables of these sentences, "
                  << "typed alone:\n";
        for (const C_Style& style : kStyles) {
            const C_Typist typist(*m_top, style);
            for (const bool tones : {true, false}) {
                size_t right = 0, listed = 0, examples = 0;
                for (const auto& [n, word] : order) {
                    const std::string keys = typedKeys(word->second, tones);
                    const C_Shown shown = typist.type({{keys, false}}, nullptr, true);
                    listed += shown.listed(word->first, keys.size());
                    if (shown.m_text == word->first)
                        ++right;
                    else if (examples++ < m_options.m_examples)
                        std::cout << "    " << word->first << " (" << n << ") -> " << shown.m_text
                                  << "\n";
                }
                const std::string name = figureName("frequent words", style, tones);
                m_figures[name] = share(right, order.size());
                m_figures[name + "/listed"] = share(listed, order.size());
                std::cout << "  " << rowLabel(style, tones) << "top-1 " << percent(m_figures[name])
                          << listedText(m_figures[name + "/listed"]) << "\n";
            }
        }
    }

    bool inDictionary(const dictc::C_CorpusWord& w) const {
        std::string karr;
        for (const std::string& k : w.m_keys)
            karr += (karr.empty() ? "" : "-") + k;
        bool found = false;
        // A word of one syllable is filed under its toned key, a longer one under its key array.
        m_db->visitKeyVocs(
            w.m_keys.size() == 1 ? 0 : 2, karr,
            [&](std::string_view han, std::span<std::string_view>, std::span<const uint8_t>, char) {
                found = found || han == w.m_han;
            });
        return found;
    }

    void classify(const C_Clause& c, const std::vector<size_t>& starts, const C_Shown& shown,
                  size_t& words, size_t& wordsRight, size_t* causes) const {
        for (size_t i = 0; i < c.m_words.size(); ++i) {
            const auto& w = *c.m_words[i];
            if (w.m_kind != dictc::E_CorpusWordKind::SYLLABLES)
                continue;
            ++words;
            const size_t from = starts[i], to = starts[i + 1];
            std::string inside;
            size_t pieces = 0;
            bool across = false, tailo = false, initials = false, joined = false;
            for (const auto& p : shown.m_pieces) {
                const size_t end = p.m_start + p.m_span;
                if (end <= from || p.m_start >= to)
                    continue;
                // One winner for whole neighbouring words, the text of all of them.
                const auto first = std::find(starts.begin(), starts.end(), p.m_start);
                const auto last = std::find(starts.begin(), starts.end(), end);
                if (first != starts.end() && last != starts.end() && last - first > 1) {
                    std::string meant;
                    for (auto k = first; k != last; ++k)
                        meant += c.m_words[size_t(k - starts.begin())]->m_han;
                    joined = meant == p.m_text;
                }
                across = across || p.m_start < from || end > to;
                inside += p.m_text;
                tailo = tailo || p.m_tailo;
                initials = initials || p.m_initials;
                ++pieces;
            }
            if (!across && pieces == 1 && inside == w.m_han)
                ++wordsRight;
            else if (joined && pieces == 1)
                ++causes[CAUSE_JOINED];
            else if (!across && inside == w.m_han)
                ++causes[CAUSE_PIECES];
            else if (!inDictionary(w))
                ++causes[CAUSE_MISSING];
            else if (initials)
                ++causes[CAUSE_INITIALS];
            else if (across)
                ++causes[CAUSE_ACROSS];
            else if (tailo)
                ++causes[CAUSE_TAILO];
            else if (pieces == 1)
                ++causes[CAUSE_HOMOPHONE];
            else
                ++causes[CAUSE_CUT];
        }
    }

    C_Options m_options;
    test::C_CapturePolicy m_policy;
    std::unique_ptr<C_TailoCats> m_cats;
    std::unique_ptr<C_TailoDB> m_db;
    std::unique_ptr<C_UserTailoDB> m_user;
    const I_TailoDB* m_top = nullptr;
};

int usage() {
    std::cerr << "usage: dict_quality [--dict DIR] [--data DIR] [--part "
                 "held-out|tuning|training|all] [--examples N] "
                 "[--why] [--pair-rules MIN_COUNT WEIGHT] [--type KEYS [--verbose]]...\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    C_Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == "--dict" && hasValue)
            o.m_dict = argv[++i];
        else if (a == "--data" && hasValue)
            o.m_data = argv[++i];
        else if (a == "--examples" && hasValue)
            o.m_examples = size_t(std::strtoul(argv[++i], nullptr, 10));
        else if (a == "--type" && hasValue)
            o.m_show.push_back(argv[++i]);
        else if (a == "--part" && hasValue) {
            const std::string p = argv[++i];
            if (p == "all")
                o.m_part = dictc::E_CorpusPart::ALL;
            else if (p == "training")
                o.m_part = dictc::E_CorpusPart::TRAINING;
            else if (p == "held-out")
                o.m_part = dictc::E_CorpusPart::HELD_OUT;
            else if (p == "tuning")
                o.m_part = dictc::E_CorpusPart::TUNING;
            else
                return usage();
        } else if (a == "--pair-rules" && i + 2 < argc) {
            o.m_pairMin = uint32_t(std::strtoul(argv[++i], nullptr, 10));
            o.m_pairWeight = std::strtof(argv[++i], nullptr);
        } else if (a == "--why")
            o.m_why = true;
        else if (a == "--verbose")
            o.m_verbose = true;
        else
            return usage();
    }
    try {
        C_QualityReport report(o);
        for (const std::string& keys : o.m_show)
            report.show(keys);
        if (!o.m_show.empty())
            return 0;
        report.sentences();
        report.lexicon();
    } catch (const std::exception& e) {
        std::cerr << "dict_quality: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
