#pragma once
// A small system dictionary of Han words that go on from one another, for the tests of related
// choices on the input line and through the server's commands: 台 灣 人 北 好 alone, the words
// 台灣, 台灣人 and 台北 that go on from 台, and 抬頭 (tâi-thâu), which goes on from its reading
// only.

#include <string>

#include "fixtures/tailo_fixture.h"

namespace kov::test {

// 台 灣 人 北 好 抬頭
inline const std::string TAI = "\u53f0", UAN = "\u7063", LANG = "\u4eba", PAK = "\u5317",
                         HO = "\u597d", TAI_THAU = "\u62ac\u982d";

inline C_TailoFixture relatedWordsDict() {
    C_TailoFixture fx;
    fx.a["tai5"] = {hRec(TAI, 5)};
    fx.a["uan5"] = {hRec(UAN, 1)};
    fx.a["lang5"] = {hRec(LANG, 1)};
    fx.a["pak4"] = {hRec(PAK, 1)};
    fx.a["ho2"] = {hRec(HO, 5)};
    fx.c["tai5-uan5"] = {hRec(TAI + UAN, 10)};
    fx.c["tai5-uan5-lang5"] = {hRec(TAI + UAN + LANG, 10)};
    fx.c["tai5-pak4"] = {hRec(TAI + PAK, 8)};
    fx.c["tai5-thau5"] = {hRec(TAI_THAU, 3)};
    fx.d[TAI] = {"t\u00e2i"};
    fx.d[UAN] = {"u\u00e2n"};
    fx.d[LANG] = {"l\u00e2ng"};
    fx.d[PAK] = {"pak"};
    fx.d[HO] = {"h\u00f3"};
    fx.d[TAI + UAN] = {"t\u00e2i-u\u00e2n"};
    fx.d[TAI + UAN + LANG] = {"t\u00e2i-u\u00e2n-l\u00e2ng"};
    fx.d[TAI + PAK] = {"t\u00e2i-pak"};
    fx.d[TAI_THAU] = {"t\u00e2i-th\u00e2u"};
    return fx;
}

}  // namespace kov::test
