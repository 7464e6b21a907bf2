// The program tests and benchmarks drive child processes from the Linux build only.
#include "platform/driven_process.h"

namespace kov::platform {

struct C_DrivenProcess::C_State {};

C_DrivenProcess::C_DrivenProcess() : m_state(std::make_unique<C_State>()) {}
C_DrivenProcess::~C_DrivenProcess() = default;

bool C_DrivenProcess::start(const S_Options&, std::string& error) {
    error = "child processes with streams are driven from the Linux build only";
    return false;
}

bool C_DrivenProcess::running() const { return false; }
long long C_DrivenProcess::pid() const { return -1; }
bool C_DrivenProcess::writeStdin(std::string_view) { return false; }
void C_DrivenProcess::closeStdin() {}
std::optional<std::string> C_DrivenProcess::readLine(std::chrono::milliseconds) {
    return std::nullopt;
}
bool C_DrivenProcess::waitStdoutEnd(std::chrono::milliseconds) { return false; }
bool C_DrivenProcess::interrupt() { return false; }
bool C_DrivenProcess::terminate() { return false; }
bool C_DrivenProcess::kill() { return false; }
std::optional<int> C_DrivenProcess::wait(std::chrono::milliseconds) { return std::nullopt; }
std::optional<std::uint64_t> C_DrivenProcess::residentBytes() const { return std::nullopt; }

}  // namespace kov::platform
