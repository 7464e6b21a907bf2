#include "engine/Kelvaro/request_readers.h"

#include <utility>

namespace kov {

void setError(nlohmann::json& reply, std::string text) {
    reply["ok"] = false;
    reply["error"] = std::move(text);
}

std::optional<std::string> getOptString(const nlohmann::json& value, std::string_view key) {
    if (!value.is_object())
        return std::nullopt;
    const auto it = value.find(key);
    if (it == value.end() || !it->is_string())
        return std::nullopt;
    return it->get<std::string>();
}

}  // namespace kov
