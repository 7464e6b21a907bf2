#pragma once
// Test helpers for the system dictionary: "tailo.tab" bytes written by C_TailoWriter from a
// description (damaged variants are patched into the writer's bytes), a loaded C_TailoDB over
// such bytes in a temporary folder, and a small builder of typed keys, islands and units for
// island lookups and the key-array walk.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dict/candidate.h"
#include "engine/dict/isle.h"
#include "engine/dict/system_dict.h"
#include "engine/dict/tailo_db.h"
#include "engine/dict/tailo_cats.h"
#include "tests/support/capture_policy.h"
#include "tests/support/cats_fixture.h"
#include "tests/support/temp_folder.h"

namespace kov::test {

struct C_TailoFixture {
    struct C_Rec {
        char type = 'T';
        int8_t weight = 0;
        std::vector<uint8_t> cats;
        std::string word;
    };
    using T_Section = std::map<std::string, std::vector<C_Rec>>;  // key order = file order

    uint16_t bom = 0xFEFF;
    uint16_t version = 0x0110;
    uint32_t hash = 0x12345678;  // the sample category table's hash
    T_Section a, b, c;           // toned keys, exact keys, key arrays
    std::map<std::string, std::vector<std::string>> d;  // Han words and their readings

    // The writer's file of this description: header, the four offset arrays, the pool. A bom
    // or version other than the writer's is patched in, and so is a record type other than
    // 'T' and 'H' (the writer refuses those). Throws std::invalid_argument for a description
    // the writer would refuse or store differently (an empty or non-ASCII key, a key without
    // records, a repeated record, category or reading, an empty word or one holding a NUL).
    std::string bytes() const;
    size_t entryCount() const { return a.size() + b.size() + c.size() + d.size(); }
    size_t poolAt() const { return 0x20 + 4 * entryCount(); }
};

// Record shorthands.
C_TailoFixture::C_Rec tRec(std::string word, int8_t weight = 0, std::vector<uint8_t> cats = {});
C_TailoFixture::C_Rec hRec(std::string word, int8_t weight = 0, std::vector<uint8_t> cats = {});

// A system dictionary loaded from bytes, with the sample category table (or the given bytes).
class C_SystemDictFixture {
public:
    explicit C_SystemDictFixture(std::string_view tailoBytes, std::string_view catsBytes = sampleCatsBytes());
    ~C_SystemDictFixture();

    static std::string sampleCatsBytes() { return sampleCats().bytes(); }

    C_TempFolder m_folder;
    C_CapturePolicy m_policy;
    std::unique_ptr<C_TailoCats> m_cats;
    std::unique_ptr<C_TailoDB> m_db;
};

// Typed keys with their islands and units, as composition would hand them to a dictionary.
class C_TypedLine {
public:
    // keys as typed (upper case marks a capital position).
    explicit C_TypedLine(std::string_view typed, bool doctrine = true);

    std::shared_ptr<const C_StdIsle> plain(size_t start, size_t length);
    std::shared_ptr<const C_StdIsle> syllable(size_t start, size_t length, bool hasInitial, bool loneN = false);
    std::shared_ptr<const C_StdIsle> wildcard(size_t start, size_t length);
    void addHyphenRun(size_t start, size_t end) { m_hyphenRuns.emplace_back(start, end); }

    C_VisitConsts consts() const;
    C_CompoUnit& unit(size_t pos) { return *m_units.at(pos); }
    FC_UnitAt unitAt();

    const std::string& keys() const { return m_keys; }

private:
    std::shared_ptr<const C_StdIsle> add_(std::shared_ptr<C_StdIsle> isle);

    std::string m_keys;
    std::vector<size_t> m_capitals;
    std::vector<C_IsleList> m_isles;
    std::vector<std::pair<size_t, size_t>> m_hyphenRuns;
    std::vector<std::unique_ptr<C_CompoUnit>> m_units;
    bool m_doctrine;
};

// How typeIslands types syllable keys: in full, without their tone digits, or by initials.
enum class E_KeyTyping : uint8_t { FULL, TONELESS, INITIALS };

// Types the syllable keys (e.g. {"tai5", "uan5"}) the given way, one island per syllable (a
// syllable island, or a plain one for initials), asks db for the first island's vocabulary and
// returns the candidates of the first unit that span all the typed keys. Empty when a key has
// nothing left to type that way.
std::vector<C_Candidate> typeIslands(const I_TailoDB& db, const std::vector<std::string>& keys, E_KeyTyping how);

}  // namespace kov::test
