#include "tests/support/user_db_fixture.h"

#include <fstream>
#include <iterator>

#include "qiv/byte_cursor.h"

namespace kov::test {

namespace {

void putVocList(std::string& out, const std::vector<C_UserDbFixture::C_Rec>& recs) {
    for (const auto& r : recs) {
        qiv::putU8(out, static_cast<uint8_t>(r.type));
        qiv::putU32(out, r.count);
        qiv::putU32(out, r.time);
        qiv::putF32(out, r.weight);
        qiv::putCString(out, r.word);
        for (const uint8_t c : r.cats)
            qiv::putU8(out, c);
        qiv::putU8(out, 0);
    }
    qiv::putU8(out, 0);
}

std::string emptyTailo() {
    return C_TailoFixture{}.bytes();
}

}  // namespace

std::string C_UserDbFixture::bytes() const {
    std::string out;
    qiv::putU32(out, mark);
    qiv::putU32(out, ncats.value_or(static_cast<uint32_t>(cats.size())));
    qiv::putU32(out, nWords.value_or(static_cast<uint32_t>(words.size())));
    qiv::putU32(out, nVocs.value_or(static_cast<uint32_t>(vocs.size())));
    qiv::putU32(out, nHant.value_or(static_cast<uint32_t>(hant.size())));
    qiv::putU32(out, nRules.value_or(static_cast<uint32_t>(rules.size())));
    for (const std::string& name : cats)
        qiv::putCString(out, name);
    for (const C_Row& row : words) {
        qiv::putCString(out, row.key);
        putVocList(out, row.recs);
    }
    for (const C_Row& row : vocs) {
        qiv::putCString(out, row.key);
        putVocList(out, row.recs);
    }
    for (const C_HanRow& row : hant) {
        qiv::putCString(out, row.han);
        for (const std::string& r : row.readings)
            qiv::putCString(out, r);
        qiv::putU8(out, 0);
    }
    for (const std::string& rule : rules)
        out += rule;
    return out;
}

size_t C_UserDbFixture::rowsAt() const {
    size_t n = 24;
    for (const std::string& name : cats)
        n += name.size() + 1;
    return n;
}

std::string wordElem(std::string_view text, std::vector<std::string> keys, uint16_t count,
                     float weight) {
    std::string out;
    qiv::putU8(out, weight != 0 ? 0x81 : 0x01);
    qiv::putU16(out, count);
    qiv::putCString(out, text);
    for (const std::string& k : keys)
        qiv::putCString(out, k);
    qiv::putU8(out, 0);
    if (weight != 0)
        qiv::putF32(out, weight);
    return out;
}

std::string catElem(uint8_t cat, uint16_t min, uint16_t max, float weight) {
    std::string out;
    qiv::putU8(out, weight != 0 ? 0x82 : 0x02);
    qiv::putU8(out, cat);
    qiv::putU8(out, 0);
    qiv::putU16(out, min);
    qiv::putU16(out, max);
    if (weight != 0)
        qiv::putF32(out, weight);
    return out;
}

std::string gapElem() {
    return std::string(1, '\0');
}

std::string ruleRecord(uint32_t count, uint32_t time, std::vector<std::string> elems,
                       bool endMark) {
    std::string out;
    qiv::putU32(out, count);
    qiv::putU32(out, time);
    for (const std::string& e : elems)
        out += e;
    if (endMark)
        qiv::putU8(out, 0xFF);
    return out;
}

std::vector<std::string> sampleCatNames() {
    return {"noun", "place", "city"};
}

C_UserDbFixture sampleUserDb() {
    C_UserDbFixture f;
    f.cats = sampleCatNames();
    f.words = {
        {"ka1", {{'T', 2, 1000, 1.5f, "ka", {1}}}},
        {"kah4", {{'H', 0, 1001, -0.5f, "甲", {}}, {'T', 1, 1002, 0.0f, "kah", {2, 3}}}},
    };
    f.vocs = {
        {"tai5-uan5", {{'H', 3, 1003, 2.0f, "台灣", {2}}}},
        {"tsit8-e5", {{'T', 0, 1004, 0.25f, "tsi̍t-ê", {}}}},
    };
    f.hant = {
        {"台灣", {"Tâi-uân"}},
        {"甲", {"kah"}},
    };
    f.rules = {ruleRecord(7, 0x01020304, {wordElem("x", {"k1", "k2"}, 0, 0.5f)})};
    return f;
}

C_UserDbSetup::C_UserDbSetup(std::optional<std::string> fileBytes, std::string_view tailoBytes)
    : m_sys(tailoBytes.empty() ? emptyTailo() : std::string(tailoBytes)) {
    if (fileBytes)
        m_sys.m_folder.write("user-db.tab", *fileBytes);
}

C_UserDbSetup::~C_UserDbSetup() {
    m_db.reset();
}

std::filesystem::path C_UserDbSetup::file() const {
    return m_sys.m_folder.path() / "user-db.tab";
}

std::string C_UserDbSetup::readFile(const std::filesystem::path& path) const {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string C_UserDbSetup::fileBytes() const {
    return readFile(file());
}

C_TestUserDB& C_UserDbSetup::open() {
    m_db.reset();
    m_db = std::make_unique<C_TestUserDB>(file(), *m_sys.m_db);
    return *m_db;
}

}  // namespace kov::test
