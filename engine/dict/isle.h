#pragma once
// Islands and the per-visit constants that composition hands to the dictionaries.
//
// Composition cuts the key string into islands: runs of keys that may spell a syllable, an
// initial or a wildcard pattern. An island is shared (dictionaries and the related-choice cache
// keep it); the visit constants live only during one visit. Cutting the key string into islands
// is the input line's job, not this header's.

#include <compare>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

namespace kov {

enum E_IsleKind : uint8_t {
    ISLE_PLAIN = 0,     // keys without payload (an initial typed alone)
    ISLE_SYLLABLE = 1,  // a syllable, possibly without its tone digit
    ISLE_WILDCARD = 2,  // a pattern with "?", "*" or the tone wildcard "0"
};

// Payload of a syllable island.
struct C_IsleSyllable {
    std::optional<char> m_toneDigit;  // the island's last key when it is '0'..'9'
    bool m_hasInitial = false;        // the syllable pattern matched an initial
    bool m_loneN = false;             // the one-key island made for a lone n

    bool operator==(const C_IsleSyllable&) const = default;
};

// One item of a wildcard island; positions count keys within the island.
struct C_IsleItem {
    std::string m_piece;        // regex piece built from the item's keys
    uint16_t m_start = 0;       // position of the item's first key
    uint16_t m_literalEnd = 0;  // position of its first wildcard or "0", else its end
    bool m_hasStar = false;     // the piece holds a "*"

    bool operator==(const C_IsleItem&) const = default;
};

// Payload of a wildcard island: its items in key order. The islands that the cut makes from one
// wildcard match (the match and the patterns that end before each later letter) are prefixes of
// one another, so they share one table of items and each sees as many as it covers.
class C_IsleWildcard {
public:
    C_IsleWildcard() = default;
    // All the items.
    explicit C_IsleWildcard(std::vector<C_IsleItem> items);
    // The first count items of whole (count is cut to the items whole has).
    C_IsleWildcard(const C_IsleWildcard& whole, size_t count);

    std::span<const C_IsleItem> items() const noexcept;
    // The first item at or after i whose piece holds a wildcard ("?", "*" or "0"); the number
    // of items when none does.
    size_t nextWildcardItem(size_t i) const noexcept;
    // True when an item at or after i holds a "*".
    bool starFrom(size_t i) const noexcept;
    // The items of the longest island that shares this one's items (this island's items are
    // the first of them), and a name for that table: a lookup may work out once, for the
    // longest, what holds for every island of the table.
    std::span<const C_IsleItem> sharedItems() const noexcept;
    const void* sharedId() const noexcept { return m_table.get(); }

    // The same items.
    bool operator==(const C_IsleWildcard& other) const noexcept;

private:
    struct C_Table {
        std::vector<C_IsleItem> m_items;
        std::vector<uint32_t> m_nextWildcard;  // per item, as nextWildcardItem() over all items
        std::vector<uint32_t> m_nextStar;      // per item, the first item at or after it with a "*"
    };
    std::shared_ptr<const C_Table> m_table;
    size_t m_count = 0;
};

// One island: start (key position), length (keys) and the payload of its kind (the variant's
// index is the kind).
struct C_StdIsle {
    size_t m_start = 0;
    size_t m_length = 0;
    std::variant<std::monostate, C_IsleSyllable, C_IsleWildcard> m_ext;

    E_IsleKind kind() const noexcept { return E_IsleKind(m_ext.index()); }
    size_t end() const noexcept { return m_start + m_length; }
    // The payload of the kind, or null for another kind.
    const C_IsleSyllable* syllable() const noexcept { return std::get_if<C_IsleSyllable>(&m_ext); }
    const C_IsleWildcard* wildcard() const noexcept { return std::get_if<C_IsleWildcard>(&m_ext); }
    // Items of a wildcard island; empty for the other kinds.
    std::span<const C_IsleItem> items() const noexcept;

    // Two islands of one start are the same island when their lengths and kinds are equal.
    bool sameAs(const C_StdIsle& other) const noexcept {
        return m_length == other.m_length && m_ext.index() == other.m_ext.index();
    }

    // Where the literal keys of a wildcard lookup from item i end (a position within the
    // island): the literal end of item i, carried on through each later item that starts at it;
    // nullopt when the literal keys reach the island's length. Throws std::out_of_range when i
    // is no item.
    std::optional<size_t> gapAfterItem(size_t i) const;

    static std::shared_ptr<C_StdIsle> makePlain(size_t start, size_t length);
    static std::shared_ptr<C_StdIsle> makeSyllable(size_t start, size_t length,
                                                   C_IsleSyllable syllable);
    // A wildcard island whose items are built from keys (its own keys, lower case). Throws
    // std::length_error for more keys than an item position can hold.
    static std::shared_ptr<C_StdIsle> makeWildcard(size_t start, std::string_view keys);
    // A wildcard island of the same start as whole and the given length, made of the keys whole
    // was made of (keys: those of whole's start on, at least length of them). It shares whole's
    // items when they break where it ends.
    static std::shared_ptr<C_StdIsle> makeWildcardPrefix(const C_StdIsle& whole, size_t length,
                                                         std::string_view keys);
};

// Builds the items of a wildcard island from its keys: a lower-case letter other than "r"
// starts a new item unless the piece being built is empty; "?" becomes "[aeioumngptkhr]", "*"
// "[aeioumngptkhr]+" (has star), "0" "\d"; any other key stands for itself. Throws
// std::length_error for more keys than an item position can hold.
std::vector<C_IsleItem> buildWildcardItems(std::string_view keys);

using C_IslePtr = std::shared_ptr<const C_StdIsle>;
using C_IsleList = std::vector<C_IslePtr>;  // the islands of one start, in the order added

// What the dictionaries are given for one visit; built afresh from the line for each visit.
//
// The accessors below also note how far a query looked: into the keys (with their capitals and
// hyphen runs, readEnd()) and into the island lists (isleReadEnd()). A query gives the same words
// as long as the keys before its readEnd() and the island lists before its isleReadEnd() stay
// the same: composition uses this to keep the words of units that an edit further on cannot
// have changed. Dictionaries read the keys and islands through these accessors, not through the
// fields.
struct C_VisitConsts {
    std::string_view m_keys;             // one byte per element before the caret, lower case;
                                         // "\t" for a no-cross mark, "\a" for a raw-key-only unit
    std::span<const size_t> m_capitals;  // ascending positions whose key is upper case
    std::span<const C_IsleList> m_islesByStart;  // one list per key position
    size_t m_length = 0;                         // the key string's length
    std::vector<std::pair<size_t, size_t>>
        m_hyphenRuns;         // (start, end) of skipped "-" runs, ascending
    bool m_doctrine = false;  // island-doctrine flag

    // The islands that start at pos; empty past the lists.
    std::span<const C_IslePtr> islesAt(size_t pos) const noexcept;
    // True when the key at pos was typed upper case.
    bool isCapital(size_t pos) const noexcept;
    // The end of the hyphen run that starts at pos, or pos itself when none starts there.
    size_t skipHyphenRun(size_t pos) const noexcept;
    // The key at pos; '\0' at and past the end of the key string.
    char keyAt(size_t pos) const noexcept;

    // One past the furthest key position whose key, capital or hyphen run was read through the
    // accessors since the last resetReadEnd(); a read at or past the end of the key string
    // counts too (what it found depends on where the keys end).
    size_t readEnd() const noexcept { return m_readEnd; }
    // The same for the island lists (islesAt()).
    size_t isleReadEnd() const noexcept { return m_isleReadEnd; }
    void resetReadEnd() const noexcept {
        m_readEnd = 0;
        m_isleReadEnd = 0;
    }
    // Notes a read of the key position pos.
    void noteRead(size_t pos) const noexcept {
        if (pos >= m_readEnd)
            m_readEnd = pos + 1;
    }
    // Notes a read of the island list of pos.
    void noteIsleRead(size_t pos) const noexcept {
        if (pos >= m_isleReadEnd)
            m_isleReadEnd = pos + 1;
    }

    // True the first time in this visit that a dictionary layer asks for the lookups of the
    // wildcard items from key position `from` to the island's end `to`. Wildcard islands that
    // start at different positions share their items from a common item start on (items are
    // cut from left to right), and so the words those items find: the lookups of such a tail
    // are made once per visit instead of once per island, and a layer stops at the first item
    // whose tail it has looked up (the later items were looked up with it). This keeps a long
    // line with a wildcard from costing the cube of its length.
    bool firstItemLookup(const void* layer, size_t from, size_t to) const;

    // What a dictionary layer worked out once and keeps for the rest of the visit, under a key
    // of its choosing (the layer decides what it keeps, and whether that still holds).
    class C_Memo {
    public:
        virtual ~C_Memo() = default;
    };
    struct C_MemoKey {
        const void* m_owner = nullptr;
        const void* m_what = nullptr;
        size_t m_values[5] = {};
        bool operator==(const C_MemoKey&) const = default;
    };
    // Null when nothing was kept under key.
    C_Memo* memo(const C_MemoKey& key) const;
    C_Memo& keepMemo(const C_MemoKey& key, std::unique_ptr<C_Memo> memo) const;

private:
    // Per layer, the tails looked up: a bit per start, in one list per end.
    struct C_LayerLookups {
        const void* m_layer = nullptr;
        std::vector<std::vector<uint64_t>> m_byEnd;
    };
    struct C_MemoHash {
        size_t operator()(const C_MemoKey& key) const noexcept;
    };

    mutable size_t m_readEnd = 0;
    mutable size_t m_isleReadEnd = 0;
    mutable std::vector<C_LayerLookups> m_lookups;
    mutable std::unordered_map<C_MemoKey, std::unique_ptr<C_Memo>, C_MemoHash> m_memos;
};

// One typed key position of a vocabulary walk: an island, an index (a key offset for kinds 0 and
// 1, an item index for kind 2) and the number of syllables the position covers.
struct C_IlKeyPos {
    const C_StdIsle* m_isle = nullptr;
    size_t m_index = 0;
    size_t m_count = 1;
};

// The position's key offset within its island: the item's start for a wildcard island (throws
// std::out_of_range for an index outside the items), else the index itself.
size_t ilKeyStart(const C_IlKeyPos& pos);

// Whether a dictionary word may end at position i of the typed key string: always with the
// doctrine off or at the end; never before a key that can continue a syllable; after digits only
// when at most one digit stands right before i, and exactly one when the key at i is a digit.
bool isKeyBoundary(const C_VisitConsts& consts, size_t i) noexcept;

}  // namespace kov
