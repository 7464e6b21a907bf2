// The JSON shapes in which words travel to the front end: a candidate object (a list entry or a
// committed word), the "pop-front" event of a word that left the input line, and a related-choice
// item; with the names of a word's mode and the display width that all three report.
//
// Not responsible for: which words are listed or popped (the input line), the reply envelope
// (C_Session).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "engine/compose/voc_candidate.h"

namespace kov {

// The name of a word's mode character: "segment" (a no-cross mark), "hant", "tailo"; the empty
// text for every other character (the raw keys and spaces of mode COMPO_KEY among them).
std::string_view vocModeName(char mode);

// The display width of a UTF-8 text in half-width units: 1 per code point below U+0400 and for
// U+1E3E and U+1E3F (m with acute), 2 for every other code point. Malformed bytes count nothing.
std::size_t halfshape_estimate_utf8(std::string_view text);

// Appends the candidate object of view, reported at pos, to the array out: "voc", "tailos",
// "mode", "pos", "span-units", "words", "half-shapes", "source-id", "weight", "virtual".
void candidateToJson(std::size_t pos, const C_VocCandidate& view, nlohmann::json& out);

// The compact text of the "pop-front" event of a popped word: "event", "voc", "mode",
// "span-units", "words", "source-id", "weight". A word shown by its reading (no text of its own,
// a Tai-lo word not nailed outside the tone-numbered mode) is sent as its first reading, since
// the event carries no readings. Bytes that are not UTF-8 become U+FFFD.
std::string popFrontEvent(const C_VocCandidate& view);

// Appends the related-choice item [word, mode name, half-shape estimate of word] to out.
void appendRelatedChoice(std::string_view word, char mode, nlohmann::json& out);

}  // namespace kov
