// The whole life of the server process: start-up, the event loop, teardown.
//
// Start-up finds the per-user folder and the program's path, reads the configuration (the
// first argument names its file, else "Kelvaro.json" beside the program; a missing file is an
// empty configuration), checks that "cats.tab" and "tailo.tab" exist in the dictionary folder
// ("db-dir" of the configuration, else the program's folder), takes the user's single-instance
// lock, loads the dictionaries, opens the pipe, creates the per-user folder and runs the event
// loop until a stop event or the "exit" command stops it. Teardown closes the pipe, destroys
// the loop (and with it the sessions), the database source (saving the dictionaries), the
// system dictionary and the category table, and releases the lock.
//
// Exit code 0 after a normal run, 1 for every failure of start-up (another server of the same
// user included). Nothing is printed besides the "[E] " lines of the per-user names.
#pragma once

#include <filesystem>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/command_table.h"
#include "qiv/file_error.h"

namespace kov {

// The configuration file parsed as one JSON text (a UTF-8 byte-order mark skipped, nothing but
// white space after the value) into config; null when there is no such file. UNREADABLE when
// the file cannot be tested, opened or read, DAMAGED (with the parser's text) when it is not
// JSON; config is null then.
qiv::C_FileError readConfiguration(const std::filesystem::path& path, nlohmann::json& config);

// Call from main, first thing, once per process. tables: the commands sessions serve.
int runServer(int argc, char** argv, const C_CommandTables& tables = serverCommandTables());

// What the server does with a stop event (a console event; POSIX: a signal): stops and waits
// for the teardown for the interrupt, break, close, log-off and shut-down events; answers
// whether the event counts as handled (the Windows console handler's result).
bool consoleCtrlHandler(unsigned event);

}  // namespace kov
