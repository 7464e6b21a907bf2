// Loading and saving the tables of a user-layer dictionary ("user-db.tab", "learn-db.tab"),
// laid out as user_db_layout (engine/dict/file_layouts.h) describes.
#include <algorithm>
#include <exception>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <system_error>
#include <span>

#include "engine/dict/file_layouts.h"
#include "engine/dict/mapped_file.h"
#include "engine/dict/replacing_write.h"
#include "engine/dict/user_db_layer.h"
#include "engine/dict/user_db_readings.h"
#include "engine/text/key_pattern.h"
#include "engine/text/tailo.h"
#include "qiv/byte_cursor.h"
#include "qiv/exception_text.h"
#include "qiv/utf8.h"

namespace kov {

namespace {

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
        const auto range = std::equal_range(m_entries.begin(), m_entries.end(), han, C_Less());
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

std::string num(uint64_t n) { return std::to_string(n); }

// How reading a voc record ended.
enum class E_VocRead {
    DONE,          // a record was read
    END,           // the NUL that ends the list
    CUT,           // the file ends inside the record
    UNKNOWN_TYPE,  // a type byte other than 'H', 'T' and the NUL
    UNNAMED_CAT,   // a category byte that the file's category names do not cover
};

struct C_VocReadResult {
    E_VocRead result = E_VocRead::DONE;
    uint8_t byte = 0;  // the type or category byte of UNKNOWN_TYPE and UNNAMED_CAT
};

// The categories of one load: file index to system index (0 for a name that the category
// table lacks; such categories are left out of the records and count as dropped), and what
// was dropped.
struct C_LoadCats {
    C_CatMap map;
    std::map<uint8_t, size_t> droppedUses;  // file index -> records that named it
    std::vector<std::string> fileNames;     // file category i + 1 at [i]
};

std::string causeText(const C_VocReadResult& r) {
    switch (r.result) {
        case E_VocRead::CUT:
            return "record cut short";
        case E_VocRead::UNKNOWN_TYPE:
            return "unknown record type '" + qiv::escapeCodePoint(r.byte) + "'";
        case E_VocRead::UNNAMED_CAT:
            return "category " + std::to_string(r.byte) + " that the file does not name";
        default:
            return {};
    }
}

C_VocReadResult readVoc(qiv::C_ByteCursor& in, C_LoadCats& cats, C_TailoVoc& voc) {
    uint8_t type = 0;
    if (!in.readU8(type))
        return {E_VocRead::CUT};
    if (type == 0)
        return {E_VocRead::END};
    if (type != 'H' && type != 'T')
        return {E_VocRead::UNKNOWN_TYPE, type};
    voc.type = static_cast<char>(type);
    float weight = 0;
    std::string_view word;
    if (!in.readU32(voc.stamp.count) || !in.readU32(voc.stamp.time) || !in.readF32(weight) ||
        !in.readCString(word))
        return {E_VocRead::CUT};
    voc.weight = weight;
    voc.word.assign(word);
    for (;;) {
        uint8_t c = 0;
        if (!in.readU8(c))
            return {E_VocRead::CUT};
        if (c == 0)
            return {E_VocRead::DONE};
        const auto m = cats.map.find(c);
        if (m == cats.map.end())
            return {E_VocRead::UNNAMED_CAT, c};
        if (m->second == 0)
            ++cats.droppedUses[c];
        else
            voc.cats.push_back(m->second);
    }
}

// A key or word the file can hold: not empty, no NUL (the file ends each one with a NUL).
bool storable(std::string_view s) { return !s.empty() && s.find('\0') == std::string_view::npos; }
// A key array is stored joined with "-": two keys or more, none holding a "-".
bool storableKey(const std::string& key) { return storable(key); }
bool storableKey(const std::vector<std::string>& keys) {
    return keys.size() >= 2 && std::all_of(keys.begin(), keys.end(), [](const std::string& k) {
               return storable(k) && k.find('-') == std::string::npos;
           });
}

// Reads a voc list into vocs (a record equal in type and word to one already there is
// dropped, and so is one without a word: it can be neither typed nor saved); returns what
// ended it, END being the normal end.
C_VocReadResult readVocList(qiv::C_ByteCursor& in, C_LoadCats& cats, C_CandiPool::Vocs& vocs) {
    for (;;) {
        C_TailoVoc voc{{}, {}, 0.0f, 0, C_UsageStamp{}};  // the stamp is read, not taken now
        const C_VocReadResult res = readVoc(in, cats, voc);
        if (res.result != E_VocRead::DONE)
            return res;
        const bool known = std::any_of(vocs.begin(), vocs.end(), [&](const C_TailoVoc& v) {
            return v.type == voc.type && v.word == voc.word;
        });
        if (!known && !voc.word.empty())
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

// Reads the voc list of one row into table[key]; a row left empty, or under a key that could
// not be typed or saved (an empty key), is not kept; the 'H' records of one that is are noted
// with its key. Returns the read result that ended the list.
template <class Table>
C_VocReadResult readRow(qiv::C_ByteCursor& in, C_LoadCats& cats, Table& table,
                        const typename Table::key_type& key, C_HanKeys& hanKeys) {
    const auto row = rowOf(table, key);
    const C_VocReadResult res = readVocList(in, cats, row->second);
    if (row->second.empty() || !storableKey(key))
        table.erase(row);
    else
        noteHanKeys(hanKeys, row->second, C_Bikey(&row->first));
    return res;
}

// The whole file; false when it cannot be opened or read to its end.
bool readWholeFile(const std::filesystem::path& path, std::string& bytes) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    bytes.clear();
    for (size_t got = 0;;) {
        bytes.resize(std::max<size_t>(bytes.size() * 2, 1 << 16));
        file.read(bytes.data() + got, static_cast<std::streamsize>(bytes.size() - got));
        got += static_cast<size_t>(file.gcount());
        if (!file) {
            bytes.resize(got);
            return !file.bad();
        }
    }
}

// Where the copies of a damaged file go: "<name>.bad", then "<name>.bad2" to "<name>.bad9".
// The first copy is never replaced, so the oldest damage found stays whatever happens later;
// when every slot is taken, a new copy replaces the oldest of ".bad2" to ".bad9", so that the
// save it comes before is never refused for want of a slot.
constexpr unsigned kDamagedCopySlots = 9;

std::filesystem::path damagedCopyPath(const std::filesystem::path& path, unsigned slot) {
    std::filesystem::path copy = path;
    copy += ".bad";
    if (slot > 1)
        copy += std::to_string(slot);
    return copy;
}

}  // namespace

struct C_UserTailoMixin::C_Lock {
    std::recursive_mutex m_mutex;
};

C_UserTailoMixin::C_TablesLock::C_TablesLock(const C_UserTailoMixin& layer) : m_layer(layer) {
    m_layer.m_lock->m_mutex.lock();
}

C_UserTailoMixin::C_TablesLock::~C_TablesLock() { m_layer.m_lock->m_mutex.unlock(); }

C_UserTailoMixin::C_UserTailoMixin(const std::filesystem::path& dbFile, const I_TailoDB& lower)
    : m_rules(lower.cats()), m_lower(lower), m_lock(std::make_unique<C_Lock>()), m_path(dbFile) {
    const I_TailoCats& cats = lower.cats();
    m_candiPool.catUnder = [&cats](uint8_t a, uint8_t b) { return cats.isCatUnder(a, b); };
    m_error = load_();
}

C_UserTailoMixin::~C_UserTailoMixin() {
    try {
        save();
    } catch (const std::exception& e) {
        try {
            logger().log(
                1, "Failed to save user DB " + pathText(m_path) + ": " + qiv::exceptionText(e));
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
    const C_TablesLock lock(*this);
    return m_dirty;
}

qiv::C_FileError C_UserTailoMixin::load_() {
    const I_TailoPolicy& log = logger();
    const std::string where = pathText(m_path);
    using qiv::E_FileError;
    const auto fail = [](E_FileError kind, std::string text) {
        return qiv::C_FileError(kind, std::move(text));
    };
    if (m_path.empty()) {
        log.log(3, "Empty user DB path");
        return {};
    }
    // A side file lies beside the file only when a save ended before it replaced the file (the
    // process was killed or the machine stopped): that save never answered, the file holds the
    // last one that did, and the next save writes the side file anew.
    removeSideFile(m_path);
    // Only a file that is surely absent makes an empty layer: one that cannot even be tested
    // may hold the user's words, and must not be replaced by an empty save.
    std::error_code ec;
    const std::filesystem::file_status st = std::filesystem::status(m_path, ec);
    if (ec && st.type() != std::filesystem::file_type::not_found)
        return fail(E_FileError::UNREADABLE,
                    "Failed to test user DB file " + where + ": " + ec.message());
    if (st.type() == std::filesystem::file_type::not_found) {
        log.log(3, "Missing user DB file " + where);
        return {};
    }
    if (st.type() != std::filesystem::file_type::regular)
        return fail(E_FileError::UNREADABLE, "User DB path " + where + " is not a file");
    std::string bytes;
    if (!readWholeFile(m_path, bytes))
        return fail(E_FileError::UNREADABLE, "Failed to read user DB file " + where);
    qiv::C_ByteCursor in(bytes);

    uint32_t mark = 0, ncats = 0, nWords = 0, nVocs = 0, nHant = 0, nRules = 0;
    if (!in.readU32(mark) || !in.readU32(ncats) || !in.readU32(nWords) || !in.readU32(nVocs) ||
        !in.readU32(nHant) || !in.readU32(nRules))
        return fail(E_FileError::DAMAGED, "Failed to read user DB header");
    if (mark != user_db_layout::kMark)
        return fail(E_FileError::FORMAT, "Invalid user DB format version or BOM");
    if (ncats > kMaxCats)
        return fail(E_FileError::DAMAGED, "Too many cats: " + num(ncats));

    C_LoadCats cats;
    std::map<std::string, uint8_t, std::less<>> nameToFileCat;
    for (uint32_t i = 1; i <= ncats; ++i) {
        std::string_view name;
        if (!in.readCString(name))
            return fail(E_FileError::DAMAGED, "Missing category name of " + num(i));
        nameToFileCat[std::string(name)] = static_cast<uint8_t>(i);
        cats.fileNames.emplace_back(name);
        cats.map[static_cast<uint8_t>(i)] = 0;  // named by the file; unknown until found below
    }
    const I_TailoCats& sysCats = this->cats();
    for (unsigned s = 1; s <= kMaxCats; ++s) {
        const std::string_view name = sysCats.catName(static_cast<uint8_t>(s));
        if (name.empty())
            break;
        const auto f = nameToFileCat.find(name);
        if (f != nameToFileCat.end())
            cats.map[f->second] = static_cast<uint8_t>(s);
    }
    // Records and rules that name a category the table lacks are kept without it; the log
    // says once per load which categories went.
    size_t droppedRules = 0;
    auto logDropped = [&] {
        if (cats.droppedUses.empty() && droppedRules == 0)
            return;
        std::string text =
            "Categories unknown to the category table dropped from user DB " + where + ":";
        for (const auto& [fileCat, uses] : cats.droppedUses)
            text += " \"" + cats.fileNames[fileCat - 1u] + "\" (" + num(uses) + " records)";
        if (droppedRules > 0)
            text += "; rules left out: " + num(droppedRules);
        log.log(2, text);
    };

    C_HanKeys hanKeys;
    C_ReadingKeys readingKeys;
    auto rowError = [&](const char* table, uint32_t r, uint32_t n, const std::string& cause) {
        logDropped();
        return fail(E_FileError::DAMAGED, std::string("Failed to read ") + table + " " + num(r) +
                                              "/" + num(n) + ": " + cause);
    };
    for (uint32_t r = 0; r < nWords; ++r) {
        std::string_view keyText;
        if (!in.readCString(keyText))
            return rowError("keys2words word", r, nWords, "the file ends");
        const C_VocReadResult res =
            readRow(in, cats, m_candiPool.keys2words, std::string(keyText), hanKeys);
        if (res.result != E_VocRead::END)
            return rowError("keys2words word", r, nWords, causeText(res));
    }

    for (uint32_t r = 0; r < nVocs; ++r) {
        std::string_view joined;
        if (!in.readCString(joined))
            return rowError("karr2vocs voc", r, nVocs, "the file ends");
        const std::vector<std::string> keys = split(joined, "-");
        if (keys.size() < 2)
            return rowError("karr2vocs voc", r, nVocs,
                            "fewer than two keys in \"" + std::string(joined) + "\"");
        const C_VocReadResult res = readRow(in, cats, m_candiPool.karr2vocs, keys, hanKeys);
        if (res.result != E_VocRead::END)
            return rowError("karr2vocs voc", r, nVocs, causeText(res));
    }

    hanKeys.sort();
    for (uint32_t r = 0; r < nHant; ++r) {
        std::string_view hanText;
        if (!in.readCString(hanText))
            return rowError("hant2tailo row", r, nHant, "the file ends");
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

    qiv::C_FileError rulesError = m_rules.read(in, nRules, cats.map, &droppedRules);
    logDropped();
    if (!rulesError.ok())
        return rulesError;
    log.log(3, "Loaded user DB from " + where);
    return {};
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
    out.resize(user_db_layout::kHeaderSize);
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
        if (!storableKey(key)) {
            dropped += vocs.size() + 1;
            continue;
        }
        qiv::putCString(out, key);
        putVocList(vocs);
        ++nWords;
    }
    for (const auto& [keys, vocs] : m_candiPool.karr2vocs) {
        if (!storableKey(keys)) {
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
    qiv::putU32(header, user_db_layout::kMark);
    qiv::putU32(header, static_cast<uint32_t>(names.size()));
    qiv::putU32(header, nWords);
    qiv::putU32(header, nVocs);
    qiv::putU32(header, nHant);
    qiv::putU32(header, nRules);
    out.replace(0, user_db_layout::kHeaderSize, header);

    if (dropped > 0)
        logger().log(2, "Left out of user DB " + pathText(m_path) + " " + num(dropped) +
                            " items the file cannot hold");
    return out;
}

bool C_UserTailoMixin::writeSaveBytes_(platform::C_OutFile& out, std::string_view bytes) {
    return out.write(bytes);
}

qiv::C_FileError C_UserTailoMixin::keepDamagedCopy_() {
    using qiv::E_FileError;
    if (m_error.ok() || m_damagedCopyKept)
        return {};
    const std::string where = pathText(m_path);
    std::error_code ec;
    if (!std::filesystem::exists(m_path, ec) && !ec) {
        m_damagedCopyKept = true;  // nothing left to keep
        return {};
    }
    std::string bytes;
    if (!readWholeFile(m_path, bytes))
        return {E_FileError::UNREADABLE,
                "Failed to read damaged user DB file " + where + " to keep a copy"};
    // Every slot is looked at before one is chosen: the same bytes may sit past a free slot.
    unsigned freeSlot = 0;
    unsigned oldestSlot = 0;
    std::filesystem::file_time_type oldestTime;
    for (unsigned slot = 1; slot <= kDamagedCopySlots; ++slot) {
        const std::filesystem::path bad = damagedCopyPath(m_path, slot);
        const bool taken = std::filesystem::exists(bad, ec);
        if (ec)
            return {E_FileError::UNREADABLE,
                    "Failed to test " + pathText(bad) + ": " + ec.message()};
        if (!taken) {
            if (freeSlot == 0)
                freeSlot = slot;
            continue;
        }
        std::string kept;
        if (readWholeFile(bad, kept) && kept == bytes) {
            m_damagedCopyKept = true;  // this very file was kept before
            return {};
        }
        if (slot == 1 || !std::filesystem::is_regular_file(bad, ec))
            continue;  // the first copy stays; what is no file is not written over
        // A time that cannot be read counts as the oldest: that copy is the first given up.
        const std::filesystem::file_time_type time = std::filesystem::last_write_time(bad, ec);
        const std::filesystem::file_time_type when =
            ec ? std::filesystem::file_time_type::min() : time;
        if (oldestSlot == 0 || when < oldestTime) {
            oldestSlot = slot;
            oldestTime = when;
        }
    }
    const unsigned slot = freeSlot != 0 ? freeSlot : oldestSlot;
    if (slot == 0)
        return {E_FileError::WRITE, "Not saving user DB file " + where +
                                        ": no copy slot for its damaged content can be written (" +
                                        pathText(damagedCopyPath(m_path, 1)) + " and on)"};
    const std::filesystem::path bad = damagedCopyPath(m_path, slot);
    if (const qiv::C_FileError failure = writeFileReplacing(bad, bytes); !failure.ok())
        return {E_FileError::WRITE, "Failed to keep a copy of damaged user DB file " + where +
                                        " as " + pathText(bad) + ": " + failure.text};
    m_damagedCopyKept = true;
    logger().log(3, "Kept a copy of damaged user DB file " + where + " as " + pathText(bad) +
                        (freeSlot != 0 ? "" : ", in place of its oldest copy"));
    return {};
}

qiv::C_FileError C_UserTailoMixin::writeReplacing_(const std::string& bytes) {
    const C_ReplaceResult r = writeReplacing(
        m_path, [this, &bytes](platform::C_OutFile& out) { return writeSaveBytes_(out, bytes); });
    if (r.ok())
        return {};
    const std::string where = pathText(m_path);
    if (r.m_failedStep == RS_OPEN)
        return {qiv::E_FileError::WRITE, "Failed to open user DB file " + where + " for saving"};
    return {qiv::E_FileError::WRITE, "Failed to write user DB file " + where +
                                         (r.m_error.empty() ? std::string() : ": " + r.m_error)};
}

qiv::C_FileError C_UserTailoMixin::save_(const std::string& bytes) {
    using qiv::E_FileError;
    const std::string where = pathText(m_path);
    if (m_error.kind == E_FileError::UNREADABLE) {
        // What the file holds is unknown: writing over it could lose every word in it.
        return {E_FileError::UNREADABLE, "Not saving user DB file " + where +
                                             ": it could not be read (" + m_error.text + ")"};
    }
    const std::filesystem::path parent = m_path.parent_path();
    if (!parent.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(parent, ec);
        if (ec)
            return {E_FileError::WRITE,
                    "Failed to create the folder of user DB file " + where + ": " + ec.message()};
    }
    if (qiv::C_FileError e = keepDamagedCopy_(); !e.ok())
        return e;
    return writeReplacing_(bytes);
}

bool C_UserTailoMixin::save() {
    const C_TablesLock lock(*this);
    const std::string where = pathText(m_path);
    if (!m_dirty || m_path.empty()) {
        logger().log(4, "No change or no path to save user DB: " + where);
        return false;
    }
    const std::string bytes =
        m_error.kind == qiv::E_FileError::UNREADABLE ? std::string() : serialize_();
    if (const qiv::C_FileError e = save_(bytes); !e.ok()) {
        logger().log(1, e.text);
        return false;
    }
    logger().log(3, "Changes of user DB saved to " + where);
    m_dirty = false;
    return true;
}

}  // namespace kov
