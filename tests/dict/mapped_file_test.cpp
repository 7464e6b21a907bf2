#include "engine/dict/mapped_file.h"

#include "fixtures/temp_folder.h"
#include "tests/support/file_error_print.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kov {
namespace {

TEST(MappedFile, MapsTheWholeFileWithItsSize) {
    test::C_TempFolder dir;
    std::string bytes(5000, 'x');
    bytes[0] = 'a';
    bytes.back() = 'z';
    const auto path = dir.write("whole.bin", bytes);
    {
        C_MappedFile file(path);
        ASSERT_NE(file.view(), nullptr);
        EXPECT_TRUE(file.error().ok());
        ASSERT_EQ(file.size(), bytes.size());
        EXPECT_EQ(std::memcmp(file.view(), bytes.data(), bytes.size()), 0);
        EXPECT_EQ(file.bytes().u8At(4999), 'z');
        EXPECT_EQ(file.bytes().u8At(5000), std::nullopt);
        // Pages handed back to the system read the same when touched again.
        file.releaseResident();
        EXPECT_EQ(std::memcmp(file.view(), bytes.data(), bytes.size()), 0);
    }
}

TEST(MappedFile, MissingFileSaysItCouldNotOpenIt) {
    test::C_TempFolder dir;
    const auto path = dir.path() / "absent.tab";
    C_MappedFile file(path);
    EXPECT_EQ(file.view(), nullptr);
    EXPECT_EQ(file.size(), 0u);
    EXPECT_EQ(file.error(),
              qiv::C_FileError(qiv::E_FileError::UNREADABLE,
                               "Failed to open \"" + pathText(path) + "\" for read-only"));
    EXPECT_TRUE(file.bytes().atEnd());
}

TEST(MappedFile, FolderCannotBeOpenedAsAFile) {
    test::C_TempFolder dir;
    C_MappedFile file(dir.path());
    EXPECT_EQ(file.view(), nullptr);
    EXPECT_EQ(file.error().text.rfind("Failed to open \"", 0), 0u) << file.error().text;
}

// Windows cannot map an empty file; both builds report it the same way.
TEST(MappedFile, EmptyFileCannotBeMapped) {
    test::C_TempFolder dir;
    const auto path = dir.write("empty.tab", "");
    C_MappedFile file(path);
    EXPECT_EQ(file.view(), nullptr);
    EXPECT_EQ(file.size(), 0u);
    EXPECT_EQ(file.error(),
              qiv::C_FileError(qiv::E_FileError::UNREADABLE, "Failed to create file mapping"));
}

TEST(MappedFile, PathWithNonAsciiNameOpens) {
    test::C_TempFolder dir;
    const auto path = dir.write("\xE5\x8F\xB0\xE7\x81\xA3-cats.tab", "abc");
    C_MappedFile file(path);
    ASSERT_NE(file.view(), nullptr) << file.error().text;
    EXPECT_EQ(file.size(), 3u);
}

// Several readers may map the same file at once (the file is shared for reading).
TEST(MappedFile, SameFileMapsTwice) {
    test::C_TempFolder dir;
    const auto path = dir.write("shared.tab", "shared");
    C_MappedFile a(path);
    C_MappedFile b(path);
    ASSERT_NE(a.view(), nullptr);
    ASSERT_NE(b.view(), nullptr);
    EXPECT_EQ(std::string(static_cast<const char*>(b.view()), b.size()), "shared");
}

// Every stage at which mapping can stop has its text, so that a dictionary never fails to load
// without saying why (the last stage is reached only on Windows).
TEST(MappedFile, EveryFailedStageSaysWhy) {
    const std::filesystem::path path = "d/tailo.tab";
    const struct {
        platform::E_MapResult result;
        std::string text;
    } cases[] = {
        {platform::E_MapResult::OPEN_FAILED, "Failed to open \"d/tailo.tab\" for read-only"},
        {platform::E_MapResult::MAPPING_FAILED, "Failed to create file mapping"},
        {platform::E_MapResult::VIEW_FAILED, "Failed to map a view of \"d/tailo.tab\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mapFailure(c.result, path),
                  qiv::C_FileError(qiv::E_FileError::UNREADABLE, c.text));
    EXPECT_TRUE(mapFailure(platform::E_MapResult::MAPPED, path).ok());
}

}  // namespace
}  // namespace kov
