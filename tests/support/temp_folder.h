#pragma once
// A fresh folder under the system temporary folder for one test, removed with everything in it
// when the object goes. Destroy every mapping of its files first (Windows refuses to delete a
// mapped file).

#include <filesystem>
#include <string_view>

namespace kov::test {

class C_TempFolder {
public:
    C_TempFolder();
    ~C_TempFolder();
    C_TempFolder(const C_TempFolder&) = delete;
    C_TempFolder& operator=(const C_TempFolder&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    // Writes bytes as the file name inside the folder (replacing it) and returns its path.
    // Throws std::runtime_error when the file cannot be written.
    std::filesystem::path write(std::string_view name, std::string_view bytes) const;

private:
    std::filesystem::path m_path;
};

}  // namespace kov::test
