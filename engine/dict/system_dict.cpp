#include "engine/dict/system_dict.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <type_traits>
#include <variant>
#include <vector>

#include "engine/dict/file_layouts.h"
#include "engine/dict/key_lookup.h"
#include "engine/text/code_points.h"
#include "engine/text/key_pattern.h"
#include "engine/text/syllable_match.h"
#include "engine/text/tailo.h"
#include "qiv/utf8.h"

namespace kov {

namespace {

// The system dictionary's source types; a reading reported twice is kept once.
constexpr C_LayerSources kSystemSources{ST_SYS_EXACT, ST_SYS_WILDCARD, ST_SYS_PREFIX, true};

// The most initials whose blocks C_TailoDB keeps; the blocks of others are walked each time.
constexpr size_t kMaxInitials = 64;

// Calls f(type, weight, cats, word) for each record of the vocabulary list at offset list,
// until the type byte 0. A record that runs off the end of the file ends the list; a record of
// a type other than 'T' and 'H' is damage, passed over (its fields are laid out as any other's),
// so that a damaged file costs that record and never fails a lookup.
template <class F>
void forEachRecord(const qiv::C_ByteCursor& bytes, uint64_t list, F&& f) {
    auto c = bytes.at(list);
    if (!c)
        return;
    for (;;) {
        uint8_t type;
        if (!c->readU8(type) || type == tailo_layout::kListEnd)
            return;
        int8_t weight;
        std::string_view cats, word;
        if (!c->readI8(weight) || !c->readCString(cats) || !c->readCString(word))
            return;
        if (type != tailo_layout::kWordRecord && type != tailo_layout::kHanRecord)
            continue;
        f(char(type), weight,
          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(cats.data()), cats.size()),
          word);
    }
}

// Every initial, as a plain island's keys spell it: the strings of one to three letters that
// isInitial accepts.
const std::vector<std::string>& allInitials() {
    static const std::vector<std::string> initials = [] {
        std::vector<std::string> out;
        std::string s;
        const auto grow = [&](const auto& self, size_t length) -> void {
            if (!s.empty() && isInitial(s))
                out.push_back(s);
            if (s.size() == length)
                return;
            for (char c = 'a'; c <= 'z'; ++c) {
                s.push_back(c);
                self(self, length);
                s.pop_back();
            }
        };
        grow(grow, 3);
        return out;
    }();
    return initials;
}

// Section C's keys copied in entry order into one block, so that the walk's many searches
// read a few hundred kilobytes instead of the keys spread over the pool; built on first use
// (or by prepareLookups()). Left empty (the walk then reads the keys in place) when the copies
// would outgrow the file, as entries of a hostile file may all point at one long key.
// With the copies, when the keys are in order and every byte is below '\x7F', the end of each
// block the walk follows:
// for each key and each length that ends a run of "-" in it, the first entry from that key
// on that is not less than those keys followed by '\x7F'.
// A key that opens its block also keeps, for each distinct key after those keys, the first
// entry of the block that holds it (next keys [m_nextFirst, the next run's m_nextFirst)).
// A run is kept in 12 bytes: there is one for every hyphen run of every key.
struct C_KarrRun {
    static constexpr uint32_t kMaxLength = 0x7FFFFFFF;
    uint32_t m_blockEnd = 0;
    uint32_t m_nextFirst = 0;
    uint32_t m_length : 31 = 0;
    uint32_t m_opens : 1 = 0;
};
static_assert(sizeof(C_KarrRun) == 12);
struct C_KarrNext {
    unsigned char m_key;
    uint32_t m_first;
};

}  // namespace

// One section of the loaded file, read in place: entry i's offset lies in the section's offset
// array, its key at that offset in the pool and its vocabulary list right after the key. Load
// checked that the arrays lie inside the file and every offset inside the pool.
class C_TailoDB::C_Section {
public:
    C_Section(const qiv::C_ByteCursor& bytes, size_t pool, size_t arrays, size_t count)
        : m_bytes(bytes), m_pool(pool), m_arrays(arrays), m_count(count) {}

    size_t count() const { return m_count; }
    // Absolute file offset of entry i.
    uint64_t entryAt(size_t i) const {
        // The offset is read in place (little-endian) without a bounds check per read.
        const unsigned char* p = m_bytes.data() + m_arrays + 4 * size_t(i);
        return m_pool +
               (uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24);
    }
    // The entry's leading string (bounded by the file end when its NUL is missing).
    std::string_view entryKey(size_t i) const {
        const uint64_t at = entryAt(i);
        if (auto s = m_bytes.cStringAt(at))
            return *s;
        return m_bytes.bytesAt(at, m_bytes.size() - at).value_or(std::string_view());
    }
    size_t lowerBound(size_t first, size_t last, std::string_view key) const;
    // The entry equal to key, or nullopt.
    std::optional<size_t> find(std::string_view key) const {
        const size_t e = lowerBound(0, m_count, key);
        if (e == m_count || entryKey(e) != key)
            return std::nullopt;
        return e;
    }
    // File offset of the vocabulary list behind entry i.
    uint64_t vocListAt(size_t i) const { return entryAt(i) + entryKey(i).size() + 1; }

private:
    const qiv::C_ByteCursor& m_bytes;  // the whole file
    size_t m_pool;
    size_t m_arrays;
    size_t m_count;
};

size_t C_TailoDB::C_Section::lowerBound(size_t first, size_t last, std::string_view key) const {
    // Compares in place, byte by byte up to the entry's NUL (or the file's end): the entry is
    // less when it differs by a smaller unsigned byte or ends first.
    const unsigned char* base = m_bytes.data();
    const size_t size = m_bytes.size();
    const auto entryLess = [&](uint64_t at) {
        const unsigned char* e = base + at;
        const size_t avail = size - size_t(at);
        for (size_t j = 0;; ++j) {
            const bool ended = j >= avail || e[j] == 0;
            if (j == key.size())
                return false;
            if (ended)
                return true;
            const unsigned char k = static_cast<unsigned char>(key[j]);
            if (e[j] != k)
                return e[j] < k;
        }
    };
    while (first < last) {
        const size_t mid = first + (last - first) / 2;
        if (entryLess(entryAt(mid)))
            first = mid + 1;
        else
            last = mid;
    }
    return first;
}

C_TailoDB::C_Section C_TailoDB::section_(size_t s) const {
    return C_Section(m_bytes, m_pool, m_sectionArrays[s], m_sectionCounts[s]);
}

struct C_TailoDB::C_KarrKeys {
    std::string m_text;
    std::vector<uint32_t> m_starts;  // key i is m_text[m_starts[i], m_starts[i + 1])
    std::vector<uint32_t>
        m_runFirst;  // the runs of key i are m_runs[m_runFirst[i], m_runFirst[i + 1])
    std::vector<C_KarrRun> m_runs;
    // The next keys of the opening runs, grouped by run, and the first entry of each.
    std::vector<unsigned char> m_nextKeys;
    std::vector<uint32_t> m_nextEntries;

    // The next keys of run r: [nextFirst(r), nextFirst(r + 1)).
    uint32_t nextFirst(size_t r) const {
        return r < m_runs.size() ? m_runs[r].m_nextFirst : uint32_t(m_nextKeys.size());
    }

    // Finds the runs and next keys above (keys in order only).
    void indexRuns();
};

struct C_TailoDB::C_Index {
    std::once_flag m_longestTonedOnce;
    size_t m_longestToned = 0;
    std::once_flag m_karrKeysOnce;
    C_KarrKeys m_karrKeys;
    // The blocks of the initials asked for after load; the lock guards the map only, its
    // entries never change once made.
    std::mutex m_initialsLock;
    std::map<std::string, std::unique_ptr<const C_KarrInitialBlocks>, std::less<>> m_initialBlocks;
};

// Section C as the key-array walk sees it.
class C_TailoDB::C_KarrSection final : public I_KarrEntries {
public:
    explicit C_KarrSection(const C_TailoDB& db)
        : m_db(db), m_section(db.section_(2)), m_keys(db.karrKeys_()) {}
    size_t karrCount() const override { return m_section.count(); }
    std::string_view karrKey(size_t i) const override {
        if (m_keys.m_starts.empty())
            return m_section.entryKey(i);
        return std::string_view(m_keys.m_text)
            .substr(m_keys.m_starts[i], m_keys.m_starts[i + 1] - m_keys.m_starts[i]);
    }
    size_t karrLowerBound(size_t first, size_t last, std::string_view key) const override {
        if (m_keys.m_starts.empty())
            return m_section.lowerBound(first, last, key);
        // The copies compare as the keys in place do: bytes unsigned, a prefix first.
        while (first < last) {
            const size_t mid = first + (last - first) / 2;
            if (karrKeyLess(karrKey(mid), key))
                first = mid + 1;
            else
                last = mid;
        }
        return first;
    }
    size_t karrBlockEnd(size_t i, size_t last, size_t length) const override {
        if (!m_keys.m_runFirst.empty())
            for (uint32_t r = m_keys.m_runFirst[i]; r < m_keys.m_runFirst[i + 1]; ++r)
                if (m_keys.m_runs[r].m_length == length)
                    return std::min<size_t>(m_keys.m_runs[r].m_blockEnd, last);
        return I_KarrEntries::karrBlockEnd(i, last, length);
    }
    size_t karrNextLowerBound(size_t i, size_t last, size_t length, char next) const override {
        if (!m_keys.m_runFirst.empty())
            for (uint32_t r = m_keys.m_runFirst[i]; r < m_keys.m_runFirst[i + 1]; ++r) {
                const C_KarrRun& run = m_keys.m_runs[r];
                if (run.m_length != length || !run.m_opens)
                    continue;
                // The block's keys after the shared ones ascend: the first that is not less
                // than next starts the entries sought (the block's end when none).
                size_t found = run.m_blockEnd;
                for (uint32_t x = run.m_nextFirst, end = m_keys.nextFirst(r + 1); x < end; ++x)
                    if (m_keys.m_nextKeys[x] >= static_cast<unsigned char>(next)) {
                        found = m_keys.m_nextEntries[x];
                        break;
                    }
                return std::min(found, last);
            }
        return I_KarrEntries::karrNextLowerBound(i, last, length, next);
    }
    const C_KarrInitialBlocks* initialBlocks(std::string_view initial) const override {
        return m_db.initialBlocks_(initial, *this);
    }
    void visitKarrRecords(size_t i, const FC_KarrRecordVisitor& visit) const override {
        m_db.visitRecords_(m_section.vocListAt(i), visit);
    }

private:
    const C_TailoDB& m_db;
    const C_Section m_section;
    const C_KarrKeys& m_keys;
};

// Section A or B as the key lookups scan it.
class C_TailoDB::C_KeySection final : public I_KeyEntries {
public:
    C_KeySection(const C_TailoDB& db, size_t section) : m_db(db), m_section(section) {}
    void scanKeys(std::string_view from, const FC_KeyEntryVisitor& visit) const override {
        const C_Section sec = m_db.section_(m_section);
        C_Entry entry(m_db, sec);
        for (size_t i = sec.lowerBound(0, sec.count(), from); i < sec.count(); ++i) {
            entry.m_index = i;
            entry.m_key = sec.entryKey(i);
            if (!visit(entry))
                return;
        }
    }
    size_t longestKey() const override {
        return m_section == 0 ? m_db.longestTonedKey_() : SIZE_MAX;
    }

private:
    class C_Entry final : public I_KeyEntry {
    public:
        C_Entry(const C_TailoDB& db, const C_Section& sec) : m_db(db), m_sec(sec) {}
        std::string_view key() const override { return m_key; }
        void visitRecords(const FC_VocRecordVisitor& visit) const override {
            m_db.visitRecords_(m_sec.vocListAt(m_index), visit);
        }
        size_t m_index = 0;
        std::string_view m_key;

    private:
        const C_TailoDB& m_db;
        const C_Section& m_sec;
    };

    const C_TailoDB& m_db;
    size_t m_section;
};

// The dictionary's tables as the island lookups read them.
class C_TailoDB::C_Tables final : public I_LayerTables {
public:
    explicit C_Tables(const C_TailoDB& db) : m_db(db), m_toned(db, 0) {}
    const I_KeyEntries& syllableKeys() const override { return m_toned; }
    void walkKarr(const C_VisitConsts& consts, const C_StdIsle& isle, size_t item, E_KarrMode mode,
                  const FC_CandidateSink& sink) const override {
        m_db.walk_(consts, isle, item, mode, sink);
    }

private:
    const C_TailoDB& m_db;
    const C_KeySection m_toned;
};

const C_KarrInitialBlocks* C_TailoDB::initialBlocks_(std::string_view initial,
                                                     const I_KarrEntries& section) const {
    std::lock_guard lock(m_index->m_initialsLock);
    auto& kept = m_index->m_initialBlocks;
    if (const auto it = kept.find(initial); it != kept.end())
        return it->second.get();
    if (kept.size() >= kMaxInitials)
        return nullptr;
    auto blocks = std::make_unique<const C_KarrInitialBlocks>(findInitialBlocks(section, initial));
    return kept.emplace(std::string(initial), std::move(blocks)).first->second.get();
}

void C_TailoDB::C_KarrKeys::indexRuns() {
    C_KarrKeys& keys = *this;
    const size_t n = keys.m_starts.size() - 1;
    const auto key = [&keys](size_t i) {
        return std::string_view(keys.m_text)
            .substr(keys.m_starts[i], keys.m_starts[i + 1] - keys.m_starts[i]);
    };
    // A block is then the run of entries that share its keys: that holds for keys in order
    // whose bytes all lie below the bound's '\x7F'. Otherwise the walk searches.
    const auto high = [](char c) { return static_cast<unsigned char>(c) >= 0x7F; };
    if (std::any_of(keys.m_text.begin(), keys.m_text.end(), high))
        return;
    // One pass in entry order. The blocks that hold the current entry nest, one per length that
    // ends a run of "-"; each is open from the first entry with those keys until an entry shares
    // fewer of them. Its runs wait in a chain (linked through m_nextFirst until the end) for the
    // entry that ends it.
    struct C_Open {
        uint32_t m_length;
        uint32_t m_waiting;  // the last run of the chain
        uint32_t m_opening;  // the run that opened the block (kNone when its first entry had none)
    };
    constexpr uint32_t kNone = UINT32_MAX;
    std::vector<C_Open> open;
    // Each hyphen run of the copies makes one run and at most one next key.
    const size_t hyphens = size_t(std::count(keys.m_text.begin(), keys.m_text.end(), '-'));
    std::vector<uint32_t> first{0};
    first.reserve(n + 1);
    std::vector<C_KarrRun> runs;
    runs.reserve(hyphens);
    // The next keys in entry order, each with its run; grouped by run at the end.
    std::vector<std::pair<uint32_t, C_KarrNext>> nexts;
    nexts.reserve(hyphens);
    const auto close = [&](uint32_t end) {
        for (uint32_t r = open.back().m_waiting; r != kNone; r = runs[r].m_nextFirst)
            runs[r].m_blockEnd = end;
        open.pop_back();
    };
    for (size_t i = 0; i < n; ++i) {
        const std::string_view k = key(i);
        // How many leading keys the entry shares with the one before; keys out of order get no
        // index.
        uint32_t l = 0;
        if (i > 0) {
            const std::string_view before = key(i - 1);
            const size_t m = std::min(before.size(), k.size());
            while (l < m && before[l] == k[l])
                ++l;
            if (l < m ? static_cast<unsigned char>(k[l]) < static_cast<unsigned char>(before[l])
                      : k.size() < before.size())
                return;
        }
        while (!open.empty() && open.back().m_length > l)
            close(uint32_t(i));
        // A block this entry goes on in whose length the two entries share: a new key after them.
        for (const C_Open& o : open)
            if (o.m_length == l && o.m_opening != kNone && k.size() > l)
                nexts.push_back(
                    {o.m_opening, C_KarrNext{static_cast<unsigned char>(k[l]), uint32_t(i)}});
        for (size_t dash = k.find('-'); dash != std::string_view::npos;) {
            const size_t afterRun = std::min(k.find_first_not_of('-', dash), k.size());
            if (afterRun > C_KarrRun::kMaxLength)
                return;
            const uint32_t r = uint32_t(runs.size());
            C_KarrRun run;
            run.m_blockEnd = uint32_t(n);
            run.m_length = uint32_t(afterRun);
            run.m_opens = i == 0 || l < afterRun;
            auto at = std::find_if(open.begin(), open.end(),
                                   [&](const C_Open& o) { return o.m_length >= afterRun; });
            if (at == open.end() || at->m_length != afterRun)
                at = open.insert(at, C_Open{uint32_t(afterRun), kNone, run.m_opens ? r : kNone});
            run.m_nextFirst = at->m_waiting;
            at->m_waiting = r;
            runs.push_back(run);
            if (run.m_opens && afterRun < k.size())
                nexts.push_back(
                    {r, C_KarrNext{static_cast<unsigned char>(k[afterRun]), uint32_t(i)}});
            dash = afterRun < k.size() ? k.find('-', afterRun) : std::string_view::npos;
        }
        first.push_back(uint32_t(runs.size()));
    }
    while (!open.empty())
        close(uint32_t(n));
    // Each opening run's next keys, together and in entry order.
    std::vector<uint32_t> count(runs.size() + 1, 0);
    for (const auto& x : nexts)
        ++count[x.first + 1];
    for (size_t r = 0; r < runs.size(); ++r) {
        count[r + 1] += count[r];
        runs[r].m_nextFirst = count[r];
    }
    std::vector<unsigned char> nextKeys(nexts.size());
    std::vector<uint32_t> nextEntries(nexts.size());
    for (const auto& x : nexts) {
        const uint32_t at = count[x.first]++;
        nextKeys[at] = x.second.m_key;
        nextEntries[at] = x.second.m_first;
    }
    keys.m_runFirst = std::move(first);
    keys.m_runs = std::move(runs);
    keys.m_nextKeys = std::move(nextKeys);
    keys.m_nextEntries = std::move(nextEntries);
}

const C_TailoDB::C_KarrKeys& C_TailoDB::karrKeys_() const {
    std::call_once(m_index->m_karrKeysOnce, [this] {
        const C_Section c = section_(2);
        C_KarrKeys keys;
        keys.m_starts.reserve(c.count() + 1);
        keys.m_starts.push_back(0);
        const size_t cap = std::min<size_t>(m_bytes.size(), 0xFFFFFFFFu);
        // The keys lie in the pool, so their copies take no more than it does: one allocation
        // instead of a copy of everything so far at each growth.
        keys.m_text.reserve(std::min(cap, m_bytes.size() - m_pool));
        for (size_t i = 0; i < c.count(); ++i) {
            const std::string_view key = c.entryKey(i);
            if (key.size() > cap - keys.m_text.size())
                return;  // stays empty: read in place
            keys.m_text.append(key);
            keys.m_starts.push_back(uint32_t(keys.m_text.size()));
        }
        if (c.count() == 0)
            return;
        m_index->m_karrKeys = std::move(keys);
        m_index->m_karrKeys.indexRuns();
    });
    return m_index->m_karrKeys;
}

C_TailoDB::C_TailoDB(const std::filesystem::path& tailoTab, const C_TailoCats& cats,
                     const I_TailoPolicy& policy)
    : m_file(tailoTab),
      m_cats(cats),
      m_policy(policy),
      m_rules(cats),
      m_index(std::make_unique<C_Index>()) {
    if (!load_() && m_file.view())
        return;  // a bad file gets no ad hoc rule
    // What the lookups read besides the file is built on first use or by prepareLookups(), so
    // that loading maps the file and checks its offsets and nothing more.
    auto rule = std::make_shared<C_Rule>(3);
    const char* texts[3] = {"\xE8\xBC\xB8", "\xE5\x85\xA5", "\xE6\xB3\x95"};  // 輸 入 法
    for (size_t i = 0; i < 3; ++i) {
        C_WordPat word;
        word.text = texts[i];
        word.count = 1;
        (*rule)[i].pattern = std::move(word);
    }
    (*rule)[2].weight = 6.0f;
    if (!m_rules.addRule(rule))
        m_policy.log(1, "Fail to add ad hoc rule: \xE8\xBC\xB8/\xE5\x85\xA5/\xE6\xB3\x95:+6");
}

C_TailoDB::~C_TailoDB() = default;

void C_TailoDB::prepareLookups() const {
    if (!loaded())
        return;
    karrKeys_();
    longestTonedKey_();
    const C_KarrSection section(*this);
    for (std::string_view initial : allInitials())
        initialBlocks_(initial, section);
    // Copying section C's keys read the pool through; the lookups read only a few of its pages
    // again (the offsets, the searched keys of sections A and B, the records of what they find),
    // so the rest need not stay in the process's memory.
    m_file.releaseResident();
}

bool C_TailoDB::load_() {
    using qiv::E_FileError;
    using namespace tailo_layout;
    if (!m_file.view()) {
        m_error = m_file.error();
        return false;
    }
    const qiv::C_ByteCursor c = m_file.bytes();
    const auto mark = c.u16At(kMarkAt), version = c.u16At(kVersionAt);
    if (!mark || !version) {
        m_error = {E_FileError::DAMAGED, "Truncated dictionary file"};
        return false;
    }
    if (*mark != kMark || *version != kVersion) {
        m_error = {E_FileError::FORMAT, "Reverse BOM"};
        return false;
    }
    if (c.size() < kHeaderSize) {
        m_error = {E_FileError::DAMAGED, "Truncated dictionary file"};
        return false;
    }
    if (!m_cats.header() || m_cats.hash() != c.u32At(kCatsHashAt)) {
        m_error = {E_FileError::FORMAT, "Mismatched dependent hash"};
        return false;
    }
    static_assert(kSectionCount == std::extent_v<decltype(m_sectionCounts)>);
    uint64_t total = 0;
    size_t arrays[kSectionCount];
    size_t counts[kSectionCount];
    for (size_t s = 0; s < kSectionCount; ++s) {
        const uint64_t n = *c.u32At(kSectionCountsAt + 4 * s);
        arrays[s] = size_t(kOffsetsAt + 4 * total);
        total += n;
        if (!c.fits(kOffsetsAt, 4 * total)) {
            m_error = {E_FileError::DAMAGED, "Truncated dictionary file"};
            return false;
        }
        counts[s] = size_t(n);
    }
    const size_t pool = size_t(poolAt(size_t(total)));
    const size_t poolSize = c.size() - pool;
    for (uint64_t i = 0; i < total; ++i) {
        if (*c.u32At(kOffsetsAt + 4 * i) >= poolSize) {
            m_error = {E_FileError::DAMAGED, "Truncated dictionary file"};
            return false;
        }
    }
    std::copy(std::begin(arrays), std::end(arrays), std::begin(m_sectionArrays));
    std::copy(std::begin(counts), std::end(counts), std::begin(m_sectionCounts));
    m_pool = pool;
    m_bytes = c;
    m_header = m_file.view();
    return true;
}

void C_TailoDB::visitRecords_(uint64_t list, const FC_VocRecordVisitor& visit) const {
    forEachRecord(
        m_bytes, list,
        [&](char type, int8_t weight, std::span<const uint8_t> cats, std::string_view word) {
            std::vector<std::string> readings;
            if (type == 'T')
                readings.emplace_back(word);
            else
                voc2tailos(word, [&](std::string_view r) { readings.emplace_back(r); });
            visit(C_VocRecord{type == 'H' ? word : std::string_view(), readings, cats,
                              float(weight)});
        });
}

void C_TailoDB::visitKeyVocs(size_t section, std::string_view key,
                             const FC_VocListVisitor& visitor) const {
    if (section > 2)
        return;
    const C_Section sec = section_(section);
    const auto e = sec.find(key);
    if (!e)
        return;
    visitRecords_(sec.vocListAt(*e), [&](const C_VocRecord& rec) {
        std::vector<std::string_view> views(rec.m_readings.begin(), rec.m_readings.end());
        visitor(rec.m_text, views, rec.m_cats, char(static_cast<int8_t>(rec.m_weight)));
    });
}

void C_TailoDB::addKeyVocs(C_CompoUnit& unit, std::string_view key, bool capital) const {
    addExactKeyWords(C_KeySection(*this, 1), kSystemSources, unit, key, capital);
}

size_t C_TailoDB::longestTonedKey_() const {
    std::call_once(m_index->m_longestTonedOnce, [this] {
        const C_Section a = section_(0);
        for (size_t i = 0; i < a.count(); ++i)
            m_index->m_longestToned = std::max(m_index->m_longestToned, a.entryKey(i).size());
    });
    return m_index->m_longestToned;
}

void C_TailoDB::addPrefixWords(C_CompoUnit& unit, std::string_view key) const {
    kov::addPrefixWords(C_KeySection(*this, 0), kSystemSources, unit, key);
}

bool C_TailoDB::addWildcardWords(C_CompoUnit& unit, std::span<const size_t> spans,
                                 std::string_view prefix, const C_WildcardMatcher& matcher) const {
    return kov::addWildcardWords(C_KeySection(*this, 0), kSystemSources, unit, spans, prefix,
                                 matcher);
}

bool C_TailoDB::wholeReadings_(std::string_view han, const FC_ReadingSink& reading) const {
    const C_Section d = section_(3);
    const auto e = d.find(han);
    if (!e)
        return false;
    auto c = m_bytes.at(d.vocListAt(*e));
    std::string_view r;
    while (c && c->readCString(r) && !r.empty())
        reading(r);
    return true;
}

void C_TailoDB::voc2tailos(std::string_view hanWord, const FC_ReadingSink& reading) const {
    if (hanWord.empty() || wholeReadings_(hanWord, reading))
        return;
    // Compose the readings of the word's characters, one reading per character.
    std::vector<std::vector<std::string>> pieces;
    bool complete = true;
    visitIDC(hanWord, [&](std::string_view unit) {
        std::vector<std::string> rs;
        if (!wholeReadings_(unit, [&](std::string_view r) { rs.emplace_back(r); }) || rs.empty()) {
            complete = false;
            return false;
        }
        pieces.push_back(std::move(rs));
        return true;
    });
    if (!complete || pieces.empty())
        return;
    size_t combos = 1;
    for (const auto& p : pieces)
        combos =
            p.size() > kMaxComposedReadings / combos ? kMaxComposedReadings + 1 : combos * p.size();
    if (combos > kMaxComposedReadings)
        m_policy.log(2, "Readings composed for \"" + std::string(hanWord) + "\" capped at " +
                            std::to_string(kMaxComposedReadings));
    std::vector<size_t> at(pieces.size(), 0);
    for (size_t n = 0; n < kMaxComposedReadings; ++n) {
        std::string joined = pieces[0][at[0]];
        for (size_t i = 1; i < pieces.size(); ++i)
            joined += "-" + pieces[i][at[i]];
        reading(joined);
        // The last character's reading changes fastest.
        size_t i = pieces.size();
        while (i > 0 && ++at[i - 1] == pieces[i - 1].size())
            at[--i] = 0;
        if (i == 0)
            return;
    }
}

void C_TailoDB::walk_(const C_VisitConsts& consts, const C_StdIsle& isle, size_t item,
                      E_KarrMode mode, const FC_CandidateSink& sink) const {
    if (!m_header)
        return;
    const C_KarrSection section(*this);
    C_StdKarrVocsRecurseConsts rc(consts, isle, sink, mode, m_policy.karrThreshold(),
                                  kSystemSources.m_inexact, kSystemSources.m_prefix);
    rc.m_memoKey = &m_sectionArrays[2];  // section C of this dictionary
    walkKarrVocs(section, rc, item);
}

void C_TailoDB::getIslandVocs(const C_VisitConsts& consts, const C_StdIsle& isle,
                              const FC_UnitAt& unitAt) const {
    addIslandVocs(C_Tables(*this), kSystemSources, this, consts, isle, unitAt);
}

void C_TailoDB::getRelatedChoices(const C_VisitConsts& consts, const C_StdIsle& isle,
                                  const FC_RelatedSink& sink) const {
    addRelatedChoices(C_Tables(*this), consts, isle, sink);
}

void C_TailoDB::visitCatRules(std::span<const uint8_t> cats, const FC_RuleVisitor& visit) const {
    m_rules.visitCatRules(cats, visit);
}

void C_TailoDB::visitWordRules(const std::string& text, const std::vector<std::string>& keys,
                               const FC_RuleVisitor& visit) const {
    m_rules.visitWordRules(text, keys, visit);
}

}  // namespace kov
