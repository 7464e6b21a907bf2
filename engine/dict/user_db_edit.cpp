// Editing the user dictionary: the table operations with their change notification, and the
// operations on (Han text, Tai-lo text) pairs that the vocabulary commands use.
#include <exception>
#include <variant>

#include "engine/dict/user_db.h"
#include "engine/text/tailo.h"
#include "qiv/exception_text.h"

namespace kov {

namespace {

bool holdsNul(std::string_view s) { return s.find('\0') != std::string_view::npos; }

E_UserVocError tailoKeysError(int code) {
    return code == 1 ? UVE_NON_ASCII : code == 2 ? UVE_BAD_SYLLABLE : UVE_TAILO_ERROR;
}

// The toned keys of a Tai-lo text, or the error code of the conversion (2 for no syllable).
E_UserVocError tailoKeys(std::string_view tailo, std::vector<std::string>& keys) {
    C_TonedKeysResult r = tailo2tonedKeys(tailo);
    if (const auto* e = std::get_if<C_TonedKeysError>(&r))
        return tailoKeysError(e->code);
    keys = std::move(std::get<std::vector<std::string>>(r));
    return keys.empty() ? UVE_NO_SYLLABLE : UVE_OK;
}

template <class F>
E_UserVocError catching(const I_TailoDB& db, const char* what, F&& f) {
    try {
        return f();
    } catch (const std::exception& e) {
        db.logger().log(1, std::string(what) + " caught " + qiv::exceptionText(e));
    } catch (...) {
        db.logger().log(1, std::string(what) + " caught unknown");
    }
    return UVE_EXCEPTION;
}

}  // namespace

E_UserVocError classifyHantTailo(const std::string& hant, const std::string& tailo,
                                 C_HantTailoAttr& out) {
    if (!hant.empty() && !equalsIgnoringAsciiCase(hant, tailo)) {
        const C_TonedKeysResult r = tailo2tonedKeys(hant);
        const auto* keys = std::get_if<std::vector<std::string>>(&r);
        if (keys && !keys->empty())
            return UVE_HANT_IS_TAILO;
        out = C_HantTailoAttr{'H', hant};
        return UVE_OK;
    }
    out = C_HantTailoAttr{'T', tailo};
    return UVE_OK;
}

E_UserVocError I_UserTailoDbErasor::withTailoKeys(std::string_view tailo, FC_OneKey oneKey,
                                                  FC_KeyArray keyArray) const {
    C_TonedKeysResult r = tailo2tonedKeys(tailo);
    if (const auto* e = std::get_if<C_TonedKeysError>(&r)) {
        logger().log(1, "Tailo-to-keys error(" + std::to_string(e->code) + ") at " + e->syllable);
        return tailoKeysError(e->code);
    }
    const auto& keys = std::get<std::vector<std::string>>(r);
    if (keys.empty())
        return UVE_NO_SYLLABLE;
    const bool done = keys.size() == 1 ? oneKey(keys.front()) : keyArray(keys);
    return done ? UVE_OK : UVE_REFUSED;
}

E_UserVocError I_UserTailoDbErasor::eraseUserVoc(const std::string& hant, const std::string& tailo,
                                                 const C_HantTailoAttr& attr) {
    return catching(*this, "eraseUserVoc()", [&] {
        if (holdsNul(hant) || holdsNul(tailo))
            return UVE_REFUSED;  // nothing stored holds a NUL
        const E_UserVocError r = withTailoKeys(
            tailo, [&](const std::string& key) { return eraseWord(key, attr.type, attr.text); },
            [&](const std::vector<std::string>& keys) {
                return eraseVoc(keys, attr.type, attr.text);
            });
        if (r == UVE_OK && attr.type == 'H')
            eraseHantTailo(hant, tailo);
        return r;
    });
}

E_UserVocError I_UserTailoDB::runAsOneEdit_(std_move_only_function<E_UserVocError()> edit) {
    return edit();
}

void I_UserTailoDB::restoreUserVoc_(const std::vector<std::string>& keys, const C_TailoVoc& voc) {
    if (keys.size() == 1)
        addKeysToWord(keys.front(), voc.type, voc.word, voc.weight, voc.cats, voc.stamp.count);
    else
        addKarrToVoc(keys, voc.type, voc.word, voc.weight, voc.cats, voc.stamp.count);
}

E_UserVocError I_UserTailoDB::addUserVoc(const std::string& hant, const std::string& tailo,
                                         const C_HantTailoAttr& attr, float weight,
                                         std::span<const uint8_t> cats, uint32_t count) {
    return catching(*this, "addUserVoc()", [&] {
        return runAsOneEdit_([&] {
            // A NUL would end the text in the file and turn the rest into garbage.
            if (holdsNul(hant) || holdsNul(tailo) || holdsNul(attr.text))
                return UVE_REFUSED;
            const E_UserVocError r = withTailoKeys(
                tailo,
                [&](const std::string& key) {
                    return addKeysToWord(key, attr.type, attr.text, weight, cats, count);
                },
                [&](const std::vector<std::string>& keys) {
                    return addKarrToVoc(keys, attr.type, attr.text, weight, cats, count);
                });
            if (r == UVE_OK && attr.type == 'H')
                addHantTailo(hant, tailo);
            return r;
        });
    });
}

E_UserVocError I_UserTailoDB::updateUserVoc(const std::string& hantOld, const std::string& tailoOld,
                                            const std::string& hantNew,
                                            const std::string& tailoNew) {
    return runAsOneEdit_([&] {
        C_HantTailoAttr oldAttr, newAttr;
        if (const E_UserVocError r = classifyHantTailo(hantOld, tailoOld, oldAttr))
            return r;
        if (const E_UserVocError r = classifyHantTailo(hantNew, tailoNew, newAttr))
            return r;
        std::vector<std::string> oldKeys;
        if (const E_UserVocError r = tailoKeys(tailoOld, oldKeys))
            return r;
        // The new pair is checked before the old record goes, so that a new text that cannot
        // be stored leaves the dictionary as it was.
        if (holdsNul(hantNew) || holdsNul(tailoNew))
            return UVE_REFUSED;
        const auto anyKey = [](const auto&) { return true; };
        if (const E_UserVocError r = withTailoKeys(tailoNew, anyKey, anyKey))
            return r;

        C_TailoVoc old;
        if (!findUserVoc(oldKeys, oldAttr.type, oldAttr.text,
                         [&](const C_TailoVoc& v) { old = v; }))
            return UVE_NOT_FOUND;
        if (const E_UserVocError r = eraseUserVoc(hantOld, tailoOld, oldAttr))
            return r;
        const E_UserVocError r =
            addUserVoc(hantNew, tailoNew, newAttr, old.weight, old.cats, old.stamp.count);
        if (r != UVE_OK) {
            restoreUserVoc_(oldKeys, old);
            if (oldAttr.type == 'H')
                addHantTailo(hantOld, tailoOld);
        }
        return r;
    });
}

struct C_UserTailoDB::C_Listener {
    uint64_t id = 0;
    FC_Listener notify;
};

C_UserTailoDB::C_UserTailoDB(const std::filesystem::path& dbFile, const I_TailoDB& sysDb)
    : C_UserTailoMixin(dbFile, sysDb), m_listing(newListing_()) {}

C_UserTailoDB::~C_UserTailoDB() = default;

void C_UserTailoDB::notifyChange_(E_UserTailoChange kind) {
    markDirty_();
    dropSearchCaches_();
    for (const C_Listener& l : m_listeners)
        l.notify(kind);
}

E_UserVocError C_UserTailoDB::runAsOneEdit_(std_move_only_function<E_UserVocError()> edit) {
    const C_TablesLock lock(*this);
    return edit();
}

void C_UserTailoDB::restoreUserVoc_(const std::vector<std::string>& keys, const C_TailoVoc& voc) {
    const C_TablesLock lock(*this);
    if (keys.size() == 1)
        m_candiPool.keys2words[keys.front()].push_back(voc);
    else
        m_candiPool.karr2vocs[keys].push_back(voc);
    notifyChange_(VOC_ADDED);
}

bool C_UserTailoDB::eraseHantTailo(const std::string& hant, const std::string& tailo) {
    const C_TablesLock lock(*this);
    const bool done = m_candiPool.erase_hant2tailo(hant, tailo);
    if (done)
        notifyChange_(HANT2TAILO_ERASED);
    return done;
}

bool C_UserTailoDB::eraseWord(const std::string& key, char type, const std::string& word) {
    const C_TablesLock lock(*this);
    const bool done = m_candiPool.erase_keys_word(key, type, word);
    if (done)
        notifyChange_(VOC_ERASED);
    return done;
}

bool C_UserTailoDB::eraseVoc(const std::vector<std::string>& keys, char type,
                             const std::string& word) {
    const C_TablesLock lock(*this);
    const bool done = m_candiPool.erase_karray_voc(keys, type, word);
    if (done)
        notifyChange_(VOC_ERASED);
    return done;
}

void C_UserTailoDB::addHantTailo(const std::string& hant, const std::string& tailo) {
    const C_TablesLock lock(*this);
    if (!m_candiPool.add_hant2tailo(hant, tailo)) {
        logger().log(1, "Failed to add hant2tailo: empty text or a NUL in \"" + hant + "\" / \"" +
                            tailo + "\"");
        return;
    }
    notifyChange_(HANT2TAILO_ADDED);
}

bool C_UserTailoDB::addVoc_(const C_VocTableError& result, std::string_view what) {
    if (result.failed) {
        logger().log(1, std::string(what) + result.text);
        return false;
    }
    notifyChange_(VOC_ADDED);
    return true;
}

bool C_UserTailoDB::addKarrToVoc(const std::vector<std::string>& keys, char type,
                                 const std::string& word, float weight,
                                 std::span<const uint8_t> cats, uint32_t count) {
    const C_TablesLock lock(*this);
    return addVoc_(m_candiPool.add_karray_to_voc(keys, type, word, weight, cats, count),
                   "Failed to add key array to voc: ");
}

bool C_UserTailoDB::addKeysToWord(const std::string& key, char type, const std::string& word,
                                  float weight, std::span<const uint8_t> cats, uint32_t count) {
    const C_TablesLock lock(*this);
    return addVoc_(m_candiPool.add_keys_to_word(key, type, word, weight, cats, count),
                   "Failed to add keys to word: ");
}

bool C_UserTailoDB::addRule(C_RulePtr rule) {
    const C_TablesLock lock(*this);
    const bool done = m_rules.addRule(std::move(rule));
    if (done)
        notifyChange_(RULE_ADDED);
    return done;
}

bool C_UserTailoDB::findUserVoc(const std::vector<std::string>& keys, char type,
                                const std::string& word, FC_UserVocVisitor visit) const {
    const C_TablesLock lock(*this);
    const C_CandiPool::Vocs* vocs = nullptr;
    if (keys.empty())
        return false;
    if (keys.size() == 1) {
        const auto e = m_candiPool.keys2words.find(keys.front());
        if (e != m_candiPool.keys2words.end())
            vocs = &e->second;
    } else {
        const auto e = m_candiPool.karr2vocs.find(keys);
        if (e != m_candiPool.karr2vocs.end())
            vocs = &e->second;
    }
    if (!vocs)
        return false;
    for (const C_TailoVoc& v : *vocs) {
        if (v.type == type && v.word == word) {
            visit(v);
            return true;
        }
    }
    return false;
}

void C_UserTailoDB::clearUserVocs() {
    const C_TablesLock lock(*this);
    // The tables are emptied before anyone is told, as every other edit does: a listener that
    // throws cannot leave the words in place after their erasure was announced.
    const bool hadVocs = !m_candiPool.emptyOfVocs();
    const bool hadReadings = !m_candiPool.hant2tailo.empty();
    m_candiPool.keys2words.clear();
    m_candiPool.karr2vocs.clear();
    m_candiPool.hant2tailo.clear();
    if (hadVocs)
        notifyChange_(VOC_ERASED);
    if (hadReadings)
        notifyChange_(HANT2TAILO_ERASED);
}

void C_UserTailoDB::addListener(uint64_t id, FC_Listener listener) {
    const C_TablesLock lock(*this);
    m_listeners.push_back(C_Listener{id, std::move(listener)});
}

bool C_UserTailoDB::removeListener(uint64_t id) {
    const C_TablesLock lock(*this);
    const auto n = std::erase_if(m_listeners, [id](const C_Listener& l) { return l.id == id; });
    return n > 0;
}

}  // namespace kov
