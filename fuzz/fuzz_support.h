#pragma once
// What the harnesses share: the small system dictionary they search, inputs cut into the parts
// of several files, files written for the readers, and the server's dictionary chain without the
// learning thread (its jobs run when the harness says), so that one input runs the same way every
// time.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/Kelvaro/db_source.h"
#include "engine/dict/user_db.h"
#include "fixtures/tailo_fixture.h"
#include "fixtures/temp_folder.h"
#include "tests/support/related_words_dict.h"

namespace kov::fuzz {

// Han words that go on from one another, a Tai-lo word, words for the wildcards and a rule-free
// category table: enough for every kind of lookup an input line makes.
inline test::C_TailoFixture dictionaryFixture() {
    test::C_TailoFixture fx = test::relatedWordsDict();
    fx.a["ka1"] = {test::tRec("ka", 3)};
    fx.a["kau2"] = {test::tRec("k\u00e1u", 1, {1})};
    fx.b["Ka1"] = {test::tRec("Ka", 1)};
    return fx;
}

// The system dictionary of the harnesses, loaded once per process.
inline const test::C_SystemDictFixture& systemDict() {
    static const test::C_SystemDictFixture dict(dictionaryFixture().bytes());
    return dict;
}

// An input cut into parts: each part but the last is preceded by its length as two bytes, low
// byte first (a length past the end takes the rest). The seed writer makes inputs this way.
inline std::vector<std::string_view> splitParts(const uint8_t* data, size_t size, size_t parts) {
    std::vector<std::string_view> out;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    for (size_t i = 0; i + 1 < parts; ++i) {
        size_t length = rest.size();
        if (rest.size() >= 2) {
            length = static_cast<uint8_t>(rest[0]) |
                     static_cast<size_t>(static_cast<uint8_t>(rest[1])) << 8;
            rest.remove_prefix(2);
        } else {
            rest = {};
        }
        length = std::min(length, rest.size());
        out.push_back(rest.substr(0, length));
        rest.remove_prefix(length);
    }
    out.push_back(rest);
    return out;
}

inline std::string joinParts(const std::vector<std::string>& parts) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i + 1 < parts.size()) {
            out += static_cast<char>(parts[i].size() & 0xFF);
            out += static_cast<char>(parts[i].size() >> 8 & 0xFF);
        }
        out += parts[i];
    }
    return out;
}

// The server's dictionary chain over the harnesses' system dictionary, in folder (none: both
// dictionaries start empty and never save), without the learning thread: the lines handed to
// the learner are learned when runQueuedJobs is called.
inline std::unique_ptr<C_DictChain> dictChain(const std::filesystem::path& folder = {}) {
    return std::make_unique<C_DictChain>(*systemDict().m_db, folder, systemDict().m_policy,
                                         E_LearningThread::NONE);
}

}  // namespace kov::fuzz
