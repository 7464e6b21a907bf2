// The server program with the test commands added (tests/server/test_commands.h).
#include "engine/Kelvaro/server_main.h"
#include "tests/server/test_commands.h"

int main(int argc, char** argv) {
    return kov::runServer(argc, argv, kov::test::serverTablesWithTestCommands());
}
