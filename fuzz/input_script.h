#pragma once
// Edits and queries of an input line driven by a script of bytes, one step per byte (some steps
// take the next byte as their argument): what a front end does while a user types, lists
// candidates, nails, pops and takes related choices. Keys are every other printable ASCII byte,
// the wildcards "?" and "*" among them. The line's documented refusals (a full line, a caret
// that cannot move, a list the line could not build) end a step; nothing else may be thrown.

#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "engine/compose/input_line.h"

namespace kov::fuzz {

inline void runLineScript(C_InputLine& line, std::string_view script) {
    char listMode = 'H';
    auto argument = [&](size_t& i) -> uint8_t {
        return i + 1 < script.size() ? static_cast<uint8_t>(script[++i]) : 0;
    };
    for (size_t i = 0; i < script.size(); ++i) {
        const char op = script[i];
        try {
            switch (op) {
                case '|':
                    line.toggleNoCross();
                    break;
                case '<':
                    line.removeKey(C_InputLine::DIR_BACKWARD);
                    break;
                case '>':
                    line.removeKey(C_InputLine::DIR_FORWARD);
                    break;
                case '[':
                    line.moveBack();
                    break;
                case ']':
                    line.moveForward();
                    break;
                case '^':
                    line.moveHome();
                    break;
                case '$':
                    line.moveEnd();
                    break;
                case '@':
                    line.moveTo(argument(i) % (line.size() + 2));
                    break;
                case '!':
                    line.toggleCompositionMode();
                    break;
                case '~':
                    line.toggleSpuriousSpaces();
                    break;
                case '%':
                    line.toggleFullShapeSymbols();
                    break;
                case '#':
                    line.toggleRawKeyOnly();
                    break;
                case '&':
                    line.setIslandDoctrine(!line.islandDoctrine());
                    line.syncIslandDoctrine();
                    break;
                case '{':
                case '}':
                case '(': {
                    listMode = op == '{' ? 'H' : op == '}' ? 'T' : 'M';
                    const size_t count = line.getCandidateCountAtNailPos(listMode);
                    line.getCandidatesAtNailPos(listMode, 0, count,
                                                [](size_t, const C_VocCandidate&) {});
                    break;
                }
                case '=': {
                    const size_t count = line.getCandidateCountAtNailPos(listMode);
                    line.nailCandidate(listMode, count == 0 ? 0 : argument(i) % count);
                    break;
                }
                case '.':
                    line.popFront();
                    break;
                case '/':
                    line.getConfirmedCandidates([](size_t, const C_VocCandidate&) { return true; },
                                                false);
                    (void)line.winners();
                    (void)line.nailPosition();
                    (void)line.doneNailing();
                    break;
                case ',':
                    for (char type : {'H', 'M', 'T'}) {
                        const size_t count = line.getCountOfRelatedChoices(type);
                        line.getRelatedChoices(type, 0, count, [](std::string_view, char) {});
                    }
                    break;
                case ';': {
                    const size_t count = line.getCountOfRelatedChoices(listMode);
                    line.insertRelatedChoice(listMode, count == 0 ? 0 : argument(i) % count);
                    break;
                }
                case '\n':
                    line.clear();
                    break;
                default:
                    if (op > ' ' && op < 0x7F)
                        line.insertKey(op);
                    break;
            }
        } catch (const std::runtime_error&) {
            // A full line, a list past its storage, a related word that does not fit.
        }
    }
    // Whatever the edits left, the line composes and lists.
    line.getConfirmedCandidates([](size_t, const C_VocCandidate&) { return true; }, false);
    (void)line.getCandidateCountAtNailPos('H');
}

}  // namespace kov::fuzz
