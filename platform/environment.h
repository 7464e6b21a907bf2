// The process's environment variables, read and set (tests set the folders the server looks
// up; the server itself only reads them, through user_account.h and local_pipe.h).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kov::platform {

std::optional<std::string> environmentVariable(std::string_view name);
// Sets the variable, or removes it when value is empty (nullopt).
void setEnvironmentVariable(std::string_view name, std::optional<std::string_view> value);

}  // namespace kov::platform
