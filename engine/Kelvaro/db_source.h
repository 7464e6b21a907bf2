// The database source: the one object through which sessions reach the per-user dictionaries.
// It owns the user dictionary ("user-db.tab") and the learning dictionary ("learn-db.tab") of
// the per-user folder, gives the top of the dictionary chain that every input line searches,
// saves both on request and at its end, and turns every change of the user dictionary into a
// "user-db-changed" event for all open sessions: at once when the change was made on the event
// loop's thread (a command; the event then precedes the command's reply), else posted to the
// loop (the learning thread), and dropped while the server stops.
//
// Also the server's policy: the log sink (it discards), the key-array threshold and the six
// learning limits the dictionaries and the learner ask for.
#pragma once

#include <filesystem>
#include <cstddef>
#include <memory>

#include "engine/dict/tailo_db.h"

namespace kov {
class C_UserTailoDB;
class I_Learner;
}  // namespace kov

class I_DBSource {
public:
    // The bits of saveAll's result.
    enum E_Saved : unsigned {
        SAVED_USER_DB = 1,   // "user-db.tab" was written
        SAVED_LEARN_DB = 2,  // "learn-db.tab" was written
    };

    virtual ~I_DBSource() = default;
    // The dictionary chain for queries: learning dictionary, user dictionary, system dictionary.
    virtual const kov::I_TailoDB& tailoDB() = 0;
    // The target of the vocabulary commands.
    virtual kov::C_UserTailoDB& userDB() = 0;
    // Where input lines hand committed lines: the learning dictionary; never null here.
    virtual const kov::I_Learner* learner() = 0;
    // Saves the user dictionary, then the learning dictionary, each only when it has unsaved
    // changes; the E_Saved bits of the files written (0: nothing was written, because nothing
    // changed or a save failed; a failed save is logged and keeps its dictionary unsaved).
    virtual unsigned saveAll() = 0;
};

namespace kov {

// Whether the learning dictionary of a dictionary chain learns on a thread of its own, or only
// when runQueuedJobs is called (then one input runs the same way every time).
enum class E_LearningThread { START, NONE };

// The database source's dictionaries: "user-db.tab" of userFolder over sysDB and "learn-db.tab"
// over the user dictionary, saved in that order, with every change of the user dictionary sent
// to the open sessions as a "user-db-changed" event. Without a folder both start empty and
// never save. A missing file is an empty dictionary; a damaged one loads what it can (the
// dictionary keeps its error text). Throws std::system_error when the learning thread cannot
// start. Destroying it unsubscribes, stops and joins the learning thread, then saves the
// learning and then the user dictionary when they hold unsaved changes, so the learner never
// promotes into a destroyed user dictionary.
class C_DictChain final : public I_DBSource {
public:
    C_DictChain(const I_TailoDB& sysDB, const std::filesystem::path& userFolder,
                const I_LearnPolicy& policy, E_LearningThread thread);
    ~C_DictChain() override;
    C_DictChain(const C_DictChain&) = delete;
    C_DictChain& operator=(const C_DictChain&) = delete;

    const I_TailoDB& tailoDB() override;
    C_UserTailoDB& userDB() override;
    const I_Learner* learner() override;
    unsigned saveAll() override;

    // Without a thread: learns the lines handed over so far, then trims the learning tables;
    // the number of lines taken. With a thread: 0, the thread takes them.
    size_t runQueuedJobs();

private:
    class C_Dicts;
    std::unique_ptr<C_Dicts> m_dicts;
};

// The server's database source: the chain of userFolder with the server's policy and the
// learning thread started.
std::unique_ptr<I_DBSource> makeDBSource(const I_TailoDB& sysDB,
                                         const std::filesystem::path& userFolder);

// The server's one policy: discards log lines; threshold 3; limits 1000, 500, 100, 4, 3, 3,
// and 0 for a kind outside the six.
const I_LearnPolicy& serverPolicy();

}  // namespace kov
