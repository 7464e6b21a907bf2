#pragma once
// The system dictionary: the shipped, read-only vocabulary in "tailo.tab", mapped whole and
// searched in place by binary search. Four sections: toned word keys (A), exact keys (B), key
// arrays (C, walked by the key-array walk) and Han words with their readings (D). It is the
// bottom of the dictionary stack and never changes after construction, so any thread may query
// it without a lock. Not responsible for writing the file (C_TailoWriter does) or for ranking.
//
// Loading never throws: a file that is missing, has the wrong mark or version, names another
// category table or does not fit its own counts and offsets leaves the dictionary empty, and
// error() (or the mapped file's error) says why. Every read of the mapped bytes is bounded by
// the file's end; a record that runs off the end ends its list.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "engine/dict/karr_walk.h"
#include "engine/dict/mapped_file.h"
#include "engine/dict/rule.h"
#include "engine/dict/tailo_cats.h"
#include "engine/dict/tailo_db.h"
#include "engine/dict/wildcard_matcher.h"
#include "qiv/byte_cursor.h"

namespace kov {

class C_TailoDB : public virtual I_TailoDB, public I_VocRevision {
public:
    // Readings composed from the characters of a Han word are capped at this many.
    static constexpr size_t kMaxComposedReadings = 256;

    C_TailoDB(const std::filesystem::path& tailoTab, const C_TailoCats& cats,
              const I_TailoPolicy& policy);
    ~C_TailoDB() override;
    C_TailoDB(const C_TailoDB&) = delete;
    C_TailoDB& operator=(const C_TailoDB&) = delete;

    // I_TailoDB
    void getRelatedChoices(const C_VisitConsts& consts, const C_StdIsle& isle,
                           const FC_RelatedSink& sink) const override;
    const I_TailoCats& cats() const override { return m_cats; }
    void getIslandVocs(const C_VisitConsts& consts, const C_StdIsle& isle,
                       const FC_UnitAt& unitAt) const override;
    void addKeyVocs(C_CompoUnit& unit, std::string_view key, bool capital) const override;
    void visitCatRules(std::span<const uint8_t> cats, const FC_RuleVisitor& visit) const override;
    void visitWordRules(const std::string& text, const std::vector<std::string>& keys,
                        const FC_RuleVisitor& visit) const override;
    const I_TailoPolicy& logger() const override { return m_policy; }
    void voc2tailos(std::string_view hanWord, const FC_ReadingSink& reading) const override;
    // I_VocRevision: the words never change after construction.
    std::optional<uint64_t> vocRevision() const override { return 0; }

    // NONE when the file loaded; else the mapped file's error (UNREADABLE), FORMAT "Reverse
    // BOM" or "Mismatched dependent hash", or DAMAGED "Truncated dictionary file".
    const qiv::C_FileError& error() const { return m_error; }
    bool loaded() const { return m_header != nullptr; }
    const C_MappedFile& file() const { return m_file; }
    const C_RuleTable& rules() const { return m_rules; }

    // Builds now what the lookups would otherwise build on first use: section C's key copies
    // with their block index, the blocks of every initial typed alone and the length of the
    // longest key of section A (a few milliseconds for a large dictionary). Loading does none of
    // it, so that a program can start serving first and prepare meanwhile; safe to call from
    // any thread, at any time, more than once.
    void prepareLookups() const;

    // Section sizes (0 when not loaded): A toned keys, B exact keys, C key arrays, D Han words.
    size_t tonedCount() const { return m_sectionCounts[0]; }
    size_t exactCount() const { return m_sectionCounts[1]; }
    size_t karrCount() const { return m_sectionCounts[2]; }
    size_t hanCount() const { return m_sectionCounts[3]; }

    // Toneless and one-syllable lookups in section A (keys ending in "0" take any tone digit);
    // see addPrefixWords in key_lookup.h.
    void addPrefixWords(C_CompoUnit& unit, std::string_view key) const;
    // Wildcard lookups in section A over the keys that start with prefix; see addWildcardWords
    // in key_lookup.h for the spans.
    bool addWildcardWords(C_CompoUnit& unit, std::span<const size_t> spans, std::string_view prefix,
                          const C_WildcardMatcher& matcher) const;
    // Calls visitor once per record filed under key in a section (0 A, 1 B, 2 C).
    void visitKeyVocs(size_t section, std::string_view key, const FC_VocListVisitor& visitor) const;

private:
    class C_Section;  // one section's entries, read in place (system_dict.cpp)
    class C_KarrSection;
    class C_KeySection;
    class C_Tables;

    // Section s (0 A, 1 B, 2 C, 3 D) of the loaded file.
    C_Section section_(size_t s) const;
    // The records of the vocabulary list at list ('H' readings from voc2tailos).
    void visitRecords_(uint64_t list, const FC_VocRecordVisitor& visit) const;
    // The stored readings of a Han word found whole in section D; false when it is absent.
    bool wholeReadings_(std::string_view han, const FC_ReadingSink& reading) const;
    void walk_(const C_VisitConsts& consts, const C_StdIsle& isle, size_t item, E_KarrMode mode,
               const FC_CandidateSink& sink) const;
    // What the lookups and the walk build on first use (or in prepareLookups()), kept beside
    // the mapped file (defined in system_dict.cpp).
    struct C_KarrKeys;
    struct C_Index;
    const C_KarrKeys& karrKeys_() const;
    // The length of the longest key of section A, found on first use: longer keys or patterns
    // that need more characters than it find nothing there.
    size_t longestTonedKey_() const;
    // The blocks an initial typed alone begins in section C, found by prepareLookups() for
    // every initial (else on first use) and kept (the dictionary never changes); at most 64
    // are kept, others are walked.
    const C_KarrInitialBlocks* initialBlocks_(std::string_view initial,
                                              const I_KarrEntries& section) const;
    bool load_();

    C_MappedFile m_file;
    const C_TailoCats& m_cats;
    const I_TailoPolicy& m_policy;
    const void* m_header = nullptr;
    qiv::C_ByteCursor m_bytes;       // the whole file when loaded
    size_t m_sectionArrays[4] = {};  // file offsets of the sections' offset arrays
    size_t m_sectionCounts[4] = {};
    size_t m_pool = 0;  // file offset of the pool
    qiv::C_FileError m_error;
    C_RuleTable m_rules;
    std::unique_ptr<C_Index> m_index;
};

}  // namespace kov
