// A stand-in for a companion program (preferences editor, about box, ...), started by the
// companion tests. It appends what happens to a log, waits, and ends with the exit code it is
// told. Each setting comes from an environment variable, which a program started through the
// launcher inherits, or from an option on the command line, which wins:
//
//   KOV_FAKE_LOG=<file>     --log=<file>      append "start[ <arguments>]" and "end <code>" lines
//   KOV_FAKE_UNTIL=<file>   --until=<file>    wait until this file exists (at most two minutes)
//   KOV_FAKE_SLEEP_MS=<n>   --sleep-ms=<n>    then sleep n milliseconds
//   KOV_FAKE_EXIT=<n>       --exit=<n>        exit code (0 when not given)
//   KOV_FAKE_CRASH=<how>    --crash=<how>     instead of exiting: "abort", or "kill" (SIGKILL
//                                             where the system has it, else abort)
//
// Arguments that are not options are written after "start" in the log, separated by blanks.
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

namespace {

std::string setting(int argc, char** argv, std::string_view option, const char* variable) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.size() > option.size() && arg.substr(0, option.size()) == option &&
            arg[option.size()] == '=')
            return std::string(arg.substr(option.size() + 1));
    }
    const char* value = std::getenv(variable);
    return value ? value : "";
}

void appendLog(const std::string& log, const std::string& line) {
    if (log.empty())
        return;
    std::ofstream out(log, std::ios::binary | std::ios::app);
    out << line << '\n';
}

}  // namespace

int main(int argc, char** argv) {
    const std::string log = setting(argc, argv, "--log", "KOV_FAKE_LOG");
    const std::string until = setting(argc, argv, "--until", "KOV_FAKE_UNTIL");
    const std::string sleepMs = setting(argc, argv, "--sleep-ms", "KOV_FAKE_SLEEP_MS");
    const std::string exitCode = setting(argc, argv, "--exit", "KOV_FAKE_EXIT");
    const std::string crash = setting(argc, argv, "--crash", "KOV_FAKE_CRASH");

    std::string start = "start";
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]).substr(0, 2) != "--")
            start += std::string(" ") + argv[i];
    appendLog(log, start);

    if (!until.empty()) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        std::error_code ec;
        while (!std::filesystem::exists(until, ec) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!sleepMs.empty())
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(sleepMs.c_str())));

    if (crash == "kill") {
#ifdef SIGKILL
        std::raise(SIGKILL);
#endif
        std::abort();
    }
    if (crash == "abort")
        std::abort();
    const int code = std::atoi(exitCode.c_str());
    appendLog(log, "end " + std::to_string(code));
    return code;
}
