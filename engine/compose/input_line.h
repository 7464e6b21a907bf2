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
// Not here: candidate lists and nailing, popping the front, related choices (later layers built
// on this class), and the dictionaries themselves (I_TailoDB).

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/compose/islands.h"
#include "engine/compose/learner.h"
#include "engine/compose/mode_status.h"
#include "engine/compose/snapshot.h"
#include "engine/dict/candidate.h"
#include "engine/dict/isle.h"
#include "engine/dict/tailo_db.h"
#include "qiv/move_only_function.h"

namespace kov {

class C_InputLine : private C_InputLineSnapshot, private I_ModeStatus {
    // The key string, capitals, hyphen runs and islands that the previous composition looked
    // words up by. Its island lists below m_islesFrom are those of the composition at hand; from
    // there on they are m_isleTail.
    struct C_LookupBasis {
        std::string m_keys;
        std::vector<size_t> m_capitals;
        std::map<size_t, size_t> m_hyphenRuns;
        size_t m_islesFrom = 0;
        std::vector<C_IsleList> m_isleTail;
    };

public:
    // The most elements (keys and no-cross marks) a line holds.
    static constexpr size_t kMaxElements = 1024;

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

    // Pops the first committed word off the front; the number of key positions removed (0 when
    // nothing was popped). This is the seam for the popping layer, which needs the walk over the
    // committed words; on its own the line pops nothing, so the limit loop of insertKey ends at
    // once and the hard cap on elements is what bounds the line.
    size_t popFront();

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

    // Composes, then hands a copy to the learner, when there is one, keys stand before the
    // caret and the mode is not TAILO.
    void composeAndLearn();
    void learn();
    bool learnable_() const noexcept;

    // Marks the units from caret - 1 back for recomposition, stopping at one already marked.
    void markBack_();
    // After the caret moved back: the nail position follows it, releasing the word there.
    void retreatNail_();
    // Erases the element at the caret and the no-cross marks around it.
    void eraseAtCaret_();
    // Structural edits: keep winners and nail position in step and set the dirty flag.
    void insertElement_(size_t pos, C_LineElement element);
    void eraseElements_(size_t from, size_t to);
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
    std::optional<uint32_t> m_lastWordClass;
    bool m_severalOpen = false;
    bool m_dirty = false;
    bool m_spuriousSpaces = true;
    bool m_fullShapeSymbols = true;
    bool m_rawKeyOnly = false;
    bool m_islandDoctrine = false;
};

}  // namespace kov
