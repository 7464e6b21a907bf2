// C_UserTailoMixin: a dictionary layer of editable vocabulary tables stacked on a lower
// dictionary. It answers every query of I_TailoDB by asking the lower dictionary first and then
// adding what its own tables hold, and it loads its tables from, and saves them to, one file
// ("user-db.tab" for the user dictionary, "learn-db.tab" for the learning dictionary).
//
// Saving never loses the user's words: the file is written beside the target as "<name>.tmp",
// flushed to the disk and renamed over the target; a file whose load stopped with an error is
// first copied to "<name>.bad" (that first copy is never replaced: a later one goes to
// "<name>.bad2" to "<name>.bad9", over the oldest of those when all are taken); a file that
// could not be read is never saved over. A failed save
// keeps the layer dirty so that a later save tries again. A side file left by a save that was
// cut short (the process killed before the rename) is removed when the file is loaded.
//
// Not responsible for: editing operations and their change notification (C_UserTailoDB), the
// learning dictionary's job queue, or deciding when to save.
#pragma once

#include <cstddef>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dict/rule.h"
#include "engine/dict/tailo_db.h"
#include "engine/dict/voc_table.h"
#include "platform/file_ops.h"
#include "qiv/file_error.h"

namespace kov {

class C_UserTailoMixin : public virtual I_TailoDB, public I_VocRevision {
public:
    // Loads dbFile (an empty path: an empty layer that never saves; a file surely absent: an
    // empty layer). Never throws for bad bytes: a load fault is kept in error() with the tables
    // holding what was read before it. Categories that the category table lacks are left out
    // of the records, and rules that name one are left out, with one log line.
    C_UserTailoMixin(const std::filesystem::path& dbFile, const I_TailoDB& lower);
    // Saves when dirty; a failure is logged, never thrown.
    ~C_UserTailoMixin() override;

    C_UserTailoMixin(const C_UserTailoMixin&) = delete;
    C_UserTailoMixin& operator=(const C_UserTailoMixin&) = delete;

    // Writes the file when there are unsaved changes; true when it was written. Failures are
    // logged at level 1 and leave the layer dirty and the old file whole.
    bool save();

    // I_TailoDB: the lower dictionary's answer first, then the own tables under the lock.
    void getRelatedChoices(const C_VisitConsts& consts, const C_StdIsle& isle,
                           const FC_RelatedSink& sink) const override;
    const I_TailoCats& cats() const override;
    void getIslandVocs(const C_VisitConsts& consts, const C_StdIsle& isle,
                       const FC_UnitAt& unitAt) const override;
    void addKeyVocs(C_CompoUnit& unit, std::string_view key, bool capital) const override;
    void visitCatRules(std::span<const uint8_t> cats, const FC_RuleVisitor& visit) const override;
    void visitWordRules(const std::string& text, const std::vector<std::string>& keys,
                        const FC_RuleVisitor& visit) const override;
    const I_TailoPolicy& logger() const override;
    // Own readings first (under the lock), then the lower dictionary's.
    void voc2tailos(std::string_view hanWord, const FC_ReadingSink& reading) const override;
    // I_VocRevision: changes with every change of the own tables and with the lower layer's.
    std::optional<uint64_t> vocRevision() const override;

    // A hold of the layer's one lock, which guards the tables, the rule table, the dirty flag
    // and (in the user dictionary) the search caches and listeners. It is recursive: a query
    // or an edit made while holding it takes it again. Through the hold the tables and rules
    // can be read, unchanged while it lives; changes go through the owner's operations, which
    // tell whoever depends on the tables. A layer's lock may be held while the layer below it
    // takes its own (the learning dictionary promoting into the user dictionary), never the
    // reverse (learn_db.h).
    class C_TablesLock {
    public:
        explicit C_TablesLock(const C_UserTailoMixin& layer);
        ~C_TablesLock();
        C_TablesLock(const C_TablesLock&) = delete;
        C_TablesLock& operator=(const C_TablesLock&) = delete;

        const C_CandiPool& candiPool() const { return m_layer.m_candiPool; }
        const C_RuleTable& ruleTable() const { return m_layer.m_rules; }

    private:
        const C_UserTailoMixin& m_layer;
    };
    C_TablesLock lockTables() const { return C_TablesLock(*this); }

    // Why the load stopped: UNREADABLE (the file could not be tested or read; it is never
    // saved over), FORMAT or DAMAGED (the first save keeps a copy of the file first); NONE
    // when it loaded whole or there was no file.
    const qiv::C_FileError& error() const { return m_error; }
    bool loaded() const { return m_error.ok(); }
    bool dirty() const;
    const std::filesystem::path& path() const { return m_path; }
    const I_TailoDB& lower() const { return m_lower; }

protected:
    // Marks the layer as holding unsaved changes; the caller holds the lock. Every change of
    // the tables comes through here, which also moves the revision on.
    void markDirty_() {
        m_dirty = true;
        m_revision.fetch_add(1, std::memory_order_relaxed);
    }
    // Writes the bytes of a save into the side file. Tests replace it to fail a save midway.
    virtual bool writeSaveBytes_(platform::C_OutFile& out, std::string_view bytes);

    C_CandiPool m_candiPool;
    C_RuleTable m_rules;
    const I_TailoDB& m_lower;

private:
    qiv::C_FileError load_();
    // Builds the bytes of the file; texts that the format cannot hold are left out.
    std::string serialize_() const;
    // The save of bytes without its log line: NONE when written; UNREADABLE when the file
    // could not be read before (it is never saved over); WRITE when the folder, the copy of a
    // damaged file or the file itself could not be written.
    qiv::C_FileError save_(const std::string& bytes);
    // Copies a file whose load stopped with an error, once, to the first free of "<name>.bad",
    // "<name>.bad2" ... "<name>.bad9", or over the oldest (by modification time) of ".bad2" to
    // ".bad9" when all are taken; none when one of them holds the same bytes. An error when no
    // copy could be made, and the save must not go on.
    qiv::C_FileError keepDamagedCopy_();
    qiv::C_FileError writeReplacing_(const std::string& bytes);

    // The own tables as the shared lookups (key_lookup.h) read them.
    class C_OwnTables;
    void ownReadings_(std::string_view hanWord, const FC_ReadingSink& reading) const;

    struct C_Lock;  // the recursive mutex behind C_TablesLock (user_db_file.cpp)
    std::unique_ptr<C_Lock> m_lock;

    std::filesystem::path m_path;
    qiv::C_FileError m_error;
    bool m_dirty = false;
    bool m_damagedCopyKept = false;
    // Read without the lock by the composing thread; a change moves it on while holding the
    // lock, before any query can see the changed tables.
    std::atomic<uint64_t> m_revision{0};
};

}  // namespace kov
