// Loading and saving the tables of a user-layer dictionary ("user-db.tab", "learn-db.tab").
//
// File: a 24-byte header (FF FE 00 01, then u32 ncats, nWords, nVocs, nHant, nRules), the
// category names, the keys2words rows (key, voc list), the karr2vocs rows ("k1-k2-..." and a voc
// list), the hant2tailo rows (Han word, readings, an empty string) and the rule records. A voc
// list is records (type, u32 count, u32 time, f32 weight, word, category bytes and a NUL) ended
// by one NUL. All numbers little-endian, all strings NUL-ended.
#include <algorithm>
#include <exception>
#include <fstream>
#include <iterator>
#include <system_error>
#include <span>

#include "engine/dict/mapped_file.h"
#include "engine/dict/replacing_write.h"
#include "engine/dict/user_db_layer.h"
#include "engine/dict/user_db_readings.h"
#include "engine/text/key_pattern.h"
#include "engine/text/tailo.h"
#include "qiv/byte_cursor.h"
#include "qiv/exception_text.h"

namespace kov {

namespace {

constexpr uint32_t kFileMark = 0x0100FEFFu;  // bytes FF FE 00 01: byte-order mark and version
constexpr size_t kHeaderSize = 24;
constexpr size_t kMaxCats = 255;

using C_CatMap = std::map<uint8_t, uint8_t>;
// The table keys of the 'H' records by Han word, for checking the readings of hant2tailo: one
// flat list, sorted once when the rows are read. The keys point into the tables, whose nodes
// stay put while the load goes on.
class C_HanKeys {
public:
    void note(const std::string& han, C_Bikey key) { m_entries.emplace_back(han, key); }
    void sort() {
        std::stable_sort(m_entries.begin(), m_entries.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    // The keys noted for han (after sort).
    std::span<const std::pair<std::string, C_Bikey>> of(std::string_view han) const {
        const auto range = std::equal_range(
            m_entries.begin(), m_entries.end(), han, C_Less());
        return {range.first, range.second};
    }

private:
    struct C_Less {
        bool operator()(const std::pair<std::string, C_Bikey>& a, std::string_view b) const {
            return a.first < b;
        }
        bool operator()(std::string_view a, const std::pair<std::string, C_Bikey>& b) const {
            return a < b.first;
        }
    };
    std::vector<std::pair<std::string, C_Bikey>> m_entries;
};

std::string num(uint64_t n) {
    return std::to_string(n);
}

// Reads one voc record: 0 done, 1 end of the list, 2 a field could not be read, 3 a category
// that the category map lacks.
int readVoc(qiv::C_ByteCursor& in, const C_CatMap& catMap, C_TailoVoc& voc) {
    uint8_t type = 0;
    if (!in.readU8(type) || (type != 'H' && type != 'T'))
        return 1;
    voc.type = static_cast<char>(type);
    float weight = 0;
    std::string_view word;
    if (!in.readU32(voc.stamp.count) || !in.readU32(voc.stamp.time) || !in.readF32(weight) ||
        !in.readCString(word))
        return 2;
    voc.weight = weight;
    voc.word.assign(word);
    for (;;) {
        uint8_t c = 0;
        if (!in.readU8(c))
            return 2;
        if (c == 0)
            return 0;
        const auto m = catMap.find(c);
        if (m == catMap.end())
            return 3;
        voc.cats.push_back(m->second);
    }
}

// Reads a voc list into vocs (a record equal in type and word to one already there is
// dropped); returns the read result that ended it, 1 being the normal end.
int readVocList(qiv::C_ByteCursor& in, const C_CatMap& catMap, C_CandiPool::Vocs& vocs) {
    for (;;) {
        C_TailoVoc voc{{}, {}, 0.0f, 0, C_UsageStamp{}};  // the stamp is read, not taken now
        const int res = readVoc(in, catMap, voc);
        if (res != 0)
            return res;
        const bool known = std::any_of(vocs.begin(), vocs.end(), [&](const C_TailoVoc& v) {
            return v.type == voc.type && v.word == voc.word;
        });
        if (!known)
            vocs.push_back(std::move(voc));
    }
}

void noteHanKeys(C_HanKeys& hanKeys, const C_CandiPool::Vocs& vocs, C_Bikey key) {
    for (const C_TailoVoc& v : vocs)
        if (v.type == 'H')
            hanKeys.note(v.word, key);
}

// The entry of key in a table whose rows arrive in ascending order: appended at the end
// without a search when it sorts after the last one.
template <class Table, class K>
typename Table::iterator rowOf(Table& table, const K& key) {
    if (table.empty() || table.key_comp()(std::prev(table.end())->first, key))
        return table.emplace_hint(table.end(), key, typename Table::mapped_type());
    return table.try_emplace(key).first;
}

// Reads the voc list of one row into table[key]; a row left empty is not kept, the 'H' records
// of one that is are noted with its key. Returns the read result that ended the list.
template <class Table>
int readRow(qiv::C_ByteCursor& in, const C_CatMap& catMap, Table& table,
            const typename Table::key_type& key, C_HanKeys& hanKeys) {
    const auto row = rowOf(table, key);
    const int res = readVocList(in, catMap, row->second);
    if (row->second.empty())
        table.erase(row);
    else
        noteHanKeys(hanKeys, row->second, C_Bikey(&row->first));
    return res;
}

bool storable(std::string_view s) {
    return !s.empty() && s.find('\0') == std::string_view::npos;
}

}  // namespace

C_UserTailoMixin::C_UserTailoMixin(const std::filesystem::path& dbFile, const I_TailoDB& lower)
    : m_rules(lower.cats()), m_lower(lower), m_path(dbFile) {
    const I_TailoCats& cats = lower.cats();
    m_candiPool.catUnder = [&cats](uint8_t a, uint8_t b) { return cats.isCatUnder(a, b); };
    load_();
}

C_UserTailoMixin::~C_UserTailoMixin() {
    try {
        save();
    } catch (const std::exception& e) {
        try {
            logger().log(1, "Failed to save user DB " + pathText(m_path) + ": " +
                                qiv::exceptionText(e));
        } catch (...) {
        }
    } catch (...) {
        try {
            logger().log(1, "Failed to save user DB " + pathText(m_path));
        } catch (...) {
        }
    }
}

bool C_UserTailoMixin::dirty() const {
    std::lock_guard lock(m_lock);
    return m_dirty;
}

void C_UserTailoMixin::load_() {
    const I_TailoPolicy& log = logger();
    const std::string where = pathText(m_path);
    if (m_path.empty()) {
        m_loaded = true;
        log.log(3, "Empty user DB path");
        return;
    }
    std::error_code ec;
    if (!std::filesystem::exists(m_path, ec) || ec) {
        m_loaded = true;
        log.log(3, "Missing user DB file " + where);
        return;
    }
    std::ifstream file(m_path, std::ios::binary);
    if (!file) {
        m_error = "Failed to open user DB file " + where;
        return;
    }
    // A read error part way counts as the end of the file: the parse below then stops where
    // the bytes end, and what was read stays.
    std::string bytes;
    for (size_t got = 0;;) {
        bytes.resize(std::max<size_t>(bytes.size() * 2, 1 << 16));
        file.read(bytes.data() + got, static_cast<std::streamsize>(bytes.size() - got));
        got += static_cast<size_t>(file.gcount());
        if (!file) {
            bytes.resize(got);
            break;
        }
    }
    qiv::C_ByteCursor in(bytes);

    uint32_t mark = 0, ncats = 0, nWords = 0, nVocs = 0, nHant = 0, nRules = 0;
    if (!in.readU32(mark) || !in.readU32(ncats) || !in.readU32(nWords) || !in.readU32(nVocs) ||
        !in.readU32(nHant) || !in.readU32(nRules)) {
        m_error = "Failed to read user DB header";
        return;
    }
    if (mark != kFileMark) {
        m_error = "Invalid user DB format version or BOM";
        return;
    }
    if (ncats > kMaxCats) {
        m_error = "Too many cats: " + num(ncats);
        return;
    }

    std::map<std::string, uint8_t, std::less<>> nameToFileCat;
    for (uint32_t i = 1; i <= ncats; ++i) {
        std::string_view name;
        if (!in.readCString(name)) {
            m_error = "Missing category name of " + num(i);
            return;
        }
        nameToFileCat[std::string(name)] = static_cast<uint8_t>(i);
    }
    C_CatMap catMap;
    const I_TailoCats& sysCats = cats();
    for (unsigned s = 1; s <= kMaxCats; ++s) {
        const std::string_view name = sysCats.catName(static_cast<uint8_t>(s));
        if (name.empty())
            break;
        const auto f = nameToFileCat.find(name);
        if (f != nameToFileCat.end())
            catMap[f->second] = static_cast<uint8_t>(s);
    }

    C_HanKeys hanKeys;
    C_ReadingKeys readingKeys;
    for (uint32_t r = 0; r < nWords; ++r) {
        std::string_view keyText;
        if (!in.readCString(keyText))
            return;
        const int res = readRow(in, catMap, m_candiPool.keys2words, std::string(keyText), hanKeys);
        if (res >= 2) {
            m_error = "Failed to read keys2words word " + num(r) + "/" + num(nWords) +
                      " with error " + num(static_cast<uint32_t>(res));
            return;
        }
    }

    for (uint32_t r = 0; r < nVocs; ++r) {
        std::string_view joined;
        if (!in.readCString(joined))
            return;
        const std::vector<std::string> keys = split(joined, "-");
        if (keys.size() < 2) {
            m_error = "Illegal karr2vocs karr " + num(r) + "/" + num(nVocs) + " with keys \"" +
                      std::string(joined) + "\"";
            return;
        }
        const int res = readRow(in, catMap, m_candiPool.karr2vocs, keys, hanKeys);
        if (res >= 2) {
            m_error = "Failed to read karr2vocs voc " + num(r) + "/" + num(nVocs) +
                      " with error " + num(static_cast<uint32_t>(res));
            return;
        }
    }

    hanKeys.sort();
    for (uint32_t r = 0; r < nHant; ++r) {
        std::string_view hanText;
        if (!in.readCString(hanText)) {
            m_error = "Failed to read hant2tailo row " + num(r) + "/" + num(nHant) + " in user DB";
            return;
        }
        const std::string han(hanText);
        const auto known = hanKeys.of(han);
        std::vector<std::string> readings;
        std::string_view reading;
        while (in.readCString(reading) && !reading.empty()) {
            // A reading is kept only while an 'H' record of the word carries its keys.
            if (std::any_of(known.begin(), known.end(), [&](const auto& entry) {
                    return readingKeys.spells(reading, entry.second);
                }))
                pushUnique(readings, std::string(reading));
        }
        if (!readings.empty()) {
            auto& stored = rowOf(m_candiPool.hant2tailo, han)->second;
            for (const std::string& t : readings)
                pushUnique(stored, t);
        }
    }

    if (!m_rules.read(in, nRules, catMap))
        return;
    m_loaded = true;
    log.log(3, "Loaded user DB from " + where);
}

std::string C_UserTailoMixin::serialize_() const {
    const I_TailoCats& sysCats = cats();
    // Category names as the system table has them, 1, 2, ... up to the first empty name; a
    // file index then equals the system index. A category byte that this list cannot map back
    // on reload (after the first empty name, or a name that a later category repeats) would
    // make the file unreadable from that record on, so it is left out.
    std::vector<std::string_view> names;
    for (unsigned s = 1; s <= kMaxCats; ++s) {
        const std::string_view name = sysCats.catName(static_cast<uint8_t>(s));
        if (name.empty() || name.find('\0') != std::string_view::npos)
            break;
        names.push_back(name);
    }
    std::vector<bool> mappable(256, false);
    {
        std::map<std::string_view, unsigned> last;
        for (unsigned s = 1; s <= names.size(); ++s)
            last[names[s - 1]] = s;
        for (const auto& [name, s] : last)
            mappable[s] = true;
    }

    size_t dropped = 0;
    std::string out;
    out.resize(kHeaderSize);
    for (const std::string_view name : names)
        qiv::putCString(out, name);

    auto putVocList = [&](const C_CandiPool::Vocs& vocs) {
        for (const C_TailoVoc& v : vocs) {
            if ((v.type != 'H' && v.type != 'T') || !storable(v.word)) {
                ++dropped;
                continue;
            }
            qiv::putU8(out, static_cast<uint8_t>(v.type));
            qiv::putU32(out, v.stamp.count);
            qiv::putU32(out, v.stamp.time);
            qiv::putF32(out, v.weight);
            qiv::putCString(out, v.word);
            for (const uint8_t c : v.cats) {
                if (mappable[c])
                    qiv::putU8(out, c);
                else
                    ++dropped;
            }
            qiv::putU8(out, 0);
        }
        qiv::putU8(out, 0);
    };

    uint32_t nWords = 0, nVocs = 0, nHant = 0;
    for (const auto& [key, vocs] : m_candiPool.keys2words) {
        if (!storable(key)) {
            dropped += vocs.size() + 1;
            continue;
        }
        qiv::putCString(out, key);
        putVocList(vocs);
        ++nWords;
    }
    for (const auto& [keys, vocs] : m_candiPool.karr2vocs) {
        const bool ok = keys.size() >= 2 && std::all_of(keys.begin(), keys.end(), [](auto& k) {
                            return storable(k) && k.find('-') == std::string::npos;
                        });
        if (!ok) {
            dropped += vocs.size() + 1;
            continue;
        }
        qiv::putCString(out, joinKeys(keys));
        putVocList(vocs);
        ++nVocs;
    }
    for (const auto& [han, readings] : m_candiPool.hant2tailo) {
        if (!storable(han)) {
            dropped += readings.size() + 1;
            continue;
        }
        qiv::putCString(out, han);
        for (const std::string& t : readings) {
            if (storable(t))
                qiv::putCString(out, t);
            else
                ++dropped;
        }
        qiv::putU8(out, 0);
        ++nHant;
    }

    // Rules whose category elements cannot be mapped back would stop the rule read on reload.
    auto rulesMappable = [&](const C_Rule& rule) {
        return std::all_of(rule.begin(), rule.end(), [&](const C_RuleElem& e) {
            const auto* c = std::get_if<C_CatPat>(&e.pattern);
            return !c || mappable[c->cat];
        });
    };
    const bool allRulesMappable =
        std::all_of(m_rules.rules().begin(), m_rules.rules().end(),
                    [&](const auto& entry) { return rulesMappable(*entry.second.rule); });
    uint32_t nRules = 0;
    if (allRulesMappable) {
        m_rules.write(out);
        nRules = static_cast<uint32_t>(m_rules.size());
    } else {
        C_RuleTable kept(sysCats);
        for (const auto& [key, entry] : m_rules.rules()) {
            if (rulesMappable(*entry.rule))
                kept.insertRule(std::make_shared<C_Rule>(*entry.rule), entry.stamp);
            else
                ++dropped;
        }
        kept.write(out);
        nRules = static_cast<uint32_t>(kept.size());
    }

    std::string header;
    qiv::putU32(header, kFileMark);
    qiv::putU32(header, static_cast<uint32_t>(names.size()));
    qiv::putU32(header, nWords);
    qiv::putU32(header, nVocs);
    qiv::putU32(header, nHant);
    qiv::putU32(header, nRules);
    out.replace(0, kHeaderSize, header);

    if (dropped > 0)
        logger().log(2, "Left out of user DB " + pathText(m_path) + " " + num(dropped) +
                            " items the file cannot hold");
    return out;
}

bool C_UserTailoMixin::writeSaveBytes_(platform::C_OutFile& out, std::string_view bytes) {
    return out.write(bytes);
}

bool C_UserTailoMixin::keepDamagedCopy_() {
    if (m_loaded || m_damagedCopyKept)
        return true;
    const std::string where = pathText(m_path);
    std::error_code ec;
    if (!std::filesystem::exists(m_path, ec) && !ec) {
        m_damagedCopyKept = true;  // nothing left to keep
        return true;
    }
    std::ifstream in(m_path, std::ios::binary);
    std::string bytes;
    if (in)
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::filesystem::path bad = m_path;
    bad += ".bad";
    platform::C_OutFile out;
    if (!in.good() && !in.eof()) {
        logger().log(1, "Failed to read damaged user DB file " + where + " to keep a copy");
        return false;
    }
    if (!out.open(bad) || !out.write(bytes) || !out.flushToDisk() || !out.close()) {
        logger().log(1, "Failed to keep a copy of damaged user DB file " + where + " as " +
                            pathText(bad) + ": " + out.error());
        return false;
    }
    m_damagedCopyKept = true;
    logger().log(3, "Kept a copy of damaged user DB file " + where + " as " + pathText(bad));
    return true;
}

bool C_UserTailoMixin::writeReplacing_(const std::string& bytes) {
    const C_ReplaceResult r = writeReplacing(
        m_path, [this, &bytes](platform::C_OutFile& out) { return writeSaveBytes_(out, bytes); });
    if (r.ok())
        return true;
    const std::string where = pathText(m_path);
    if (r.m_failedStep == RS_OPEN)
        logger().log(1, "Failed to open user DB file " + where + " for saving");
    else
        logger().log(1, "Failed to write user DB file " + where +
                            (r.m_error.empty() ? std::string() : ": " + r.m_error));
    return false;
}

bool C_UserTailoMixin::save() {
    std::lock_guard lock(m_lock);
    const std::string where = pathText(m_path);
    if (!m_dirty || m_path.empty()) {
        logger().log(4, "No change or no path to save user DB: " + where);
        return false;
    }
    const std::string bytes = serialize_();

    const std::filesystem::path parent = m_path.parent_path();
    if (!parent.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(parent, ec);
        if (ec) {
            logger().log(1, "Failed to create the folder of user DB file " + where + ": " +
                                ec.message());
            return false;
        }
    }
    if (!keepDamagedCopy_() || !writeReplacing_(bytes))
        return false;
    logger().log(3, "Changes of user DB saved to " + where);
    m_dirty = false;
    return true;
}

}  // namespace kov
