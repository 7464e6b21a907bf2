// The command that ends the server: "exit" answers "ok" and stops the event loop once the
// reply was written; start-up then tears the server down (saving the dictionaries) and the
// process ends with exit code 0.
#include "engine/Kelvaro/command_table.h"
#include "engine/Kelvaro/session.h"

namespace kov {

namespace {

void exitServer(C_Session& session, const nlohmann::json&, nlohmann::json&) {
    session.stopServerAfterReply();
}

}  // namespace

void registerLifecycleCommands(C_CommandTables& tables) {
    tables.add(C_CommandTables::SESSION, "exit", exitServer);
}

}  // namespace kov
