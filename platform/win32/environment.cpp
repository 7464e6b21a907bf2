#include "platform/environment.h"

#include <cstdlib>

namespace kov::platform {

std::optional<std::string> environmentVariable(std::string_view name) {
    const char* value = std::getenv(std::string(name).c_str());
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void setEnvironmentVariable(std::string_view name, std::optional<std::string_view> value) {
    // An empty value removes the variable for _putenv_s.
    _putenv_s(std::string(name).c_str(), value ? std::string(*value).c_str() : "");
}

}  // namespace kov::platform
