#include "tests/support/temp_folder.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace kov::test {

namespace {
std::atomic<unsigned> g_serial{0};
}

C_TempFolder::C_TempFolder() {
    const auto base = std::filesystem::temp_directory_path();
    std::random_device rd;
    const auto tick = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "kov-test-" + std::to_string(rd()) + "-" + std::to_string(tick) +
                                 "-" + std::to_string(g_serial.fetch_add(1));
        std::error_code ec;
        if (std::filesystem::create_directory(base / name, ec) && !ec) {
            m_path = base / name;
            return;
        }
    }
    throw std::runtime_error("Failed to create a temporary test folder");
}

C_TempFolder::~C_TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::filesystem::path C_TempFolder::write(std::string_view name, std::string_view bytes) const {
    const std::filesystem::path file = m_path / std::filesystem::path(std::u8string(name.begin(), name.end()));
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("Failed to write test file " + std::string(name));
    return file;
}

}  // namespace kov::test
