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
#include "tests/server/session_harness.h"

namespace kov::test::line_commands {

using nlohmann::json;

// 台 灣 人 北 好 and the words 台灣, 台灣人, 台北; "ka1" is a Tai-lo word without Han text.
inline const std::string TAI = "\u53f0", UAN = "\u7063", LANG = "\u4eba", PAK = "\u5317", HO = "\u597d";

inline std::string dictionaryBytes() {
    C_TailoFixture fx;
    fx.a["tai5"] = {hRec(TAI, 5)};
    fx.a["uan5"] = {hRec(UAN, 1)};
    fx.a["lang5"] = {hRec(LANG, 1)};
    fx.a["pak4"] = {hRec(PAK, 1)};
    fx.a["ho2"] = {hRec(HO, 5)};
    fx.a["ka1"] = {tRec("ka", 3)};
    fx.c["tai5-uan5"] = {hRec(TAI + UAN, 10)};
    fx.c["tai5-uan5-lang5"] = {hRec(TAI + UAN + LANG, 10)};
    fx.c["tai5-pak4"] = {hRec(TAI + PAK, 8)};
    fx.d[TAI] = {"t\u00e2i"};
    fx.d[UAN] = {"u\u00e2n"};
    fx.d[LANG] = {"l\u00e2ng"};
    fx.d[PAK] = {"pak"};
    fx.d[HO] = {"h\u00f3"};
    fx.d[TAI + UAN] = {"t\u00e2i-u\u00e2n"};
    fx.d[TAI + UAN + LANG] = {"t\u00e2i-u\u00e2n-l\u00e2ng"};
    fx.d[TAI + PAK] = {"t\u00e2i-pak"};
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
        const json request = k == '|' ? json{{"cmd", "toggle-no-cross"}} : json{{"cmd", "insert-key"}, {"key", std::string(1, k)}};
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
