// The two command tables of the sessions and how groups of commands fill them.
//
// Table INPUT_LINE holds the commands that need an input line (sessions opened with agent
// "ime"); table SESSION the commands of every open session. "open" stands in neither: the
// session recognises it first. Each group of commands lives in its own source file and
// registers its handlers in one function of type T_CommandGroup; the list of groups is in
// command_groups.cpp, one line per group. The tables are sorted by byCommandName once filled
// and searched by binary search; names match byte for byte.
//
// Not responsible for: the reply envelope, errors and "echo" (C_Session::dispatch).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

class C_Session;

namespace kov {

class C_InputLine;

// A command's handler: reads the request and fills the reply. "ok" stands true in the reply
// when it is called; a handler sets it false with "error" for an argument it refuses, and an
// exception it throws becomes "ok" false with the exception's text.
using T_CommandHandler = void (*)(C_Session& session, const nlohmann::json& request,
                                  nlohmann::json& reply);

// Runs when a session opens with agent "ime", after its input line was made and before it is
// in use: the place to install the line's callbacks that reach the session.
using T_ImeOpenHook = void (*)(C_Session& session, C_InputLine& line);

class C_CommandTables {
public:
    enum E_Table {
        INPUT_LINE = 0,  // sessions with an input line only, searched first
        SESSION = 1,     // every open session
    };
    struct C_Entry {
        std::string_view name;  // text of static storage (a literal)
        T_CommandHandler handler = nullptr;
    };

    void add(E_Table table, std::string_view name, T_CommandHandler handler);
    void addImeOpenHook(T_ImeOpenHook hook);
    // Sorts both tables. Throws std::logic_error naming a command registered twice (in either
    // table) or a handler that is null.
    void seal();

    // The handler of name in table; null when it has none. Only after seal.
    T_CommandHandler find(E_Table table, std::string_view name) const;
    const std::vector<C_Entry>& entries(E_Table table) const { return m_tables[table]; }
    const std::vector<T_ImeOpenHook>& imeOpenHooks() const { return m_imeOpenHooks; }

private:
    std::vector<C_Entry> m_tables[2];
    std::vector<T_ImeOpenHook> m_imeOpenHooks;
};

// The order of the tables: bytes compared with memcmp over the shorter name; on equality the
// shorter name comes first.
bool byCommandName(const C_CommandTables::C_Entry& a, const C_CommandTables::C_Entry& b);

// A group of commands registers its handlers (and hooks) here.
using T_CommandGroup = void(C_CommandTables& tables);

// Every group of command_groups.cpp, built and sealed once, on first use.
const C_CommandTables& serverCommandTables();

}  // namespace kov
