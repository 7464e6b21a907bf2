// The groups of commands of the server. Each group's function is defined in the group's own
// source file; adding a group is its declaration and its entry in the list below.
#include "engine/Kelvaro/command_table.h"

namespace kov {

T_CommandGroup registerLifecycleCommands;  // lifecycle_commands.cpp: "exit"

const C_CommandTables& serverCommandTables() {
    static const C_CommandTables tables = [] {
        C_CommandTables t;
        for (T_CommandGroup* group : {
                 registerLifecycleCommands,
             })
            group(t);
        t.seal();
        return t;
    }();
    return tables;
}

}  // namespace kov
