#include "tests/support/fake_companion.h"

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <thread>

#include "engine/dict/mapped_file.h"

namespace kov::test {

namespace {

std::size_t countPrefixed(const std::vector<std::string>& lines, std::string_view prefix) {
    std::size_t n = 0;
    for (const std::string& line : lines)
        if (line.substr(0, prefix.size()) == prefix)
            ++n;
    return n;
}

}  // namespace

void setEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
    // The Windows runtime hands its changes on to the process environment, which
    // CreateProcessW passes to the program.
    const int r = _putenv_s(name, value.c_str());
#else
    const int r = value.empty() ? unsetenv(name) : setenv(name, value.c_str(), 1);
#endif
    if (r != 0)
        throw std::runtime_error(std::string("Failed to set the environment variable ") + name);
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool programStartsRun() {
#if defined(_WIN32) && !defined(_WIN64)
    const char* value = std::getenv("KOV_TEST_32BIT_PROGRAM_STARTS");
    return value && *value && std::string_view(value) != "0";
#else
    return true;
#endif
}

void sayProgramStartsDoNotRun() {
    std::cout << "[ NOT RUN  ] 32-bit Windows build: this case starts programs; set "
                 "KOV_TEST_32BIT_PROGRAM_STARTS=1 to run it"
              << std::endl;
}

C_FakeCompanion::C_FakeCompanion() : m_log(m_folder.path() / "log.txt") {
    setEnvironment("KOV_FAKE_LOG", pathText(m_log));
    setEnvironment("KOV_FAKE_UNTIL", "");
    setEnvironment("KOV_FAKE_SLEEP_MS", "");
    setEnvironment("KOV_FAKE_EXIT", "");
    setEnvironment("KOV_FAKE_CRASH", "");
}

C_FakeCompanion::~C_FakeCompanion() {
    release();  // nothing of ours keeps waiting
    for (const char* name :
         {"KOV_FAKE_LOG", "KOV_FAKE_UNTIL", "KOV_FAKE_SLEEP_MS", "KOV_FAKE_EXIT", "KOV_FAKE_CRASH"})
        setEnvironment(name, "");
}

std::filesystem::path C_FakeCompanion::program() {
    // Absolute on Windows too, where the build's "/..." path lacks a drive.
    return std::filesystem::absolute(KOV_FAKE_COMPANION);
}

void C_FakeCompanion::exitWith(int code) { setEnvironment("KOV_FAKE_EXIT", std::to_string(code)); }

void C_FakeCompanion::crashWith(std::string_view how) {
    setEnvironment("KOV_FAKE_CRASH", std::string(how));
}

void C_FakeCompanion::holdUntilReleased() {
    // A release file of its own per round, so that releasing one round does not release the
    // programs of the next.
    m_release = m_folder.path() / ("release-" + std::to_string(++m_holds));
    setEnvironment("KOV_FAKE_UNTIL", pathText(m_release));
}

void C_FakeCompanion::release() {
    if (m_release.empty())
        return;
    std::ofstream(m_release) << "go";
}

std::vector<std::string> C_FakeCompanion::log() const {
    std::vector<std::string> lines;
    std::ifstream in(m_log, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::size_t C_FakeCompanion::starts() const { return countPrefixed(log(), "start"); }

std::size_t C_FakeCompanion::ends() const { return countPrefixed(log(), "end"); }

bool C_FakeCompanion::waitForStarts(std::size_t n) const {
    return waitUntil([&] { return starts() >= n; });
}

bool C_FakeCompanion::waitForEnds(std::size_t n) const {
    return waitUntil([&] { return ends() >= n; });
}

}  // namespace kov::test
