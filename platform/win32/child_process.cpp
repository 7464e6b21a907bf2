// The program tests and benchmarks drive child processes from the Linux build only.
#include "platform/child_process.h"

namespace kov::platform {

C_ChildProcess::~C_ChildProcess() = default;

bool C_ChildProcess::start(const S_Options&, std::string& error) {
    error = "child processes with streams are driven from the Linux build only";
    return false;
}

bool C_ChildProcess::writeStdin(std::string_view) { return false; }
void C_ChildProcess::closeStdin() {}
bool C_ChildProcess::fillOut_(std::chrono::milliseconds) { return false; }
std::optional<std::string> C_ChildProcess::readLine(std::chrono::milliseconds) { return std::nullopt; }
bool C_ChildProcess::waitStdoutEnd(std::chrono::milliseconds) { return false; }
bool C_ChildProcess::signal_(int) { return false; }
bool C_ChildProcess::interrupt() { return false; }
bool C_ChildProcess::terminate() { return false; }
bool C_ChildProcess::kill() { return false; }
std::optional<int> C_ChildProcess::wait(std::chrono::milliseconds) { return m_exit; }
std::optional<std::uint64_t> C_ChildProcess::residentBytes() const { return std::nullopt; }

}  // namespace kov::platform
