#include "tools/dictc/dict_compiler.h"

#include <algorithm>
#include <charconv>
#include <variant>

#include "engine/dict/replacing_write.h"
#include "engine/text/code_points.h"
#include "engine/text/tailo.h"
#include "qiv/byte_cursor.h"
#include "qiv/utf8.h"

namespace kov::dictc {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

std::string_view stripBom(std::string_view s) {
    if (s.substr(0, 3) == "\xEF\xBB\xBF") s.remove_prefix(3);
    return s;
}

std::vector<std::string_view> splitOn(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    size_t start = 0;
    for (;;) {
        const size_t end = s.find(sep, start);
        out.push_back(s.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return out;
        start = end + 1;
    }
}

// Non-empty trimmed pieces of s between separators.
std::vector<std::string> forms(std::string_view s, char sep) {
    std::vector<std::string> out;
    for (std::string_view f : splitOn(s, sep))
        if (auto t = trim(f); !t.empty()) out.emplace_back(t);
    return out;
}

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
            if (!marks[t]) continue;
            for (const auto* rows : {&kToneLettersLower, &kToneLettersUpper}) {
                const auto& row = (*rows)[t];
                const char* letters = rows == &kToneLettersLower ? "aeioumn" : "AEIOUMN";
                for (size_t i = 0; i < row.size() && i < 7; ++i) {
                    std::string from(1, letters[i]);
                    char buf[6];
                    const int n = qiv::encodeUtf8(marks[t], buf);
                    from.append(buf, size_t(n));
                    if (from != row[i]) out.push_back({std::move(from), row[i]});
                }
            }
        }
        return out;
    }();
    return table;
}

// Readings as the tone tables spell them: a letter and a combining mark become the
// precomposed letter where one exists, and the dotless U+0131 that the lexicon writes for
// some i's becomes i, and an ideographic space a plain one.
std::string normaliseReading(std::string_view reading) {
    std::string out;
    out.reserve(reading.size());
    for (size_t i = 0; i < reading.size();) {
        if (reading.compare(i, 2, "\xC4\xB1") == 0) {
            out += 'i';
            i += 2;
            continue;
        }
        if (reading.compare(i, 3, "\xE3\x80\x80") == 0) {  // ideographic space
            out += ' ';
            i += 3;
            continue;
        }
        bool replaced = false;
        if (i + 1 < reading.size() && static_cast<unsigned char>(reading[i + 1]) == 0xCC) {
            for (const C_Decomposed& d : decomposedMarks()) {
                if (reading.compare(i, d.from.size(), d.from) == 0) {
                    out += d.to;
                    i += d.from.size();
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) out += reading[i++];
    }
    return std::string(trim(out));
}

// "" and the keys, or why the reading is no Tai-lo.
std::string readingKeys(std::string_view reading, std::vector<std::string>& keys) {
    if (reading.find("--") != std::string_view::npos) return "Reading \"" + std::string(reading) + "\" holds \"--\"";
    auto res = tailo2tonedKeys(reading);
    if (auto* err = std::get_if<C_TonedKeysError>(&res))
        return "Syllable \"" + err->syllable + "\" of \"" + std::string(reading) + "\" is no Tai-lo syllable";
    keys = std::move(std::get<0>(res));
    if (keys.empty()) return "Reading \"" + std::string(reading) + "\" has no syllable";
    return {};
}

bool isTailoText(std::string_view text) {
    auto res = tailo2tonedKeys(text);
    return res.index() == 0 && !std::get<0>(res).empty();
}

}  // namespace

std::string C_Report::text() const { return source + ":" + std::to_string(line) + ": " + message; }

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
            if (cats[i].parent == parent && cats[i].name == seg) found = uint8_t(i + 1);
        if (!found) {
            if (!m_cats.add(seg, parent).empty()) return 0;
            found = uint8_t(m_cats.catCount());
        }
        parent = found;
    }
    return parent;
}

std::string C_DictCompiler::addWord(std::string_view word, std::string_view readingIn, const std::vector<uint8_t>& cats,
                                    int weight) {
    if (weight < -128 || weight > 127) return "Weight " + std::to_string(weight) + " is outside -128..127";
    const std::string reading = normaliseReading(readingIn);
    std::vector<std::string> keys;
    if (auto e = readingKeys(reading, keys); !e.empty()) return e;
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
        if (auto e = checkStoredText("Word", rec.word); !e.empty()) return e;
    }
    std::string karr = keys[0];
    std::string exact = keys[0];
    for (size_t i = 1; i < keys.size(); ++i) {
        karr += '-';
        karr += keys[i];
        exact += keys[i];
    }
    if (auto e = m_writer.addRecord(E_TailoSection::KARR, karr, rec); !e.empty()) return e;
    if (rec.type == 'H') m_writer.addReading(rec.word, reading);
    m_writer.addRecord(E_TailoSection::EXACT, exact, rec);
    if (keys.size() == 1) m_writer.addRecord(E_TailoSection::TONED, keys[0], rec);
    return {};
}

size_t C_DictCompiler::addForms_(std::string_view kipCell, std::string_view hanCell, std::string_view source,
                                 size_t line) {
    if (kipCell.find("--") != std::string_view::npos) {
        report_(source, line, "Skipped \"" + std::string(kipCell) + "\": a reading holds \"--\"");
        return 0;
    }
    const auto kips = forms(kipCell, '/');
    const auto hans = forms(hanCell, '/');
    if (kips.empty()) {
        report_(source, line, "Skipped: no reading");
        return 0;
    }
    if (hans.size() > 1 && hans.size() != kips.size()) {
        report_(source, line, "Skipped: " + std::to_string(kips.size()) + " readings but " +
                                  std::to_string(hans.size()) + " Han forms");
        return 0;
    }
    // Check the whole row first, so that a bad row files nothing.
    struct Form {
        std::vector<std::string> words;
        std::vector<size_t> syllables;
        std::string han;
    };
    std::vector<Form> planned;
    for (size_t i = 0; i < kips.size(); ++i) {
        Form f;
        f.han = hans.empty() ? std::string() : hans.size() == 1 ? hans[0] : hans[i];
        for (std::string& w : forms(kips[i], ' ')) {
            std::vector<std::string> keys;
            if (auto e = readingKeys(normaliseReading(w), keys); !e.empty()) {
                report_(source, line, "Skipped: " + e);
                return 0;
            }
            f.words.push_back(std::move(w));
            f.syllables.push_back(keys.size());
        }
        planned.push_back(std::move(f));
    }
    size_t filed = 0;
    for (const Form& f : planned) {
        std::vector<std::string> hanPieces;
        if (f.words.size() == 1) {
            hanPieces.push_back(f.han);
        } else if (!f.han.empty() && !isTailoText(f.han)) {
            // A phrase: its Han text is cut into the words' characters when they line up.
            std::vector<std::string> units;
            visitIDC(f.han, [&units](std::string_view u) {
                units.emplace_back(u);
                return true;
            });
            size_t total = 0;
            for (size_t n : f.syllables) total += n;
            if (total == units.size()) {
                size_t at = 0;
                for (size_t n : f.syllables) {
                    std::string piece;
                    for (size_t k = 0; k < n; ++k) piece += units[at + k];
                    at += n;
                    hanPieces.push_back(std::move(piece));
                }
            } else {
                report_(source, line, "Han text \"" + f.han + "\" does not line up with the syllables of the phrase; "
                                      "its words are filed as Tai-lo only");
            }
        }
        hanPieces.resize(f.words.size());
        for (size_t w = 0; w < f.words.size(); ++w) {
            std::string e;
            if (!hanPieces[w].empty()) e = addWord(hanPieces[w], f.words[w], {}, 0);
            if (e.empty()) e = addWord("", f.words[w], {}, -1);
            if (!e.empty()) {
                report_(source, line, "Skipped word: " + e);
                continue;
            }
            ++filed;
        }
    }
    return filed;
}

size_t C_DictCompiler::addLexiconCsv(std::string_view text, std::string_view source) {
    std::vector<std::vector<std::string>> rows;
    std::vector<size_t> lines;
    if (!parseCsv(stripBom(text), rows, lines))
        report_(source, lines.empty() ? 1 : lines.back(), "Quoted field left open at the end of the file");
    if (rows.empty()) {
        report_(source, 1, "No header row");
        return 0;
    }
    const auto& head = rows[0];
    const auto kip = std::find(head.begin(), head.end(), "KipUnicode");
    const auto han = std::find(head.begin(), head.end(), "HanLoTaibunKip");
    if (kip == head.end() || han == head.end()) {
        report_(source, lines[0], "Header lacks the columns \"KipUnicode\" and \"HanLoTaibunKip\"");
        return 0;
    }
    const size_t kipCol = size_t(kip - head.begin());
    const size_t hanCol = size_t(han - head.begin());
    size_t filed = 0;
    for (size_t r = 1; r < rows.size(); ++r) {
        if (rows[r].size() == 1 && rows[r][0].empty()) continue;
        if (rows[r].size() != head.size()) {
            report_(source, lines[r], "Skipped: " + std::to_string(rows[r].size()) + " fields instead of " +
                                          std::to_string(head.size()));
            continue;
        }
        filed += addForms_(rows[r][kipCol], rows[r][hanCol], source, lines[r]);
    }
    return filed;
}

size_t C_DictCompiler::addTsv(std::string_view text, std::string_view source) {
    text = stripBom(text);
    size_t filed = 0;
    size_t lineNo = 0;
    for (std::string_view line : splitOn(text, '\n')) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (trim(line).empty() || line.front() == '#') continue;
        const auto fields = splitOn(line, '\t');
        if (fields.size() < 2 || fields.size() > 4) {
            report_(source, lineNo, "Skipped: expected word, reading, categories and weight separated by tabs");
            continue;
        }
        std::vector<uint8_t> cats;
        bool ok = true;
        if (fields.size() > 2) {
            for (const std::string& name : forms(fields[2], ',')) {
                const uint8_t c = category(name);
                if (!c) {
                    report_(source, lineNo, "Skipped: category \"" + name + "\" cannot be made (bad name or table full)");
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
                report_(source, lineNo, "Skipped: weight \"" + std::string(w) + "\" is not a whole number");
                ok = false;
            }
        }
        if (!ok) continue;
        if (auto e = addWord(fields[0], fields[1], cats, weight); !e.empty()) {
            report_(source, lineNo, "Skipped: " + e);
            continue;
        }
        ++filed;
    }
    return filed;
}

std::string C_DictCompiler::catsBytes() const { return m_cats.bytes(); }

uint32_t C_DictCompiler::catsHash() const { return m_cats.hash(); }

std::string C_DictCompiler::tailoBytes() const {
    C_TailoWriter w = m_writer;
    w.setCatsHash(catsHash());
    return w.bytes();
}

std::string C_DictCompiler::writeFiles(const std::filesystem::path& tailoTab, const std::filesystem::path& catsTab) const {
    std::string tailo;
    try {
        tailo = tailoBytes();
    } catch (const std::exception& e) {
        return e.what();
    }
    if (auto e = writeFileReplacing(catsTab, catsBytes()); !e.empty()) return e;
    return writeFileReplacing(tailoTab, tailo);
}

bool parseCsv(std::string_view text, std::vector<std::vector<std::string>>& rows, std::vector<size_t>& lineOfRow) {
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
                        if (c == '\n') ++line;
                        field += c;
                    }
                }
                while (i < text.size() && text[i] != ',' && text[i] != '\n') {
                    if (text[i] != '\r') field += text[i];
                    ++i;
                }
            } else {
                while (i < text.size() && text[i] != ',' && text[i] != '\n') {
                    if (text[i] != '\r') field += text[i];
                    ++i;
                }
            }
            row.push_back(std::move(field));
            if (i >= text.size()) return true;
            if (text[i++] == '\n') {
                ++line;
                break;
            }
        }
    }
    return true;
}

}  // namespace kov::dictc
