#pragma once
// Weighted rules and the table that keeps them. A rule is a short pattern over neighbouring
// composition units (a gap, a word, or a category per position) with a weight on each position;
// when it fits a stretch of candidates, the weights raise or lower them in the ranking (the
// matching is the rule runner's). A C_RuleTable stores each rule once under a canonical key,
// indexes it by word or by category, merges repeated rules by adding their weights, counts hits
// and trims itself to a size limit. It has no lock: its owning dictionary serialises every call.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <istream>
#include <map>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "engine/dict/usage_stamp.h"
#include "qiv/file_error.h"

namespace qiv {
class C_ByteCursor;
}

namespace kov {

class I_TailoCats;

// Kind 0: a position with no unit, or a unit without a sourced candidate.
struct C_GapPat {
    bool operator==(const C_GapPat&) const = default;
};
// Kind 1: a candidate by its text, its syllable keys and its count field.
struct C_WordPat {
    std::string text;
    std::vector<std::string> keys;
    uint16_t count = 0;
    bool operator==(const C_WordPat&) const = default;
};
// Kind 2: a candidate whose category is cat or lies under it, its count within [min, max].
struct C_CatPat {
    uint8_t cat = 0;
    uint16_t min = 0;
    uint16_t max = 0;
    bool operator==(const C_CatPat&) const = default;
};

// The pattern of one position; the variant index is the kind number of keys and files.
using C_RulePat = std::variant<C_GapPat, C_WordPat, C_CatPat>;
enum E_RulePatKind : size_t { RULE_GAP = 0, RULE_WORD = 1, RULE_CAT = 2 };

struct C_RuleElem {
    C_RulePat pattern;
    float weight = 0;
};

// A rule: its elements in order, shared by the table, its indexes (weakly) and callers.
using C_Rule = std::vector<C_RuleElem>;
using C_RulePtr = std::shared_ptr<C_Rule>;

// The visit callback: a rule and the index of the element under which it was found (the same
// alias as the dictionary interface's, engine/dict/tailo_db.h).
using FC_RuleVisitor = std::function<void(const std::vector<C_RuleElem>&, size_t)>;

// The canonical key of a rule: per element the kind byte, then for a word the count (u16 LE),
// the text and a NUL, each key and a NUL, and one more NUL; for a category the cat byte, min
// and max (u16 LE). Weights are not part of it. Throws std::logic_error
// "Unknown C_RulePat index: <kind>" for an element of no valid kind.
std::string ruleKey(const C_Rule& rule);
// The rule (all weights 0) of a key made by ruleKey; an empty key gives an empty rule. Throws
// std::logic_error for an unknown kind byte and for a key cut short.
C_Rule parseRulePats(const std::string& key);

// True when the rule's word texts and keys can be stored and keyed: no NUL inside a text or a
// key, and no empty key (a key list ends at an empty key).
bool isStorableRule(const C_Rule& rule);

class C_RuleTable {
public:
    struct C_Entry {
        C_RulePtr rule;
        C_UsageStamp stamp;
    };
    using C_Rules = std::map<std::string, C_Entry>;

    explicit C_RuleTable(const I_TailoCats& cats);
    ~C_RuleTable();
    C_RuleTable(const C_RuleTable&);
    C_RuleTable& operator=(const C_RuleTable&);
    C_RuleTable(C_RuleTable&&) noexcept;
    C_RuleTable& operator=(C_RuleTable&&) noexcept;

    // Adds a rule, or merges it into the stored rule of the same key by adding its weights:
    // a merge whose weights all come out 0 erases the rule; a merge that added some non-zero
    // weight renews the stamp (count 0, time now). A new rule is indexed and stored with a new
    // stamp. False for a null rule and for one that cannot be indexed or stored.
    bool addRule(C_RulePtr rule);
    // Stores a rule under its key with the given stamp, unless the key is present (false) or the
    // rule cannot be indexed or stored (false). Used to put back a rule with its old usage.
    bool insertRule(C_RulePtr rule, C_UsageStamp stamp);
    // Files the rule under its first word element (each key, or "" without keys), else under its
    // first category element. False for an empty rule or one made of gaps only.
    bool indexRule(const C_RulePtr& rule);
    // One more hit: count + 1, time now; returns the new count, or 0 for an unknown key.
    uint32_t countHit(const std::string& key);
    // Erases the rule of this key and hands it over; empty when absent.
    C_RulePtr takeRule(const std::string& key);
    // Removes the rule and its index entries.
    void eraseRule(C_Rules::iterator entry);

    // Calls visit(rule, element index) once per live rule filed under text with the key "" or
    // with any of the keys.
    void visitWordRules(const std::string& text, const std::vector<std::string>& keys,
                        const FC_RuleVisitor& visit) const;
    // Calls visit once per live rule filed under any non-zero category of cats or under one of
    // its ancestors.
    void visitCatRules(std::span<const uint8_t> cats, const FC_RuleVisitor& visit) const;

    // Erases the rules of lowest usage score (count * 600 + time, 32-bit) until at most limit
    // remain; among equal scores the first in key order goes first. Returns how many went.
    size_t purge(size_t limit);

    // The rules section of a dictionary file: every rule in key order as a record (stamp,
    // element records, 0xFF). No count: the file header holds it.
    void write(std::ostream& out) const;
    void write(std::string& out) const;
    // Reads n rule records; categoryMap maps the stored category index to the current one, 0
    // for a category that the file names but the category table lacks: a rule with such a
    // category is left out and counted in *dropped. Stops with a DAMAGED error naming the
    // record and the cause at the first short or damaged record, an unknown element kind or a
    // rule of gaps only (the rules read before it stay). The stream version leaves the stream
    // just after the bytes it took when it can seek.
    qiv::C_FileError read(std::istream& in, size_t n, const std::map<uint8_t, uint8_t>& categoryMap,
                          size_t* dropped = nullptr);
    qiv::C_FileError read(qiv::C_ByteCursor& in, size_t n,
                          const std::map<uint8_t, uint8_t>& categoryMap, size_t* dropped = nullptr);

    size_t size() const { return m_rules.size(); }
    bool empty() const { return m_rules.empty(); }
    const C_Rules& rules() const { return m_rules; }
    const C_Entry* find(const std::string& key) const;
    const I_TailoCats& cats() const { return *m_cats; }

private:
    struct C_IndexRef;  // where an index files a rule (rule.cpp)
    using C_Refs = std::vector<C_IndexRef>;

    // Index the rule then store it under key; the key is known to be absent.
    bool indexAndStore_(const std::string& key, C_RulePtr rule, C_UsageStamp stamp);
    // Removes from refs the first entry of rule (and expired entries met on the way).
    static bool unfile_(C_Refs& refs, const C_Rule* rule);

    const I_TailoCats* m_cats;
    C_Rules m_rules;
    std::map<std::string, std::map<std::string, C_Refs>> m_wordIndex;
    std::map<uint8_t, C_Refs> m_catIndex;
};

}  // namespace kov
