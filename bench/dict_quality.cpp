// Quality of the default dictionary as a user meets it: text typed into an input line over the
// system dictionary alone (no user or learning layer, the island doctrine on as a session sets
// it), the composed winners compared with what was meant. Not a benchmark of speed and not a
// test: it prints figures (see bench/README.md).
//
//   dict_quality [--dict DIR] [--data DIR] [--doctrine on|off] [--examples N] [--why]
//
// - Held-out news sentences (the corpus sentences the dictionary was not built from,
//   tools/dictc/corpus.h), typed with tone digits and without: character accuracy
//   (1 - edit distance / reference length, over all sentences) and whole sentences right. A
//   sentence is typed clause by clause, one input line each, cut at its punctuation; foreign
//   names are typed as raw keys; clauses holding other non-syllable words are left out.
// - The 2,000 most frequent words of two or more syllables of the held-out sentences, each
//   typed alone: how often the composed text is the word.
// - The lexicon's words of two or more syllables typed alone, and lines of several of them run
//   together: how often the lexicon's Han form is the first winner (for lines, how often the
//   whole line is composed right, and the character accuracy).
// With --why, the words of the held-out sentences that were not composed right are sorted into
// causes (not in the dictionary, cut into pieces, shown as Tai-lo, another Han word).

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/compose/input_line.h"
#include "engine/dict/system_dict.h"
#include "engine/dict/tailo_cats.h"
#include "engine/text/code_points.h"
#include "tests/support/capture_policy.h"
#include "tools/dictc/corpus.h"
#include "tools/dictc/dict_compiler.h"

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

std::string percent(size_t part, size_t whole) {
    if (whole == 0)
        return "-";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f%%", 100.0 * double(part) / double(whole));
    return buf;
}

std::string percent(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f%%", 100.0 * value);
    return buf;
}

// One piece of typing: keys as typed, or a foreign word typed as raw keys.
struct C_Typed {
    std::string m_keys;
    bool m_raw = false;
};

// What a composition shows: the winners' texts (a Tai-lo candidate by its reading, a raw key by
// its text), and the winners themselves as (start, span, shown text, is Tai-lo).
struct C_Shown {
    std::string m_text;
    struct C_Piece {
        size_t m_start, m_span;
        std::string m_text;
        bool m_tailo;
    };
    std::vector<C_Piece> m_pieces;
};

class C_Typist {
public:
    C_Typist(const I_TailoDB& db, bool doctrine) : m_db(db), m_doctrine(doctrine) {}

    C_Shown type(const std::vector<C_Typed>& pieces) const {
        C_InputLine line(m_db);
        line.setIslandDoctrine(m_doctrine);
        for (const C_Typed& p : pieces) {
            if (p.m_raw) {
                line.toggleRawKeyOnly();
                line.toggleFullShapeSymbols();
            }
            for (char k : p.m_keys)
                line.insertKey(k);
            if (p.m_raw) {
                line.toggleRawKeyOnly();
                line.toggleFullShapeSymbols();
            }
        }
        C_Shown shown;
        for (const C_Winner& w : line.winners()) {
            if (!w.m_candidate)
                continue;
            const C_Candidate& c = *w.m_candidate;
            std::string text = c.m_text;
            const bool tailo = text.empty();
            if (tailo && !c.m_readings.empty())
                text = c.m_readings[c.m_chosenReading.m_set ? c.m_chosenReading.m_index : 0];
            shown.m_text += text;
            shown.m_pieces.push_back({w.m_start, c.m_span, std::move(text), tailo});
        }
        return shown;
    }

private:
    const I_TailoDB& m_db;
    bool m_doctrine;
};

std::string joinKeys(const std::vector<std::string>& keys, bool tones) {
    std::string out;
    for (const std::string& k : keys)
        out += tones ? k : k.substr(0, k.size() - 1);
    return out;
}

// A clause of a held-out sentence: its words (all syllables or foreign names).
struct C_Clause {
    std::vector<const dictc::C_CorpusWord*> m_words;
    std::string m_reference;
};

struct C_Accuracy {
    size_t m_refChars = 0, m_edits = 0, m_units = 0, m_unitsRight = 0;

    void add(const std::string& shown, const std::string& reference) {
        const auto a = codePoints(shown), b = codePoints(reference);
        m_refChars += b.size();
        m_edits += editDistance(a, b);
    }
    double accuracy() const { return m_refChars ? 1.0 - double(m_edits) / double(m_refChars) : 0.0; }
};

struct C_Options {
    std::filesystem::path m_dict = std::filesystem::path(KOV_BINARY_DIR) / "dict";
    std::filesystem::path m_data = std::filesystem::path(KOV_SOURCE_DIR) / "data";
    bool m_doctrine = true;
    size_t m_examples = 0;
    bool m_why = false;
    std::vector<std::string> m_show;
    dictc::E_CorpusPart m_part = dictc::E_CorpusPart::HELD_OUT;
    bool m_verbose = false;
};

// How a word of a sentence came out, in the order they are tested: right (one winner), right in
// pieces (several winners that show the word), or wrong because the word is not in the
// dictionary, because a winner reaches across its edges, because it shows as Tai-lo, or as
// another Han word.
enum E_Cause { CAUSE_PIECES, CAUSE_MISSING, CAUSE_ACROSS, CAUSE_TAILO, CAUSE_OTHER_HAN, CAUSE_COUNT };
const char* const kCauseNames[CAUSE_COUNT] = {"right, but in several winners", "wrong: not in the dictionary",
                                              "wrong: a winner across its edges", "wrong: shown as Tai-lo",
                                              "wrong: another Han word"};

bool inDictionary(const C_TailoDB& db, const dictc::C_CorpusWord& w) {
    std::string karr;
    for (const std::string& k : w.m_keys)
        karr += (karr.empty() ? "" : "-") + k;
    bool found = false;
    db.visitKeyVocs(2, karr, [&](std::string_view han, std::span<std::string_view>, std::span<const uint8_t>, char) {
        found = found || han == w.m_han;
    });
    return found;
}

class C_Report {
public:
    explicit C_Report(const C_Options& o) : m_options(o) {
        m_cats = std::make_unique<C_TailoCats>(o.m_dict / "cats.tab");
        m_db = std::make_unique<C_TailoDB>(o.m_dict / "tailo.tab", *m_cats, m_policy);
        if (!m_db->loaded())
            throw std::runtime_error("no dictionary in " + o.m_dict.string() + ": " + m_db->error() +
                                     m_db->file().error());
        m_han = readWhole(o.m_data / "icorpus" / "icorpus-han.txt");
        m_tailo = readWhole(o.m_data / "icorpus" / "icorpus-tailo.txt");
    }

    void sentences() {
        std::vector<dictc::C_CorpusSentence> held;
        dictc::readCorpus(m_han, m_tailo, m_options.m_part,
                          [&held](const dictc::C_CorpusSentence& s) { held.push_back(s); });
        size_t clauses = 0, clausesLeftOut = 0;
        std::vector<std::vector<C_Clause>> bySentence;
        for (const auto& s : held) {
            std::vector<C_Clause> cs;
            C_Clause c;
            bool usable = true;
            auto close = [&] {
                if (!c.m_words.empty()) {
                    ++clauses;
                    if (usable)
                        cs.push_back(std::move(c));
                    else
                        ++clausesLeftOut;
                }
                c = C_Clause{};
                usable = true;
            };
            for (const auto& w : s.m_words) {
                if (w.m_kind == dictc::E_CorpusWordKind::PUNCTUATION) {
                    close();
                    continue;
                }
                if (w.m_kind == dictc::E_CorpusWordKind::OTHER)
                    usable = false;
                c.m_words.push_back(&w);
                c.m_reference += w.m_han;
            }
            close();
            bySentence.push_back(std::move(cs));
        }
        std::cout << "Held-out news sentences: " << held.size() << " (" << clauses << " clauses, " << clausesLeftOut
                  << " left out for words that are neither syllables nor foreign names)\n";
        const C_Typist typist(*m_db, m_options.m_doctrine);
        for (const bool tones : {true, false}) {
            C_Accuracy acc;
            size_t sentencesRight = 0, sentencesTyped = 0, shownExamples = 0;
            size_t words = 0, wordsRight = 0;
            size_t causes[CAUSE_COUNT] = {};
            for (const auto& cs : bySentence) {
                if (cs.empty())
                    continue;
                ++sentencesTyped;
                bool allRight = true;
                for (const C_Clause& c : cs) {
                    std::vector<C_Typed> typed;
                    std::vector<size_t> wordStart;
                    size_t at = 0;
                    for (const auto* w : c.m_words) {
                        wordStart.push_back(at);
                        if (w->m_kind == dictc::E_CorpusWordKind::FOREIGN)
                            typed.push_back({std::string(w->m_tailo), true});
                        else
                            typed.push_back({joinKeys(w->m_keys, tones), false});
                        at += typed.back().m_keys.size();
                    }
                    wordStart.push_back(at);
                    const C_Shown shown = typist.type(typed);
                    acc.add(shown.m_text, c.m_reference);
                    if (shown.m_text != c.m_reference) {
                        allRight = false;
                        if (shownExamples < m_options.m_examples) {
                            ++shownExamples;
                            std::cout << "  " << (tones ? "toned" : "toneless") << ": " << c.m_reference << " -> "
                                      << shown.m_text << "   (";
                            for (const auto& t : typed)
                                std::cout << t.m_keys << " ";
                            std::cout << ")\n";
                        }
                    }
                    if (m_options.m_why)
                        classify(c, wordStart, shown, words, wordsRight, causes);
                }
                sentencesRight += allRight;
            }
            m_figures[std::string("sentences ") + (tones ? "toned" : "toneless")] = acc.accuracy();
            std::cout << (tones ? "  with tone digits:    " : "  without tone digits: ") << "character accuracy "
                      << percent(acc.accuracy()) << ", whole sentences right " << percent(sentencesRight, sentencesTyped)
                      << " of " << sentencesTyped << "\n";
            if (m_options.m_why) {
                std::cout << "    of " << words << " words: right " << percent(wordsRight, words);
                for (size_t i = 0; i < CAUSE_COUNT; ++i)
                    std::cout << "; " << kCauseNames[i] << " " << percent(causes[i], words);
                std::cout << "\n";
            }
        }
    }

    // Sorts each syllable word of a clause into right or a cause.
    void classify(const C_Clause& c, const std::vector<size_t>& wordStart, const C_Shown& shown, size_t& words,
                  size_t& wordsRight, size_t* causes) const {
        for (size_t i = 0; i < c.m_words.size(); ++i) {
            const auto& w = *c.m_words[i];
            if (w.m_kind != dictc::E_CorpusWordKind::SYLLABLES)
                continue;
            ++words;
            const size_t from = wordStart[i], to = wordStart[i + 1];
            std::string inside;
            size_t pieces = 0;
            bool across = false, tailo = false;
            for (const auto& p : shown.m_pieces) {
                const size_t end = p.m_start + p.m_span;
                if (end <= from || p.m_start >= to)
                    continue;
                if (p.m_start < from || end > to)
                    across = true;
                inside += p.m_text;
                tailo = tailo || p.m_tailo;
                ++pieces;
            }
            if (!across && pieces == 1 && inside == w.m_han) {
                ++wordsRight;
                continue;
            }
            if (!across && inside == w.m_han)
                ++causes[CAUSE_PIECES];
            else if (!inDictionary(*m_db, w))
                ++causes[CAUSE_MISSING];
            else if (across)
                ++causes[CAUSE_ACROSS];
            else if (tailo)
                ++causes[CAUSE_TAILO];
            else
                ++causes[CAUSE_OTHER_HAN];
        }
    }

    // Prints the winners of keys typed alone, and the best candidate of each span at 0.
    void show(const std::string& keys) const {
        C_InputLine line(*m_db);
        line.setIslandDoctrine(m_options.m_doctrine);
        for (char k : keys)
            line.insertKey(k);
        for (const C_Winner& w : line.winners()) {
            if (!w.m_candidate)
                continue;
            const C_Candidate& c = *w.m_candidate;
            std::cout << "  @" << w.m_start << " span " << c.m_span << " " << c.m_text << " "
                      << (c.m_readings.empty() ? "" : c.m_readings[0]) << " weight " << c.m_weight << " bonus "
                      << c.m_bonus << " source " << int(c.m_source) << " count " << c.m_count << "\n";
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
                std::cout << " [" << c->m_text << (c->m_readings.empty() ? "" : "/" + c->m_readings[0]) << " s"
                          << c->m_span << " w" << c->m_weight << " src" << int(c->m_source) << " n" << c->m_count
                          << "]";
            std::cout << "\n";
        }
    }

    void frequentWords() {
        std::map<std::pair<std::string, std::vector<std::string>>, size_t> counts;
        dictc::readCorpus(m_han, m_tailo, m_options.m_part, [&counts](const dictc::C_CorpusSentence& s) {
            for (const auto& w : s.m_words)
                if (w.m_kind == dictc::E_CorpusWordKind::SYLLABLES && w.m_keys.size() >= 2)
                    ++counts[{std::string(w.m_han), w.m_keys}];
        });
        std::vector<std::pair<size_t, const std::pair<std::string, std::vector<std::string>>*>> order;
        for (const auto& [k, n] : counts)
            order.emplace_back(n, &k);
        std::stable_sort(order.begin(), order.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        if (order.size() > 2000)
            order.resize(2000);
        const C_Typist typist(*m_db, m_options.m_doctrine);
        std::cout << "The " << order.size() << " most frequent words of two or more syllables of the held-out "
                  << "sentences, typed alone:\n";
        for (const bool tones : {true, false}) {
            size_t right = 0, shownExamples = 0;
            for (const auto& [n, word] : order) {
                const C_Shown shown = typist.type({{joinKeys(word->second, tones), false}});
                if (shown.m_text == word->first)
                    ++right;
                else if (shownExamples < m_options.m_examples) {
                    ++shownExamples;
                    std::cout << "  " << word->first << " (" << n << ") -> " << shown.m_text << "\n";
                }
            }
            m_figures[std::string("frequent ") + (tones ? "toned" : "toneless")] =
                order.empty() ? 0.0 : double(right) / double(order.size());
            std::cout << (tones ? "  with tone digits:    " : "  without tone digits: ") << "top-1 "
                      << percent(right, order.size()) << "\n";
        }
    }

    // The figures printed so far, by name ("sentences toned", "frequent toneless", ...).
    std::map<std::string, double> m_figures;

private:
    C_Options m_options;
    test::C_CapturePolicy m_policy;
    std::unique_ptr<C_TailoCats> m_cats;
    std::unique_ptr<C_TailoDB> m_db;
    std::string m_han, m_tailo;
};

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
        else if (a == "--doctrine" && hasValue)
            o.m_doctrine = std::string(argv[++i]) != "off";
        else if (a == "--examples" && hasValue)
            o.m_examples = size_t(std::stoul(argv[++i]));
        else if (a == "--type" && hasValue)
            o.m_show.push_back(argv[++i]);
        else if (a == "--part" && hasValue) {
            const std::string p = argv[++i];
            o.m_part = p == "all" ? dictc::E_CorpusPart::ALL
                       : p == "training" ? dictc::E_CorpusPart::TRAINING
                                         : dictc::E_CorpusPart::HELD_OUT;
        } else if (a == "--why")
            o.m_why = true;
        else if (a == "--verbose")
            o.m_verbose = true;
        else {
            std::cerr << "usage: dict_quality [--dict DIR] [--data DIR] [--doctrine on|off] [--examples N] [--why]\n";
            return 2;
        }
    }
    try {
        C_Report report(o);
        if (!o.m_show.empty()) {
            for (const std::string& keys : o.m_show) {
                std::cout << keys << ":\n";
                report.show(keys);
            }
            return 0;
        }
        report.sentences();
        report.frequentWords();
    } catch (const std::exception& e) {
        std::cerr << "dict_quality: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
