#include "engine/Kelvaro/input_line_commands.h"

#include <cstddef>
#include <string>
#include <vector>

#include "engine/Kelvaro/command_table.h"
#include "engine/Kelvaro/request_readers.h"
#include "engine/Kelvaro/session.h"
#include "engine/compose/input_line.h"

namespace kov {

std::string_view compoModeName(E_CompoMode mode) {
    switch (mode) {
        case CM_STD:
            return "STD";
        case CM_EZ:
            return "EZ";
        case CM_TAILO:
            return "TAILO";
    }
    return "";
}

namespace {

using nlohmann::json;

bool isEmpty(const C_InputLine& line) { return line.size() == 0; }

void clearInputLine(C_Session& session, const json&, json& reply) {
    C_InputLine& line = session.inputLine();
    line.clear();
    reply["empty"] = isEmpty(line);
}

void insertKey(C_Session& session, const json& request, json& reply) {
    const auto key = getOptString(request, "key");
    if (!key || key->size() != 1)
        return setError(reply, "Invalid key");
    C_InputLine& line = session.inputLine();
    line.insertKey(key->front());
    reply["empty"] = isEmpty(line);
}

void moveBack(C_Session& session, const json&, json& reply) {
    reply["result"] = session.inputLine().moveBack();
}

void moveForward(C_Session& session, const json&, json& reply) {
    reply["result"] = session.inputLine().moveForward();
}

void moveHome(C_Session& session, const json&, json&) { session.inputLine().moveHome(); }

void moveEnd(C_Session& session, const json&, json&) { session.inputLine().moveEnd(); }

void moveTo(C_Session& session, const json& request, json& reply) {
    const auto pos = optionalNumber<std::size_t>(request, "pos");
    if (!pos)
        return setError(reply, "Missing position");
    reply["result"] = session.inputLine().moveTo(*pos);
}

void removeKey(C_Session& session, const json& request, json& reply) {
    const auto dir = optionalNumber<int>(request, "dir");
    if (!dir)
        return setError(reply, "Missing direction");
    C_InputLine& line = session.inputLine();
    bool removed = false;
    if (*dir > 0)
        removed = line.removeKey(C_InputLine::DIR_FORWARD);
    else if (*dir < 0)
        removed = line.removeKey(C_InputLine::DIR_BACKWARD);
    reply["result"] = removed;
    reply["empty"] = isEmpty(line);
}

void toggleNoCross(C_Session& session, const json&, json& reply) {
    C_InputLine& line = session.inputLine();
    line.toggleNoCross();
    reply["empty"] = isEmpty(line);
}

// The pop-front events of the words popped go out before this reply (the open hook of the
// candidate commands queues them).
void popFront(C_Session& session, const json&, json& reply) {
    C_InputLine& line = session.inputLine();
    const std::size_t span = line.popFront();
    reply["result"] = span;
    reply["empty"] = isEmpty(line);
}

void getInputLineSize(C_Session& session, const json&, json& reply) {
    reply["result"] = session.inputLine().size();
}

void getCaretPosition(C_Session& session, const json&, json& reply) {
    reply["result"] = session.inputLine().caret();
}

void getNailPosition(C_Session& session, const json&, json& reply) {
    reply["result"] = session.inputLine().nailPosition();
}

void doneNailing(C_Session& session, const json&, json& reply) {
    reply["result"] = session.inputLine().doneNailing();
}

void getNoCrosses(C_Session& session, const json&, json& reply) {
    json marks = json::array();
    session.inputLine().getNoCrosses([&](std::size_t pos) { marks.push_back(pos); });
    reply["result"] = std::move(marks);
}

void getKeySections(C_Session& session, const json& request, json& reply) {
    const auto poses = request.find("poses");
    if (poses == request.end() || !poses->is_array())
        return setError(reply, "Missing/invalid poses");
    std::vector<std::size_t> positions;
    positions.reserve(poses->size());
    for (const json& p : *poses) {
        const auto pos = integerAs<std::size_t>(p);
        if (!pos)
            return setError(reply, "Only integral pos allowed");
        positions.push_back(*pos);
    }
    json sections = json::array();
    session.inputLine().getKeySections(
        positions, [&](std::string_view s) { sections.push_back(std::string(s)); });
    reply["result"] = std::move(sections);
}

void getCompositionMode(C_Session& session, const json&, json& reply) {
    const E_CompoMode mode = session.inputLine().mode();
    const std::string_view name = compoModeName(mode);
    if (name.empty())
        return setError(reply, "Invalid mode id " + std::to_string(unsigned(mode)));
    reply["result"] = std::string(name);
}

void toggleCompositionMode(C_Session& session, const json&, json& reply) {
    reply["result"] = std::string(compoModeName(session.inputLine().toggleCompositionMode()));
}

void isSpuriousSpacesEnabled(C_Session& session, const json&, json& reply) {
    reply["result"] = session.inputLine().spuriousSpaces();
}

void toggleSpuriousSpaces(C_Session& session, const json&, json& reply) {
    reply["result"] = session.inputLine().toggleSpuriousSpaces();
}

void isFullShapeSymbolsEnabled(C_Session& session, const json&, json& reply) {
    reply["result"] = session.inputLine().fullShapeSymbols();
}

void toggleFullShapeSymbols(C_Session& session, const json&, json& reply) {
    reply["result"] = session.inputLine().toggleFullShapeSymbols();
}

void isRawKeyOnlyEnabled(C_Session& session, const json&, json& reply) {
    reply["result"] = session.inputLine().rawKeyOnly();
}

void toggleRawKeyOnly(C_Session& session, const json&, json& reply) {
    reply["result"] = session.inputLine().toggleRawKeyOnly();
}

void isIslandDoctrine(C_Session& session, const json&, json& reply) {
    reply["result"] = session.inputLine().islandDoctrine();
}

void toggleIslandDoctrine(C_Session& session, const json&, json& reply) {
    C_InputLine& line = session.inputLine();
    line.setIslandDoctrine(!line.islandDoctrine());
    reply["result"] = line.islandDoctrine();
}

// Before every key inserted the line pops words while it holds more elements than the limit
// (the limit itself is allowed). A new limit replaces the previous one; none is ever removed.
void setInputLineLimit(C_Session& session, const json& request, json& reply) {
    const auto limit = optionalNumber<std::size_t>(request, "limit");
    if (!limit)
        return setError(reply, "Missing limit");
    C_InputLine& line = session.inputLine();
    line.setLimitReached([&line, limit = *limit] { return line.size() > limit; });
}

}  // namespace

void registerInputLineCommands(C_CommandTables& tables) {
    constexpr auto T = C_CommandTables::INPUT_LINE;
    tables.add(T, "clear-input-line", clearInputLine);
    tables.add(T, "insert-key", insertKey);
    tables.add(T, "move-back", moveBack);
    tables.add(T, "move-forward", moveForward);
    tables.add(T, "move-home", moveHome);
    tables.add(T, "move-end", moveEnd);
    tables.add(T, "move-to", moveTo);
    tables.add(T, "remove-key", removeKey);
    tables.add(T, "toggle-no-cross", toggleNoCross);
    tables.add(T, "pop-front", popFront);
    tables.add(T, "get-input-line-size", getInputLineSize);
    tables.add(T, "get-caret-position", getCaretPosition);
    tables.add(T, "get-nail-position", getNailPosition);
    tables.add(T, "done-nailing", doneNailing);
    tables.add(T, "get-no-crosses", getNoCrosses);
    tables.add(T, "get-key-sections", getKeySections);
    tables.add(T, "get-composition-mode", getCompositionMode);
    tables.add(T, "toggle-composition-mode", toggleCompositionMode);
    tables.add(T, "is-spurious-spaces-enabled", isSpuriousSpacesEnabled);
    tables.add(T, "toggle-spurious-spaces", toggleSpuriousSpaces);
    tables.add(T, "is-full-shape-symbols-enabled", isFullShapeSymbolsEnabled);
    tables.add(T, "toggle-full-shape-symbols", toggleFullShapeSymbols);
    tables.add(T, "is-raw-key-only-enabled", isRawKeyOnlyEnabled);
    tables.add(T, "toggle-raw-key-only", toggleRawKeyOnly);
    tables.add(T, "is-island-doctrine", isIslandDoctrine);
    tables.add(T, "toggle-island-doctrine", toggleIslandDoctrine);
    tables.add(T, "set-input-line-limit", setInputLineLimit);
}

}  // namespace kov
