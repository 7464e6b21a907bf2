#pragma once
// Sets (or removes) an environment variable for the life of the object, then puts back what
// was there.

#include <optional>
#include <string>
#include <string_view>

#include "platform/environment.h"

namespace kov::test {

class C_ScopedEnv {
public:
    C_ScopedEnv(std::string name, std::optional<std::string_view> value)
        : m_name(std::move(name)), m_old(platform::environmentVariable(m_name)) {
        platform::setEnvironmentVariable(m_name, value);
    }
    ~C_ScopedEnv() {
        if (m_old)
            platform::setEnvironmentVariable(m_name, std::string_view(*m_old));
        else
            platform::setEnvironmentVariable(m_name, std::nullopt);
    }
    C_ScopedEnv(const C_ScopedEnv&) = delete;
    C_ScopedEnv& operator=(const C_ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

}  // namespace kov::test
