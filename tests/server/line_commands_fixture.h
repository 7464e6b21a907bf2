// Helpers for the tests of the input-line and candidate commands: a small system dictionary,
// typing through "insert-key" and "toggle-no-cross", and the line's layout as the commands
// report it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/framing.h"
#include "fixtures/tailo_fixture.h"
#include "tests/support/related_words_dict.h"
#include "tests/server/session_harness.h"

namespace kov::test::line_commands {

using nlohmann::json;

// The dictionary of related words with "ka1", a Tai-lo word without Han text.
inline std::string dictionaryBytes() {
    C_TailoFixture fx = relatedWordsDict();
    fx.a["ka1"] = {tRec("ka", 3)};
    return fx.bytes();
}

inline C_SessionHarness::S_Options withDictionary() {
    C_SessionHarness::S_Options options;
    options.tailoBytes = dictionaryBytes();
    return options;
}

// Types keys in one write ('|' toggles a no-cross mark) and returns every frame that came back
// (events and replies, in order).
inline std::vector<json> type(C_SessionHarness::C_Client& client, std::string_view keys) {
    std::string frames;
    for (char k : keys) {
        const json request = k == '|' ? json{{"cmd", "toggle-no-cross"}}
                                      : json{{"cmd", "insert-key"}, {"key", std::string(1, k)}};
        appendFrame(frames, request.dump());
    }
    client.sendRaw(frames);
    std::vector<json> out;
    for (size_t replies = 0; replies < keys.size();) {
        const auto next = client.receive(1);
        if (next.empty()) {
            ADD_FAILURE() << "no reply while typing " << keys;
            break;
        }
        replies += next.front().contains("ok");
        out.push_back(next.front());
    }
    return out;
}

// The elements with the caret, as the commands report them: "ab|^c" (keys as typed, '|' a
// no-cross mark, '^' the caret).
inline std::string layout(C_SessionHarness::C_Client& client) {
    const size_t size = client.request({{"cmd", "get-input-line-size"}})["result"];
    const size_t caret = client.request({{"cmd", "get-caret-position"}})["result"];
    json cuts = json::array();
    for (size_t i = 1; i <= size; ++i)
        cuts.push_back(i);
    const json sections = client.request({{"cmd", "get-key-sections"}, {"poses", cuts}})["result"];
    std::string out;
    for (size_t i = 0; i <= size; ++i) {
        if (i == caret)
            out += '^';
        if (i < size) {
            const std::string key = sections.at(i);
            out += key.empty() ? "|" : key;
        }
    }
    return out;
}

}  // namespace kov::test::line_commands
