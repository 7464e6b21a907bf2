// The program tests and benchmarks drive child processes from the Linux build only.
#include "platform/driven_process.h"

namespace kov::platform {

C_DrivenProcess::~C_DrivenProcess() = default;

bool C_DrivenProcess::start(const S_Options&, std::string& error) {
    error = "child processes with streams are driven from the Linux build only";
    return false;
}

bool C_DrivenProcess::writeStdin(std::string_view) { return false; }
void C_DrivenProcess::closeStdin() {}
bool C_DrivenProcess::fillOut_(std::chrono::milliseconds) { return false; }
std::optional<std::string> C_DrivenProcess::readLine(std::chrono::milliseconds) {
    return std::nullopt;
}
bool C_DrivenProcess::waitStdoutEnd(std::chrono::milliseconds) { return false; }
bool C_DrivenProcess::signal_(int) { return false; }
bool C_DrivenProcess::interrupt() { return false; }
bool C_DrivenProcess::terminate() { return false; }
bool C_DrivenProcess::kill() { return false; }
std::optional<int> C_DrivenProcess::wait(std::chrono::milliseconds) { return m_exit; }
std::optional<std::uint64_t> C_DrivenProcess::residentBytes() const { return std::nullopt; }

}  // namespace kov::platform
