#include "engine/dict/mapped_file.h"

#include "fixtures/temp_folder.h"

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
        EXPECT_EQ(file.error(), "");
        ASSERT_EQ(file.size(), bytes.size());
        EXPECT_EQ(std::memcmp(file.view(), bytes.data(), bytes.size()), 0);
        EXPECT_EQ(file.bytes().u8At(4999), 'z');
        EXPECT_EQ(file.bytes().u8At(5000), std::nullopt);
    }
}

TEST(MappedFile, MissingFileSaysItCouldNotOpenIt) {
    test::C_TempFolder dir;
    const auto path = dir.path() / "absent.tab";
    C_MappedFile file(path);
    EXPECT_EQ(file.view(), nullptr);
    EXPECT_EQ(file.size(), 0u);
    EXPECT_EQ(file.error(), "Failed to open \"" + pathText(path) + "\" for read-only");
    EXPECT_TRUE(file.bytes().atEnd());
}

TEST(MappedFile, FolderCannotBeOpenedAsAFile) {
    test::C_TempFolder dir;
    C_MappedFile file(dir.path());
    EXPECT_EQ(file.view(), nullptr);
    EXPECT_EQ(file.error().rfind("Failed to open \"", 0), 0u) << file.error();
}

// Windows cannot map an empty file; both builds report it the same way.
TEST(MappedFile, EmptyFileCannotBeMapped) {
    test::C_TempFolder dir;
    const auto path = dir.write("empty.tab", "");
    C_MappedFile file(path);
    EXPECT_EQ(file.view(), nullptr);
    EXPECT_EQ(file.size(), 0u);
    EXPECT_EQ(file.error(), "Failed to create file mapping");
}

TEST(MappedFile, PathWithNonAsciiNameOpens) {
    test::C_TempFolder dir;
    const auto path = dir.write("\xE5\x8F\xB0\xE7\x81\xA3-cats.tab", "abc");
    C_MappedFile file(path);
    ASSERT_NE(file.view(), nullptr) << file.error();
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

}  // namespace
}  // namespace kov
