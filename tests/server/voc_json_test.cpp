// The JSON shapes of words sent to the front end: mode names, the half-shape width, the
// candidate object, the pop-front event and the related-choice item, byte for byte as dumped.
#include "engine/Kelvaro/voc_json.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/Kelvaro/input_line_commands.h"

namespace kov {
namespace {

using nlohmann::json;

TEST(VocJson, ModeNames) {
    EXPECT_EQ(vocModeName(COMPO_SEGMENT), "segment");
    EXPECT_EQ(vocModeName(COMPO_HANT), "hant");
    EXPECT_EQ(vocModeName(COMPO_TAILO), "tailo");
    for (char other : {COMPO_KEY, 'M', 'h', '\0', '\x7f'})
        EXPECT_EQ(vocModeName(other), "") << int(other);

    EXPECT_EQ(compoModeName(CM_STD), "STD");
    EXPECT_EQ(compoModeName(CM_EZ), "EZ");
    EXPECT_EQ(compoModeName(CM_TAILO), "TAILO");
    EXPECT_EQ(compoModeName(E_CompoMode(3)), "");
    EXPECT_EQ(compoModeName(E_CompoMode(255)), "");
}

TEST(VocJson, HalfShapeEstimate) {
    const struct {
        std::string text;
        size_t width;
    } cases[] = {
        {"", 0},
        {"abc", 3},
        {"t\u00e2i", 3},      // precomposed tone mark below U+0400
        {"tsia\u030dh", 6},   // combining mark counts 1
        {"\u03b1\u03ff", 2},  // Greek, below U+0400
        {"\u0400\u0416", 4},  // Cyrillic from U+0400 on is wide
        {"\u53f0\u7063", 4},  // two Han characters
        {"\u1e3f", 1},        // m with acute
        {"\u1e3e", 1},
        {"\u1e40", 2},
        {"\u1e3d", 2},
        {"\uff01", 2},      // full-width form
        {"\U00020000", 2},  // beyond the BMP
        {"a\xff"
         "b",
         2},              // a stray byte counts nothing
        {"\xe5\x8f", 0},  // a cut sequence counts nothing
        {"\xe5\x8f"
         "a",
         1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(halfshape_estimate_utf8(c.text), c.width) << c.text;
}

C_VocCandidate view(std::string text, std::vector<std::string> readings, char mode,
                    E_SourceType source, uint16_t span, uint16_t words, double weight,
                    bool isVirtual = false) {
    C_VocCandidate v;
    v.m_text = std::move(text);
    v.m_readings = std::move(readings);
    v.m_cats = {3};
    v.m_mode = mode;
    v.m_source = source;
    v.m_span = span;
    v.m_words = words;
    v.m_weight = weight;
    v.m_virtual = isVirtual;
    return v;
}

TEST(VocJson, CandidateObjectHoldsExactlyItsMembersInKeyOrder) {
    json out = json::array();
    candidateToJson(3,
                    view("\u53f0\u7063", {"t\u00e2i-u\u00e2n", "t\u0101i-u\u00e2n"}, COMPO_HANT,
                         ST_USER_EXACT, 8, 2, 12.5),
                    out);
    candidateToJson(0, view(" ", {}, COMPO_KEY, ST_RAW_KEY, 0, 0, 0.0, true), out);
    candidateToJson(5, view("", {}, COMPO_SEGMENT, ST_RAW_KEY, 1, 0, 0.0), out);
    EXPECT_EQ(
        out.dump(),
        "[{\"half-shapes\":4,\"mode\":\"hant\",\"pos\":3,\"source-id\":5,\"span-units\":8,"
        "\"tailos\":[\"t\u00e2i-u\u00e2n\",\"t\u0101i-u\u00e2n\"],\"virtual\":false,\"voc\":"
        "\"\u53f0\u7063\","
        "\"weight\":12.5,\"words\":2},"
        "{\"half-shapes\":1,\"mode\":\"\",\"pos\":0,\"source-id\":0,\"span-units\":0,\"tailos\":[],"
        "\"virtual\":true,\"voc\":\" \",\"weight\":0.0,\"words\":0},"
        "{\"half-shapes\":0,\"mode\":\"segment\",\"pos\":5,\"source-id\":0,\"span-units\":1,"
        "\"tailos\":[],"
        "\"virtual\":false,\"voc\":\"\",\"weight\":0.0,\"words\":0}]");
}

TEST(VocJson, PopFrontEventHoldsExactlyItsMembers) {
    EXPECT_EQ(popFrontEvent(view("\u53f0\u7063", {"t\u00e2i-u\u00e2n"}, COMPO_HANT, ST_SYS_PREFIX,
                                 8, 2, -1.25)),
              "{\"event\":\"pop-front\",\"mode\":\"hant\",\"source-id\":4,\"span-units\":8,"
              "\"voc\":\"\u53f0\u7063\",\"weight\":-1.25,\"words\":2}");
    EXPECT_EQ(
        popFrontEvent(view(" ", {}, COMPO_KEY, ST_RAW_KEY, 0, 0, 0.0, true)),
        R"({"event":"pop-front","mode":"","source-id":0,"span-units":0,"voc":" ","weight":0.0,"words":0})");
}

// A Tai-lo word shown by its reading has no text of its own; the event, which carries no
// readings, sends the reading in its place so that the front end gets the word.
TEST(VocJson, PopFrontEventOfAWordShownByItsReadingSendsTheReading) {
    EXPECT_EQ(popFrontEvent(view("", {"k\u00e1", "ka"}, COMPO_TAILO, ST_SYS_EXACT, 3, 1, 0.0)),
              "{\"event\":\"pop-front\",\"mode\":\"tailo\",\"source-id\":2,\"span-units\":3,"
              "\"voc\":\"k\u00e1\",\"weight\":0.0,\"words\":1}");
    EXPECT_EQ(
        popFrontEvent(view("", {}, COMPO_TAILO, ST_SYS_EXACT, 3, 1, 0.0)),
        R"({"event":"pop-front","mode":"tailo","source-id":2,"span-units":3,"voc":"","weight":0.0,"words":1})");
}

TEST(VocJson, TextsThatAreNotUtf8AreReplacedNotDropped) {
    EXPECT_EQ(popFrontEvent(view("a\xff", {}, COMPO_KEY, ST_RAW_KEY, 1, 1, 0.0)),
              "{\"event\":\"pop-front\",\"mode\":\"\",\"source-id\":0,\"span-units\":1,"
              "\"voc\":\"a\xef\xbf\xbd\",\"weight\":0.0,\"words\":1}");
}

TEST(VocJson, RelatedChoiceItem) {
    json out = json::array();
    appendRelatedChoice("\u7063\u4eba", COMPO_HANT, out);
    appendRelatedChoice("-u\u00e2n", COMPO_TAILO, out);
    EXPECT_EQ(out.dump(), "[[\"\u7063\u4eba\",\"hant\",4],[\"-u\u00e2n\",\"tailo\",4]]");
}

}  // namespace
}  // namespace kov
