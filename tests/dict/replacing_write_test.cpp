// Saving through a side file: the target holds the old bytes or the new ones, never a part,
// and a failed save leaves no side file behind once it had opened one.

#include "engine/dict/replacing_write.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "engine/dict/mapped_file.h"
#include "fixtures/temp_folder.h"
#include "tests/support/file_error_print.h"

namespace kov {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fs::path sideFile(const fs::path& path) {
    fs::path side = path;
    side += ".tmp";
    return side;
}

TEST(ReplacingWrite, ReplacesTheOldFileAndLeavesNoSideFile) {
    test::C_TempFolder dir;
    const fs::path target = dir.write("t.tab", "old bytes");
    EXPECT_TRUE(writeFileReplacing(target, std::string("new\0bytes", 9)).ok());
    EXPECT_EQ(readFile(target), std::string("new\0bytes", 9));
    EXPECT_FALSE(fs::exists(sideFile(target)));

    const fs::path fresh = dir.path() / "fresh.tab";
    EXPECT_TRUE(writeFileReplacing(fresh, "").ok());
    EXPECT_TRUE(fs::exists(fresh));
    EXPECT_EQ(readFile(fresh), "");
}

TEST(ReplacingWrite, SideFileThatCannotBeOpenedLeavesEverythingAlone) {
    test::C_TempFolder dir;
    const fs::path target = dir.write("t.tab", "old bytes");
    // A folder where the side file would go: opening it for writing fails, even for root.
    fs::create_directory(sideFile(target));
    EXPECT_EQ(writeFileReplacing(target, "new").text,
              "Failed to open \"" + pathText(sideFile(target)) + "\" for writing");
    EXPECT_EQ(readFile(target), "old bytes");
    EXPECT_TRUE(fs::is_directory(sideFile(target)));  // not ours: kept

    const C_ReplaceResult r = writeReplacing(target, [](platform::C_OutFile&) { return true; });
    EXPECT_EQ(r.m_failedStep, RS_OPEN);
    EXPECT_FALSE(r.m_error.empty());
    EXPECT_EQ(r.m_sideFile, sideFile(target));
}

TEST(ReplacingWrite, FailedWriteRemovesTheSideFileAndKeepsTheOldFile) {
    test::C_TempFolder dir;
    const fs::path target = dir.write("t.tab", "old bytes");
    const C_ReplaceResult r = writeReplacing(target, [](platform::C_OutFile& out) {
        out.write("half");
        return false;
    });
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.m_failedStep, RS_WRITE);
    EXPECT_EQ(readFile(target), "old bytes");
    EXPECT_FALSE(fs::exists(sideFile(target)));
}

TEST(ReplacingWrite, FailedReplaceRemovesTheSideFile) {
    test::C_TempFolder dir;
    // The target is a folder with a file in it: no file can replace it.
    const fs::path target = dir.path() / "t.tab";
    fs::create_directory(target);
    std::ofstream(target / "inside") << "x";
    EXPECT_EQ(
        writeFileReplacing(target, "new").text,
        "Failed to rename \"" + pathText(sideFile(target)) + "\" to \"" + pathText(target) + "\"");
    EXPECT_FALSE(fs::exists(sideFile(target)));
    EXPECT_EQ(readFile(target / "inside"), "x");

    const C_ReplaceResult r = writeReplacing(target, [](platform::C_OutFile&) { return true; });
    EXPECT_EQ(r.m_failedStep, RS_REPLACE);
    EXPECT_FALSE(r.m_error.empty());
}

TEST(ReplacingWrite, SideFileWaitsUntilReplaced) {
    test::C_TempFolder dir;
    const fs::path target = dir.write("t.tab", "old bytes");
    EXPECT_TRUE(
        writeSideFile(target, [](platform::C_OutFile& out) { return out.write("new"); }).ok());
    EXPECT_EQ(readFile(target), "old bytes");
    EXPECT_EQ(readFile(sideFile(target)), "new");
    EXPECT_TRUE(replaceWithSideFile(target).ok());
    EXPECT_EQ(readFile(target), "new");
    EXPECT_FALSE(fs::exists(sideFile(target)));

    // A side file no longer wanted goes; replacing without one fails and leaves the target.
    EXPECT_TRUE(
        writeSideFile(target, [](platform::C_OutFile& out) { return out.write("newer"); }).ok());
    removeSideFile(target);
    EXPECT_FALSE(fs::exists(sideFile(target)));
    const C_ReplaceResult r = replaceWithSideFile(target);
    EXPECT_EQ(r.m_failedStep, RS_REPLACE);
    EXPECT_EQ(replaceFailure(r, target),
              qiv::C_FileError(qiv::E_FileError::WRITE, "Failed to rename \"" +
                                                            pathText(sideFile(target)) +
                                                            "\" to \"" + pathText(target) + "\""));
    EXPECT_EQ(readFile(target), "new");
}

}  // namespace
}  // namespace kov
