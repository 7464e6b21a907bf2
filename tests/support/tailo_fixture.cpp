#include "tests/support/tailo_fixture.h"

#include <algorithm>
#include <regex>
#include <set>
#include <stdexcept>
#include <utility>

#include "engine/dict/tailo_writer.h"
#include "engine/text/tailo.h"

namespace kov::test {

namespace {

uint32_t u32At(std::string_view bytes, size_t at) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4; ++i) v |= uint32_t(uint8_t(bytes.at(at + i))) << (8 * i);
    return v;
}

[[noreturn]] void refuse(std::string_view what) {
    throw std::invalid_argument("Tailo fixture: " + std::string(what));
}

}  // namespace

std::string C_TailoFixture::bytes() const {
    // Everything the writer accepts goes through it. A record of a type the writer refuses is
    // written as 'T' and its type byte patched afterwards; descriptions the writer would store
    // differently (merged repeats, refused keys, words or categories) are refused here.
    struct C_TypePatch {
        size_t entry;
        size_t at;  // within the entry
        char type;
    };
    std::vector<C_TypePatch> typePatches;
    C_TailoWriter w(hash);
    size_t entry = 0;
    for (auto [section, map] : {std::pair{E_TailoSection::TONED, &a}, {E_TailoSection::EXACT, &b},
                                {E_TailoSection::KARR, &c}}) {
        for (const auto& [key, recs] : *map) {
            if (recs.empty()) refuse("key \"" + key + "\" without records");
            size_t at = key.size() + 1;
            std::set<std::pair<char, std::string>> seen;
            for (const C_Rec& r : recs) {
                C_TailoRecord rec{r.type, r.weight, r.cats, r.word};
                if (r.type != 'T' && r.type != 'H') {
                    typePatches.push_back({entry, at, r.type});
                    rec.type = 'T';
                }
                if (!seen.emplace(rec.type, rec.word).second) refuse("repeated record \"" + r.word + "\"");
                if (std::set<uint8_t>(r.cats.begin(), r.cats.end()).size() != r.cats.size())
                    refuse("repeated category in \"" + r.word + "\"");
                if (auto e = w.addRecord(section, key, rec); !e.empty()) refuse(e);
                at += 2 + r.cats.size() + 1 + r.word.size() + 1;
            }
            ++entry;
        }
    }
    for (const auto& [han, readings] : d) {
        if (auto e = w.addHan(han); !e.empty()) refuse(e);
        if (std::set<std::string>(readings.begin(), readings.end()).size() != readings.size())
            refuse("repeated reading of \"" + han + "\"");
        for (const std::string& r : readings)
            if (auto e = w.addReading(han, r); !e.empty()) refuse(e);
    }
    std::string out = w.bytes();
    if (bom != 0xFEFF) out = patchedU16(out, 0, bom);
    if (version != C_TailoWriter::kVersion) out = patchedU16(out, 2, version);
    for (const C_TypePatch& p : typePatches)
        out.at(poolAt() + u32At(out, 0x20 + 4 * p.entry) + p.at) = p.type;
    return out;
}

C_TailoFixture::C_Rec tRec(std::string word, int8_t weight, std::vector<uint8_t> cats) {
    return {'T', weight, std::move(cats), std::move(word)};
}

C_TailoFixture::C_Rec hRec(std::string word, int8_t weight, std::vector<uint8_t> cats) {
    return {'H', weight, std::move(cats), std::move(word)};
}

C_SystemDictFixture::C_SystemDictFixture(std::string_view tailoBytes, std::string_view catsBytes) {
    const auto cats = m_folder.write("cats.tab", catsBytes);
    const auto tailo = m_folder.write("tailo.tab", tailoBytes);
    m_cats = std::make_unique<C_TailoCats>(cats);
    m_db = std::make_unique<C_TailoDB>(tailo, *m_cats, m_policy);
}

C_SystemDictFixture::~C_SystemDictFixture() {
    m_db.reset();  // unmap before the folder goes
    m_cats.reset();
}

C_TypedLine::C_TypedLine(std::string_view typed, bool doctrine) : m_doctrine(doctrine) {
    for (size_t i = 0; i < typed.size(); ++i) {
        const char k = typed[i];
        if (k >= 'A' && k <= 'Z') m_capitals.push_back(i);
        m_keys += (k >= 'A' && k <= 'Z') ? char(k - 'A' + 'a') : k;
        m_units.push_back(std::make_unique<C_CompoUnit>(k, doctrine));
    }
    m_isles.resize(typed.size());
}

std::shared_ptr<const C_StdIsle> C_TypedLine::add_(std::shared_ptr<C_StdIsle> isle) {
    m_isles.at(isle->m_start).push_back(isle);
    return isle;
}

std::shared_ptr<const C_StdIsle> C_TypedLine::plain(size_t start, size_t length) {
    return add_(C_StdIsle::makePlain(start, length));
}

std::shared_ptr<const C_StdIsle> C_TypedLine::syllable(size_t start, size_t length, bool hasInitial, bool loneN) {
    C_IsleSyllable s;
    const char last = m_keys.at(start + length - 1);
    if (last >= '0' && last <= '9') s.m_toneDigit = last;
    s.m_hasInitial = hasInitial;
    s.m_loneN = loneN;
    return add_(C_StdIsle::makeSyllable(start, length, s));
}

std::shared_ptr<const C_StdIsle> C_TypedLine::wildcard(size_t start, size_t length) {
    return add_(C_StdIsle::makeWildcard(start, std::string_view(m_keys).substr(start, length)));
}

C_VisitConsts C_TypedLine::consts() const {
    C_VisitConsts c;
    c.m_keys = m_keys;
    c.m_capitals = m_capitals;
    c.m_islesByStart = m_isles;
    c.m_length = m_keys.size();
    c.m_hyphenRuns = m_hyphenRuns;
    std::sort(c.m_hyphenRuns.begin(), c.m_hyphenRuns.end());
    c.m_doctrine = m_doctrine;
    return c;
}

FC_UnitAt C_TypedLine::unitAt() {
    return [this](size_t pos) -> C_CompoUnit* { return pos < m_units.size() ? m_units[pos].get() : nullptr; };
}

std::vector<C_Candidate> typeIslands(const I_TailoDB& db, const std::vector<std::string>& keys, E_KeyTyping how) {
    std::string typed;
    std::vector<std::pair<size_t, size_t>> spans;
    std::vector<bool> initials;
    for (const std::string& k : keys) {
        std::smatch m;
        std::regex_match(k, m, kSyllableRegex);
        const std::string piece = how == E_KeyTyping::FULL       ? k
                                  : how == E_KeyTyping::TONELESS ? k.substr(0, k.size() - 1)
                                                                 : m[1].str();
        if (piece.empty()) return {};
        spans.emplace_back(typed.size(), piece.size());
        initials.push_back(m[1].matched);
        typed += piece;
    }
    C_TypedLine line(typed);
    std::shared_ptr<const C_StdIsle> first;
    for (size_t i = 0; i < spans.size(); ++i) {
        auto isle = how == E_KeyTyping::INITIALS ? line.plain(spans[i].first, spans[i].second)
                                                 : line.syllable(spans[i].first, spans[i].second, initials[i]);
        if (!first) first = isle;
    }
    if (!first) return {};
    db.getIslandVocs(line.consts(), *first, line.unitAt());
    std::vector<C_Candidate> out;
    for (const C_Candidate& c : line.unit(0).candidates())
        if (c.m_span == typed.size()) out.push_back(c);
    return out;
}

}  // namespace kov::test
