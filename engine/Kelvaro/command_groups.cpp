// The groups of commands of the server. Each group's function is defined in the group's own
// source file; adding a group is its declaration and its entry in the list below.
#include "engine/Kelvaro/command_table.h"

namespace kov {

T_CommandGroup registerLifecycleCommands;   // lifecycle_commands.cpp: "exit"
T_CommandGroup registerInputLineCommands;   // input_line_commands.cpp: keys, caret, flags, limit
T_CommandGroup registerCandidateCommands;   // candidate_commands.cpp: candidates, related choices
T_CommandGroup registerVocabularyCommands;  // vocabulary_commands.cpp: the user's vocabulary
T_CommandGroup registerCompanionCommands;   // companion_commands.cpp: companions, settings file

const C_CommandTables& serverCommandTables() {
    static const C_CommandTables tables = [] {
        C_CommandTables t;
        for (T_CommandGroup* group : {
                 registerLifecycleCommands,
                 registerInputLineCommands,
                 registerCandidateCommands,
                 registerVocabularyCommands,
                 registerCompanionCommands,
             })
            group(t);
        t.seal();
        return t;
    }();
    return tables;
}

}  // namespace kov
