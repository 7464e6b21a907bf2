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

// The arguments of a command, read in order; the first one missing leaves its error in the
// reply and stops the reading.
class C_Arguments {
public:
    C_Arguments(const json& request, json& reply) : m_request(request), m_reply(reply) {}

    bool ok() const { return m_ok; }

    char type() {
        const auto text = getOptString(m_request, "type");
        if (m_ok && (!text || text->size() != 1))
            refuse_("Missing type");
        return m_ok ? text->front() : '\0';
    }
    std::size_t index() { return number_("index", "Missing index"); }
    std::size_t count() { return number_("count", "Missing count"); }

private:
    std::size_t number_(const char* key, const char* error) {
        if (!m_ok)
            return 0;
        const auto n = optionalNumber<std::size_t>(m_request, key);
        if (!n)
            refuse_(error);
        return n.value_or(0);
    }
    void refuse_(const char* error) {
        m_ok = false;
        setError(m_reply, error);
    }

    const json& m_request;
    json& m_reply;
    bool m_ok = true;
};

void nailCandidate(C_Session& session, const json& request, json& reply) {
    C_Arguments args(request, reply);
    const char type = args.type();
    const std::size_t index = args.index();
    if (!args.ok())
        return;
    // The line's refusals (a dirty line, no such list or entry) are logged, not errors.
    reply["result"] = session.inputLine().nailCandidate(type, index);
}

void getCandidatesAtNailPos(C_Session& session, const json& request, json& reply) {
    C_Arguments args(request, reply);
    const char type = args.type();
    const std::size_t index = args.index();
    const std::size_t count = args.count();
    if (!args.ok())
        return;
    json candidates = json::array();
    session.inputLine().getCandidatesAtNailPos(
        type, index, count, [&](std::size_t pos, const C_VocCandidate& view) { candidateToJson(pos, view, candidates); });
    reply["result"] = std::move(candidates);
}

void getCandidateCountAtNailPos(C_Session& session, const json& request, json& reply) {
    C_Arguments args(request, reply);
    const char type = args.type();
    if (!args.ok())
        return;
    reply["result"] = session.inputLine().getCandidateCountAtNailPos(type);
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
    C_Arguments args(request, reply);
    const char type = args.type();
    if (!args.ok())
        return;
    reply["result"] = session.inputLine().getCountOfRelatedChoices(type);
}

void getRelatedChoices(C_Session& session, const json& request, json& reply) {
    C_Arguments args(request, reply);
    const char type = args.type();
    const std::size_t index = args.index();
    const std::size_t count = args.count();
    if (!args.ok())
        return;
    json choices = json::array();
    session.inputLine().getRelatedChoices(
        type, index, count, [&](std::string_view word, char mode) { appendRelatedChoice(word, mode, choices); });
    reply["result"] = std::move(choices);
}

// "result" is the line's dirty flag afterwards: false right after an edit (the front end must
// query first) and when no choice was applied.
void insertRelatedChoice(C_Session& session, const json& request, json& reply) {
    C_Arguments args(request, reply);
    const char type = args.type();
    const std::size_t index = args.index();
    if (!args.ok())
        return;
    reply["result"] = session.inputLine().insertRelatedChoice(type, index);
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
