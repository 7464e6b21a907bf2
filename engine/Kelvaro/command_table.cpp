#include "engine/Kelvaro/command_table.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace kov {

bool byCommandName(const C_CommandTables::C_Entry& a, const C_CommandTables::C_Entry& b) {
    const size_t n = std::min(a.name.size(), b.name.size());
    const int c = n == 0 ? 0 : std::memcmp(a.name.data(), b.name.data(), n);
    return c != 0 ? c < 0 : a.name.size() < b.name.size();
}

void C_CommandTables::add(E_Table table, std::string_view name, T_CommandHandler handler) {
    m_tables[table].push_back(C_Entry{name, handler});
}

void C_CommandTables::addImeOpenHook(T_ImeOpenHook hook) { m_imeOpenHooks.push_back(hook); }

void C_CommandTables::seal() {
    std::vector<std::string_view> all;
    for (auto& table : m_tables) {
        std::sort(table.begin(), table.end(), byCommandName);
        for (const C_Entry& e : table) {
            if (!e.handler)
                throw std::logic_error("Command without handler: " + std::string(e.name));
            all.push_back(e.name);
        }
    }
    std::sort(all.begin(), all.end());
    const auto twice = std::adjacent_find(all.begin(), all.end());
    if (twice != all.end())
        throw std::logic_error("Command registered twice: " + std::string(*twice));
}

T_CommandHandler C_CommandTables::find(E_Table table, std::string_view name) const {
    const auto& entries = m_tables[table];
    const C_Entry key{name, nullptr};
    const auto it = std::lower_bound(entries.begin(), entries.end(), key, byCommandName);
    return it != entries.end() && it->name == name ? it->handler : nullptr;
}

}  // namespace kov
