// Commands that only tests serve, for what the server's own commands cannot show yet or at all:
// a user-dictionary change made by a command, a handler that throws, events queued during a
// request, a broadcast, and a command of the input-line table.
//   "test-add-user-word" {key, word}: adds the Tai-lo word under the key; "result" true when added
//   "test-throw" {text?, raw?}: sets "partial" 1, then throws std::runtime_error with text
//     (default "boom"), followed by the byte 0xFF when raw is true
//   "test-events" {count}: queues count events {"event":"test","n":i} on the session
//   "test-broadcast": broadcasts {"event":"test-broadcast"} to every open session
//   "test-line-size" (input-line table): "result" the input line's size
//   "test-commit" {keys} (input-line table): types the keys into the input line and commits
//     them (pops every word off the front, then clears the line), which hands the line to the
//     learner; "result" the positions popped
//   "test-learned" {timeout-ms?}: waits until the learner has learned every line handed to it
//     (default 5000 ms); "result" false when it had not by then
#pragma once

#include "engine/Kelvaro/command_table.h"

namespace kov::test {

void registerTestCommands(C_CommandTables& tables);

// The server's commands with the test commands, sealed once.
const C_CommandTables& serverTablesWithTestCommands();

}  // namespace kov::test
