// The candidate and related-choice commands (table INPUT_LINE): the candidates at the input
// line's nail position, nailing one, the committed words, and the related choices after the last
// word; and the hook that turns every word popped off a session's line into a "pop-front" event
// of that session.
//
// "type" is one character: the list mode ('H', 'M', 'T') of the candidate lists and of the
// related choices. "index" and "count" are integers; a count running past the list ends with
// the list. Arguments are read in the order of each command and the first refused one answers.

#include <cstddef>
#include <optional>
#include <string>

#include "engine/Kelvaro/command_table.h"
#include "engine/Kelvaro/request_readers.h"
#include "engine/Kelvaro/session.h"
#include "engine/Kelvaro/voc_json.h"
#include "engine/compose/input_line.h"

namespace kov {

namespace {

using nlohmann::json;

// The arguments of the commands: "type", then "index" and "count" for the commands that take
// them.
struct S_Arguments {
    char type = 0;
    std::size_t index = 0;
    std::size_t count = 0;
};
enum E_Members { TYPE = 1, TYPE_INDEX = 2, TYPE_INDEX_COUNT = 3 };

// Reads the first `members` arguments in order; at the first one refused, its error is the
// reply and nothing is returned.
std::optional<S_Arguments> readArguments(const json& request, json& reply, E_Members members) {
    S_Arguments args;
    const auto type = getOptString(request, "type");
    if (!type || type->size() != 1) {
        setError(reply, "Missing type");
        return std::nullopt;
    }
    args.type = type->front();
    if (members >= TYPE_INDEX) {
        const auto index = optionalNumber<std::size_t>(request, "index");
        if (!index) {
            setError(reply, "Missing index");
            return std::nullopt;
        }
        args.index = *index;
    }
    if (members >= TYPE_INDEX_COUNT) {
        const auto count = optionalNumber<std::size_t>(request, "count");
        if (!count) {
            setError(reply, "Missing count");
            return std::nullopt;
        }
        args.count = *count;
    }
    return args;
}

void nailCandidate(C_Session& session, const json& request, json& reply) {
    const auto args = readArguments(request, reply, TYPE_INDEX);
    if (!args)
        return;
    // The line's refusals (a dirty line, no such list or entry) are logged, not errors.
    reply["result"] = session.inputLine().nailCandidate(args->type, args->index);
}

void getCandidatesAtNailPos(C_Session& session, const json& request, json& reply) {
    const auto args = readArguments(request, reply, TYPE_INDEX_COUNT);
    if (!args)
        return;
    json candidates = json::array();
    session.inputLine().getCandidatesAtNailPos(args->type, args->index, args->count,
                                               [&](std::size_t pos, const C_VocCandidate& view) {
                                                   candidateToJson(pos, view, candidates);
                                               });
    reply["result"] = std::move(candidates);
}

void getCandidateCountAtNailPos(C_Session& session, const json& request, json& reply) {
    const auto args = readArguments(request, reply, TYPE);
    if (!args)
        return;
    reply["result"] = session.inputLine().getCandidateCountAtNailPos(args->type);
}

void getConfirmedCandidates(C_Session& session, const json&, json& reply) {
    json words = json::array();
    session.inputLine().getConfirmedCandidates(
        [&](std::size_t pos, const C_VocCandidate& view) {
            if (!view.m_hidden)
                candidateToJson(pos, view, words);
            return true;
        },
        false);
    reply["result"] = std::move(words);
}

// The related-choice commands answer 0, an empty list or false where the line has none (caret
// not at the end, tone-numbered mode, a last word from no dictionary).
void getCountOfRelatedChoices(C_Session& session, const json& request, json& reply) {
    const auto args = readArguments(request, reply, TYPE);
    if (!args)
        return;
    reply["result"] = session.inputLine().getCountOfRelatedChoices(args->type);
}

void getRelatedChoices(C_Session& session, const json& request, json& reply) {
    const auto args = readArguments(request, reply, TYPE_INDEX_COUNT);
    if (!args)
        return;
    json choices = json::array();
    session.inputLine().getRelatedChoices(
        args->type, args->index, args->count,
        [&](std::string_view word, char mode) { appendRelatedChoice(word, mode, choices); });
    reply["result"] = std::move(choices);
}

// "result" is the line's dirty flag afterwards: false right after an edit (the front end must
// query first) and when no choice was applied.
void insertRelatedChoice(C_Session& session, const json& request, json& reply) {
    const auto args = readArguments(request, reply, TYPE_INDEX);
    if (!args)
        return;
    reply["result"] = session.inputLine().insertRelatedChoice(args->type, args->index);
}

// Every word and made-up space popped off the session's line becomes a "pop-front" event of that
// session, queued at once, so it goes out before the reply of the command that popped it. Hidden
// runs of hyphens are left out. The session owns the line, so the line never outlives it.
void installPopFrontEvents(C_Session& session, C_InputLine& line) {
    line.setOnPopFront([&session](const C_VocCandidate& view) {
        if (!view.m_hidden)
            session.queueEvent(popFrontEvent(view));
    });
}

}  // namespace

void registerCandidateCommands(C_CommandTables& tables) {
    constexpr auto T = C_CommandTables::INPUT_LINE;
    tables.add(T, "nail-candidate", nailCandidate);
    tables.add(T, "get-candidates-at-nail-pos", getCandidatesAtNailPos);
    tables.add(T, "get-candidate-count-at-nail-pos", getCandidateCountAtNailPos);
    tables.add(T, "get-confirmed-candidates", getConfirmedCandidates);
    tables.add(T, "get-count-of-related-choices", getCountOfRelatedChoices);
    tables.add(T, "get-related-choices", getRelatedChoices);
    tables.add(T, "insert-related-choice", insertRelatedChoice);
    tables.addImeOpenHook(installPopFrontEvents);
}

}  // namespace kov
