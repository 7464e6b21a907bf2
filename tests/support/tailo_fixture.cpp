#include "tests/support/tailo_fixture.h"

#include <algorithm>

#include "qiv/byte_cursor.h"

namespace kov::test {

std::string C_TailoFixture::bytes() const {
    std::string pool;
    std::vector<uint32_t> offsets;
    for (const T_Section* sec : {&a, &b, &c}) {
        for (const auto& [key, recs] : *sec) {
            offsets.push_back(uint32_t(pool.size()));
            qiv::putCString(pool, key);
            for (const C_Rec& r : recs) {
                qiv::putU8(pool, uint8_t(r.type));
                qiv::putU8(pool, uint8_t(r.weight));
                for (uint8_t cat : r.cats) qiv::putU8(pool, cat);
                qiv::putU8(pool, 0);
                qiv::putCString(pool, r.word);
            }
            qiv::putU8(pool, 0);
        }
    }
    for (const auto& [han, readings] : d) {
        offsets.push_back(uint32_t(pool.size()));
        qiv::putCString(pool, han);
        for (const std::string& r : readings) qiv::putCString(pool, r);
        qiv::putU8(pool, 0);
    }
    std::string out;
    qiv::putU16(out, bom);
    qiv::putU16(out, version);
    qiv::putU32(out, 0);
    qiv::putU32(out, 0);
    qiv::putU32(out, uint32_t(a.size()));
    qiv::putU32(out, uint32_t(b.size()));
    qiv::putU32(out, uint32_t(c.size()));
    qiv::putU32(out, uint32_t(d.size()));
    qiv::putU32(out, hash);
    for (uint32_t off : offsets) qiv::putU32(out, off);
    return out + pool;
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

}  // namespace kov::test
