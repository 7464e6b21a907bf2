#pragma once
// The input line of one front-end session: the keys typed so far, the caret among them, the
// no-cross marks the user placed between keys, the flags that steer composition, and the
// composition of the keys before the caret into candidates and winners.
//
// Edits never compose: they mark the composition units they affect and set the dirty flag.
// Every query composes first, which does work only when the line is dirty. Structural edits keep
// the winners in step with the elements (starts shift, winners of erased units go), so nothing
// ever points at a destroyed candidate between an edit and the next composition.
//
// On top of a composition the line offers the candidate lists of its nail position (built on
// demand, kept until the next composition), nails the user's choices, walks the committed words,
// pops them off the front for the session and the learner, and offers related choices after its
// last word.
//
// Not here: the dictionaries themselves (I_TailoDB), the related-choice cache and its order
// (related_choices.h), and what the learner does with a committed line (I_Learner).

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compose/islands.h"
#include "engine/compose/learner.h"
#include "engine/compose/mode_status.h"
#include "engine/compose/related_choices.h"
#include "engine/compose/snapshot.h"
#include "engine/compose/voc_candidate.h"
#include "engine/dict/candidate.h"
#include "engine/dict/isle.h"
#include "engine/dict/tailo_db.h"
#include "qiv/move_only_function.h"

namespace kov {

class C_InputLine : private C_InputLineSnapshot, private I_ModeStatus {
    // What the previous composition looked its words up by, and the candidate list of one view
    // position and list mode (input_line_parts.h: only the line's own sources use them).
    struct C_LookupBasis;
    struct C_CandiList;

public:
    // The most elements (keys and no-cross marks) a line holds. Candidate lists keep element
    // indices in 16 bits.
    static constexpr size_t kMaxElements = 1024;
    static_assert(kMaxElements < 0xFFFF);

    // Directions of removeKey.
    enum E_Direction : int {
        DIR_FORWARD = 0,
        DIR_BACKWARD = 1,
    };

    // The line searches db (the top of the dictionary chain) and hands committed lines to it
    // when it is also a learner.
    explicit C_InputLine(const I_TailoDB& db);
    ~C_InputLine();
    C_InputLine(const C_InputLine&) = delete;
    C_InputLine& operator=(const C_InputLine&) = delete;

    // --- Keys and marks ---

    // Pops words off the front while the limit predicate holds, then inserts a unit for key at
    // the caret and moves the caret behind it. The key is taken as typed. Throws
    // std::runtime_error "Input line limit reached: 1024" when the line is full.
    void insertKey(char key);
    // Deletes the key after (DIR_FORWARD) or before (DIR_BACKWARD) the caret, with the no-cross
    // marks around it; backward first releases a nailed word that ends at the caret. False when
    // nothing was removed or released. Throws std::logic_error "Unknown director: <d>" for
    // another direction.
    bool removeKey(int direction);
    // Inserts a no-cross mark at the caret (and moves behind it), or removes the mark that
    // stands at the caret. Throws like insertKey when the line is full.
    void toggleNoCross();
    // Hands the line to the learner, then empties it.
    void clear();

    // --- Caret ---

    // One key back, over the no-cross marks before it; false at 0. Throws std::logic_error
    // "No winner or first winner is not at HOME position" when the nail position cannot follow.
    bool moveBack();
    // One key forward, over no-cross marks; false at the end.
    bool moveForward();
    // Caret and nail position to 0.
    void moveHome();
    void moveEnd();
    // Caret to pos; false (nothing changes) when pos is past the end. Throws like moveBack.
    bool moveTo(size_t pos);

    // --- Flags ---

    void setIslandDoctrine(bool on);
    // Copies the island-doctrine flag into the units before the caret and marks them.
    void syncIslandDoctrine();
    bool toggleSpuriousSpaces();
    // Only units typed afterwards see the new value of these two.
    bool toggleFullShapeSymbols();
    bool toggleRawKeyOnly();
    // TAILO becomes STD, any other mode TAILO; leaving a composed mode other than TAILO with
    // nailed words hands the line to the learner first. Returns the new mode.
    E_CompoMode toggleCompositionMode();

    // --- Callbacks the session installs ---

    // True while the line is longer than the front end's limit; empty for no limit.
    void setLimitReached(std_move_only_function<bool()> limitReached);
    void setLearner(const I_Learner* learner) noexcept { m_learner = learner; }
    // Told of every word and made-up space that popFront takes off the line (hidden hyphen
    // runs too: consumers leave those out); empty for nobody.
    void setOnPopFront(std_move_only_function<void(const C_VocCandidate&)> onPopFront);

    // --- Queries ---

    size_t size() const noexcept { return m_elements.size(); }
    size_t caret() const noexcept { return m_caret; }
    // The start of the first winner that is not nailed (the caret when all are); composes first.
    size_t nailPosition();
    // The caret and, after composing, the nail position are both at the end.
    bool doneNailing();
    // The winners over [0, caret); composes first.
    const std::vector<C_Winner>& winners();
    // Calls back with the position of each no-cross mark of the whole line, ascending.
    void getNoCrosses(const std_move_only_function<void(size_t)>& visit) const;
    // Cuts the keys (as typed, marks left out) at the given positions: one section per
    // position and one after the last.
    void getKeySections(std::span<const size_t> positions,
                        const std_move_only_function<void(std::string_view)>& visit) const;

    E_CompoMode mode() const noexcept { return m_mode; }
    bool dirty() const noexcept { return m_dirty; }
    bool islandDoctrine() const noexcept { return m_islandDoctrine; }
    bool spuriousSpaces() const noexcept { return m_spuriousSpaces; }
    bool fullShapeSymbols() const noexcept { return m_fullShapeSymbols; }
    bool rawKeyOnly() const noexcept { return m_rawKeyOnly; }
    bool severalOpen() const noexcept { return m_severalOpen; }
    const I_TailoDB& db() const noexcept { return m_db; }
    // The composed state as it stands (no composition): elements, winners, rule matches.
    const C_InputLineSnapshot& snapshot() const noexcept { return *this; }
    // The key string, capital positions, islands and hyphen runs of the last composition.
    std::string_view keyString() const noexcept { return m_keys; }
    std::span<const size_t> capitals() const noexcept { return m_capitals; }
    std::span<const C_IsleList> islesByStart() const noexcept { return m_islesByStart; }

    // I_ModeStatus
    bool wantsHant(char listMode) const override;
    bool wantsTailo(char listMode) const override;
    const I_ModeStatus& modeStatus() const noexcept { return *this; }

    // --- Candidate lists at the nail position (list modes 'H', 'M', 'T') ---
    //
    // A list holds the candidates of the unit at the nail position, each candidate's readings
    // (for modes that want Tai-lo) before its text (for modes that want Han), repeats left out;
    // while several words are open, the whole rest of the line comes first as one Tai-lo and one
    // Han candidate. In TAILO mode the front end shows one candidate: the count is 1 when
    // anything is listed.

    // Composes; the number of entries of the list (0 when there is none).
    size_t getCandidateCountAtNailPos(char mode);
    // Composes; hands entries [index, index + count) to visit with their positions. False when
    // there is no list. Throws std::runtime_error "Null compo unit at <p>" for an entry whose
    // unit is gone, and the storage-limit errors of building the list ("Candidate count(<n>)
    // exceeds storage limit", "Tailo count(<n>) exceeds storage limit").
    bool getCandidatesAtNailPos(
        char mode, size_t index, size_t count,
        const std_move_only_function<void(size_t, const C_VocCandidate&)>& visit);
    // Nails entry index of the list of mode at the nail position, which must have been counted
    // or viewed since the last composition; the line becomes dirty. False, with a level-2 log
    // line and nothing changed, when the line is dirty, there is no such list or entry.
    bool nailCandidate(char mode, size_t index);
    // Composes; walks the committed words in line order with no-cross marks (segments), spaces
    // the line makes up between words, and runs of hyphens between Han words folded into one
    // hidden view. visit returns false to stop. Popping, the class of the last word walked is
    // kept for the next walk. Throws std::logic_error "COMPO_KEY with no winner at <p>" for a
    // unit without winner.
    void getConfirmedCandidates(
        const std_move_only_function<bool(size_t, const C_VocCandidate&)>& visit, bool popping);

    // --- Popping and the learner ---

    // Pops the first committed word off the front, with the no-cross marks and made-up spaces
    // before it, after handing the line to the learner; tells the pop-front callback of each
    // word and space. Returns the key positions removed (0: nothing popped, nothing changed).
    // The rest of the line stays composed. Throws std::logic_error "Unknown voc mode '<m>'" for
    // a view of another mode (before anything is removed).
    size_t popFront();

    // --- Related choices (list types 'H', 'M', 'T') ---
    //
    // Only with the caret at the end of a non-empty line outside TAILO mode whose last word came
    // from a dictionary; otherwise there are none.

    size_t getCountOfRelatedChoices(char type);
    // Hands entries [index, index + count) of the type's list to visit (text shown, 'T' for a
    // reading, else 'H'). False when there is no list.
    bool getRelatedChoices(char type, size_t index, size_t count,
                           const std_move_only_function<void(std::string_view, char)>& visit);
    // Nails the open words, then types the chosen related word's keys after the last word and
    // nails its units; false without any change when the line is dirty or there is no such
    // entry. Returns the dirty flag afterwards (true when the word was inserted). Throws
    // std::runtime_error "Input line limit reached: 1024" before any change when the keys do not
    // fit, "Last winner is not at expected position" when nailing the open words moved the last
    // word, "Fail to nail the related choice at position <p>" when the typed keys did not become
    // the word's units.
    bool insertRelatedChoice(char type, size_t index);

private:
    // Composes [0, caret) when the line is dirty.
    void compose();
    // The islands and candidates of the mode.
    void composeByMode_(size_t recomposeEnd, C_LookupBasis previous);
    // Where the keys (with capitals and hyphen runs) and where the island lists of this
    // composition first differ from those of the previous one.
    C_LookupReach unchangedEnd_(const C_LookupBasis& previous) const;
    // Units marked for recomposition before end either get back the words of their last
    // lookup, when it read nothing at or past unchanged, or are emptied; true per kept unit.
    std::vector<bool> keepLookups_(size_t end, C_LookupReach unchanged);
    void visitIsles_(const C_VisitConsts& consts, size_t end, const std::vector<bool>& kept);
    void visitDAG_(const C_VisitConsts& consts, const C_StdIsle& isle, const FC_UnitAt& unitAt);
    C_VisitConsts visitConsts_() const;
    void reapplyNails_(const std::vector<std::pair<size_t, C_Candidate>>& nails, size_t end);
    void rankNoCrosses_(size_t end);
    void runRules_(size_t end);
    void settle_(size_t end);

    // The nail position and whether several words are open, from the winners over [0, end).
    void findNailPos_(size_t end);
    // After popping span positions: the key string, capitals, hyphen runs and islands of the
    // remaining keys, as a composition of them would leave them, with no lookup.
    void dropLookupBasis_(size_t span);

    // Composes, then hands a copy to the learner, when there is one, keys stand before the
    // caret and the mode is not TAILO.
    void composeAndLearn();
    void learn();
    bool learnable_() const noexcept;

    // The list of the view position and mode, built on first use; null for a position at or
    // after the caret or another mode.
    const C_CandiList* getCandidateCache(size_t viewPos, char mode);
    void addWholeLineCandidates_(C_CandiList& list, size_t viewPos);
    // Raises to re-check every unit before the caret with a candidate (not crossing a mark)
    // that overlaps one of the ranges [from, to).
    void invalidateOverlaps(std::span<const std::pair<size_t, size_t>> ranges);
    // The walk of getConfirmedCandidates over the composition as it stands.
    void walkConfirmed_(const std_move_only_function<bool(size_t, const C_VocCandidate&)>& visit,
                        bool popping);

    // Runs action, after filling the related-choice cache, when related choices can exist.
    void useRelatedWords(std_move_only_function<void()> action);
    void applyRelatedChoice_(char type, std::string_view keys,
                             std::span<const C_RelatedPair> pairs);
    // Nails c when it is the candidate s stands for in a list of type; true when nailed.
    bool matchRelatedCandidate_(char type, C_Candidate& c, const C_SemiCandidate& s) const;

    // Marks the units from caret - 1 back for recomposition, stopping at one already marked.
    void markBack_();
    // After the caret moved back: the nail position follows it, releasing the word there.
    void retreatNail_();
    // Erases the element at the caret and the no-cross marks around it.
    void eraseAtCaret_();
    // Structural edits: keep winners and nail position in step and set the dirty flag.
    void insertElement_(size_t pos, C_LineElement element);
    void eraseElements_(size_t from, size_t to);
    // Removes elements with their winners and shifts the rest, without marking anything.
    void removeElements_(size_t from, size_t to);
    void checkRoom_() const;
    // Copies the doctrine flag into the units before the caret and raises their states.
    void syncUnits_();
    // Drops what a composition caches: winners, closures, candidate lists and related choices.
    void dropComposition_();
    void dropCaches_();

    bool isMark_(size_t pos) const noexcept;
    // The keys of the units in [from, from + count), as typed.
    std::string keysOf(size_t from, size_t count) const;

    const I_TailoDB& m_db;
    const I_Learner* m_learner;
    // Counts compositions; a unit keeps its looked-up words only when they were checked
    // against the composition just before (its seal carries that composition's number).
    uint64_t m_composition = 0;
    std::optional<uint64_t> m_vocRevision;  // the stack's revision at the last composition
    bool m_lookupDoctrine = false;          // the doctrine flag at the last composition
    C_CompoUnit m_discard;                  // takes the words meant for units that keep theirs
    size_t m_nailPos = 0;
    size_t m_caret = 0;
    std::string m_keys;
    std::vector<size_t> m_capitals;
    std::map<size_t, size_t> m_hyphenRuns;
    std::vector<C_IsleList> m_islesByStart;
    // How the islands were cut, so that the next cut redoes only what the edit reached; empty
    // when the islands were not cut from m_keys in STD mode.
    C_StdCutLog m_cutLog;
    std_move_only_function<bool()> m_limitReached;
    std_move_only_function<void(const C_VocCandidate&)> m_onPopFront;
    // Candidate lists by view position, in the order first asked (stable addresses).
    std::map<size_t, std::list<C_CandiList>> m_candiCache;
    C_RelatedChoices m_related;
    std::optional<uint32_t> m_lastWordClass;  // class of the last word popped
    bool m_severalOpen = false;
    bool m_dirty = false;
    bool m_spuriousSpaces = true;
    bool m_fullShapeSymbols = true;
    bool m_rawKeyOnly = false;
    bool m_islandDoctrine = false;
};

}  // namespace kov
