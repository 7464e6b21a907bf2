#include "tests/server/test_commands.h"

#include <chrono>
#include <stdexcept>
#include <string>

#include "engine/Kelvaro/db_source.h"
#include "engine/Kelvaro/request_readers.h"
#include "engine/Kelvaro/session.h"
#include "engine/compose/input_line.h"
#include "engine/compose/learn_db.h"
#include "engine/dict/user_db.h"

namespace kov::test {

namespace {

void addUserWord(C_Session& session, const nlohmann::json& request, nlohmann::json& reply) {
    const auto key = getOptString(request, "key");
    const auto word = getOptString(request, "word");
    if (!key || !word) {
        reply["ok"] = false;
        reply["error"] = "Missing key or word";
        return;
    }
    reply["result"] = session.source().userDB().addKeysToWord(*key, 'T', *word, 0.0f, {}, 0);
}

void throwError(C_Session&, const nlohmann::json& request, nlohmann::json& reply) {
    reply["partial"] = 1;
    std::string text = getOptString(request, "text").value_or("boom");
    if (request.value("raw", false))
        text += "\xff";  // a byte that is not UTF-8, as in texts of the file system
    throw std::runtime_error(text);
}

void queueEvents(C_Session& session, const nlohmann::json& request, nlohmann::json&) {
    const int count = optionalNumber<int>(request, "count").value_or(1);
    for (int i = 0; i < count; ++i)
        session.queueEvent(nlohmann::json{{"event", "test"}, {"n", i}}.dump());
}

void broadcast(C_Session&, const nlohmann::json&, nlohmann::json&) {
    broadcastToSessions(R"({"event":"test-broadcast"})");
}

void lineSize(C_Session& session, const nlohmann::json&, nlohmann::json& reply) {
    reply["result"] = session.inputLine().size();
}

void commit(C_Session& session, const nlohmann::json& request, nlohmann::json& reply) {
    C_InputLine& line = session.inputLine();
    for (char key : getOptString(request, "keys").value_or(""))
        line.insertKey(key);
    size_t popped = 0;
    while (const size_t n = line.popFront())
        popped += n;
    line.clear();
    reply["result"] = popped;
}

void waitLearned(C_Session& session, const nlohmann::json& request, nlohmann::json& reply) {
    const auto* learner = dynamic_cast<const C_LearnTailoDB*>(session.source().learner());
    if (!learner)
        throw std::logic_error("The learner is not the learning dictionary");
    const int ms = optionalNumber<int>(request, "timeout-ms").value_or(5000);
    reply["result"] = learner->waitIdle(std::chrono::milliseconds(ms));
}

}  // namespace

void registerTestCommands(C_CommandTables& tables) {
    tables.add(C_CommandTables::SESSION, "test-add-user-word", addUserWord);
    tables.add(C_CommandTables::SESSION, "test-throw", throwError);
    tables.add(C_CommandTables::SESSION, "test-events", queueEvents);
    tables.add(C_CommandTables::SESSION, "test-broadcast", broadcast);
    tables.add(C_CommandTables::INPUT_LINE, "test-line-size", lineSize);
    tables.add(C_CommandTables::INPUT_LINE, "test-commit", commit);
    tables.add(C_CommandTables::SESSION, "test-learned", waitLearned);
}

const C_CommandTables& serverTablesWithTestCommands() {
    static const C_CommandTables tables = [] {
        C_CommandTables t = serverCommandTables();
        registerTestCommands(t);
        t.seal();
        return t;
    }();
    return tables;
}

}  // namespace kov::test
