// Readers of request members for the command handlers, and the reply to a request they refuse.
// A member of the wrong type counts as missing; none of the readers throws.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include <nlohmann/json.hpp>

namespace kov {

// Sets "ok" false and "error" to text in reply.
void setError(nlohmann::json& reply, std::string text);

// The member's text when value is an object whose member key is a JSON string.
std::optional<std::string> getOptString(const nlohmann::json& value, std::string_view key);

// The member as T when it is a JSON integer, signed or unsigned, converted by plain integral
// conversion (the low bits: -1 read as uint32_t is 4294967295, 4294967296 read as int is 0).
// Floating-point numbers (3.0 included), booleans, strings, null, arrays and objects count as
// missing.
template <class T>
std::optional<T> optionalNumber(const nlohmann::json& value, std::string_view key);

// The value itself as T under the same rules (an element of an array of integers).
template <class T>
std::optional<T> integerAs(const nlohmann::json& value) {
    static_assert(std::is_integral_v<T>);
    if (value.is_number_unsigned())
        return static_cast<T>(value.template get<std::uint64_t>());
    if (value.is_number_integer())
        return static_cast<T>(value.template get<std::int64_t>());
    return std::nullopt;
}

template <class T>
std::optional<T> optionalNumber(const nlohmann::json& value, std::string_view key) {
    if (!value.is_object())
        return std::nullopt;
    const auto it = value.find(key);
    if (it == value.end())
        return std::nullopt;
    return integerAs<T>(*it);
}

}  // namespace kov
