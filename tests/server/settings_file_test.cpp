// The front end's settings file: read whole by "get-preferences", one member rewritten by
// "notify-release-checked" in a fixed byte layout, and a file that the server cannot make
// sense of is never written over.

#include "engine/Kelvaro/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fixtures/temp_folder.h"

namespace kov {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

const std::string kBom = "\xEF\xBB\xBF";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

json failed(const std::string& error) { return {{"ok", false}, {"error", error}}; }

json dayRequest(json day) {
    return {{"cmd", "notify-release-checked"}, {"last-check-release-day", std::move(day)}};
}

struct S_Folder {
    test::C_TempFolder m_dir;
    fs::path file() const { return m_dir.path() / "Brumeli.json"; }
    fs::path sideFile() const { return m_dir.path() / "Brumeli.json.tmp"; }
    void write(const std::string& bytes) const { m_dir.write("Brumeli.json", bytes); }

    json get() const {
        json reply;
        getPreferences(m_dir.path(), reply);
        return reply;
    }
    json notify(const json& request) const {
        json reply;
        notifyReleaseChecked(request, m_dir.path(), reply);
        return reply;
    }
};

TEST(SettingsFile, NotifyWithoutAFileCreatesOneHoldingOnlyTheDay) {
    S_Folder f;
    EXPECT_EQ(f.get(), failed("Missing preferences"));
    EXPECT_EQ(f.notify(dayRequest(19876)), json({{"ok", true}}));
    EXPECT_EQ(readFile(f.file()), kBom + "{\r\n    \"last-check-release-day\": 19876\r\n}");
    EXPECT_FALSE(fs::exists(f.sideFile()));
    EXPECT_EQ(f.get(), json({{"ok", true}, {"result", {{"last-check-release-day", 19876}}}}));
}

TEST(SettingsFile, NotifyKeepsEveryOtherMemberAndWritesKeysInOrder) {
    S_Folder f;
    // No byte-order mark, LF line breaks, keys out of order: rewritten in the server's layout.
    f.write(
        "{\"zeta\": [1, 2.5, \"T\xC3\xA2i-l\xC3\xB4\"],\n \"alpha\": {\"b\": true, \"a\": null},\n"
        " \"last-check-release-day\": 1, \"big\": 18446744073709551615, \"empty\": {}}");
    EXPECT_EQ(f.notify(dayRequest(20000)), json({{"ok", true}}));
    const std::string expected = kBom +
                                 "{\r\n"
                                 "    \"alpha\": {\r\n"
                                 "        \"a\": null,\r\n"
                                 "        \"b\": true\r\n"
                                 "    },\r\n"
                                 "    \"big\": 18446744073709551615,\r\n"
                                 "    \"empty\": {},\r\n"
                                 "    \"last-check-release-day\": 20000,\r\n"
                                 "    \"zeta\": [\r\n"
                                 "        1,\r\n"
                                 "        2.5,\r\n"
                                 "        \"T\xC3\xA2i-l\xC3\xB4\"\r\n"
                                 "    ]\r\n"
                                 "}";
    EXPECT_EQ(readFile(f.file()), expected);
    // Read back, the object has the new day and every other member as it was.
    const json result = f.get().at("result");
    EXPECT_EQ(result, json::parse("{\"zeta\": [1, 2.5, \"T\xC3\xA2i-l\xC3\xB4\"], \"alpha\": "
                                  "{\"b\": true, \"a\": null}, \"last-check-release-day\": 20000,"
                                  " \"big\": 18446744073709551615, \"empty\": {}}"));
    // Its own file (with the byte-order mark) is read and rewritten unchanged but for the day.
    EXPECT_EQ(f.notify(dayRequest(20000)), json({{"ok", true}}));
    EXPECT_EQ(readFile(f.file()), expected);
}

TEST(SettingsFile, TheDayIsTheLow32BitsOfAnyJsonInteger) {
    struct S_Case {
        json m_day;
        int64_t m_stored;
    };
    const S_Case cases[] = {
        {0, 0},
        {-1, -1},
        {2147483647, 2147483647},
        {json(uint64_t{2147483648u}), -2147483648LL},
        {json(uint64_t{4294967295u}), -1},
        {json(uint64_t{4294967296u}), 0},
        {json(int64_t{-4294967297LL}), -1},
        {json(uint64_t{18446744073709551615u}), -1},
    };
    S_Folder f;
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.m_day.dump());
        ASSERT_EQ(f.notify(dayRequest(c.m_day)), json({{"ok", true}}));
        EXPECT_EQ(f.get().at("result").at("last-check-release-day").get<int64_t>(), c.m_stored);
    }
}

TEST(SettingsFile, ADayThatIsNoJsonIntegerIsMissingAndChangesNothing) {
    const json requests[] = {
        {{"cmd", "notify-release-checked"}},
        dayRequest("20000"),
        dayRequest(20000.0),
        dayRequest(true),
        dayRequest(nullptr),
        dayRequest(json::array({20000})),
        json::array({"last-check-release-day", 1}),
    };
    S_Folder f;
    for (const json& request : requests) {
        SCOPED_TRACE(request.dump());
        EXPECT_EQ(f.notify(request), failed("Missing last-check-release-day"));
        EXPECT_FALSE(fs::exists(f.file()));
    }
    f.write("{\"a\":1}");
    EXPECT_EQ(f.notify(dayRequest("1")), failed("Missing last-check-release-day"));
    EXPECT_EQ(readFile(f.file()), "{\"a\":1}");
}

// What both commands answer for a file the server cannot use; the file is never written over.
TEST(SettingsFile, AFileThatIsNoUsableObjectIsNeverWrittenOver) {
    const std::string deep = std::string(64, '[') + std::string(64, ']');
    struct S_Case {
        std::string m_bytes;
        std::string m_error;  // "" when parsing throws
    };
    const S_Case cases[] = {
        {"[1]", "Malformed preferences"},
        {"\"text\"", "Malformed preferences"},
        {"null", "Malformed preferences"},
        {kBom + "3", "Malformed preferences"},
        {"{", ""},
        {"{} x", ""},
        {"", ""},
        {"{\"a\": 1, }", ""},
        {"{\"a\": \"\xFF\"}", "Malformed preferences: not UTF-8 text"},
        {"{\"a\": \"\xC3\"}", "Malformed preferences: not UTF-8 text"},
        {std::string("\xFF\xFE{\0}\0", 6), "Malformed preferences: not UTF-8 text"},
        {"{\"a\": " + deep + "}", "Malformed preferences: nested deeper than 64 levels"},
        {std::string(200000, '['), "Malformed preferences: nested deeper than 64 levels"},
        {"{\"a\": \"" + std::string(kMaxSettingsFileSize, 'x') + "\"}",
         "Malformed preferences: larger than 1048576 bytes"},
    };
    for (const S_Case& c : cases) {
        SCOPED_TRACE(c.m_bytes.substr(0, 40));
        S_Folder f;
        f.write(c.m_bytes);
        if (c.m_error.empty()) {
            EXPECT_THROW(f.get(), json::parse_error);
            EXPECT_THROW(f.notify(dayRequest(5)), json::parse_error);
        } else {
            EXPECT_EQ(f.get(), failed(c.m_error));
            EXPECT_EQ(f.notify(dayRequest(5)), failed(c.m_error));
        }
        EXPECT_EQ(readFile(f.file()), c.m_bytes);
        EXPECT_FALSE(fs::exists(f.sideFile()));
    }
}

TEST(SettingsFile, LimitsLetTheLargestAndDeepestAllowedFileThrough) {
    S_Folder f;
    // 63 arrays inside the object: 64 levels in all.
    const std::string deep = "{\"a\": " + std::string(63, '[') + std::string(63, ']') + "}";
    f.write(deep);
    EXPECT_EQ(f.get().at("ok"), true);
    // Exactly the largest size.
    const std::string big = "{\"a\": \"" + std::string(kMaxSettingsFileSize - 9, 'x') + "\"}";
    ASSERT_EQ(big.size(), kMaxSettingsFileSize);
    f.write(big);
    EXPECT_EQ(f.get().at("ok"), true);
}

TEST(SettingsFile, AFileThatCannotBeWrittenAnswersAndStaysAsItWas) {
    S_Folder f;
    f.write("{\"a\": 1}");
    // A folder where the side file goes: the save cannot even start, for any user.
    fs::create_directory(f.sideFile());
    EXPECT_EQ(f.notify(dayRequest(7)), failed("Failed to write preferences"));
    EXPECT_EQ(readFile(f.file()), "{\"a\": 1}");

    // A per-user folder that does not exist: nothing to read, nowhere to write.
    json reply;
    notifyReleaseChecked(dayRequest(7), f.m_dir.path() / "missing", reply);
    EXPECT_EQ(reply, failed("Failed to write preferences"));
    reply = json();
    getPreferences(f.m_dir.path() / "missing", reply);
    EXPECT_EQ(reply, failed("Missing preferences"));
}

// A process ended between writing the side file and replacing the settings file with it: the
// file holds the last rewrite that answered, and start-up drops the side file.
TEST(SettingsFile, TheSideFileOfARewriteCutShortIsDroppedAndTheFileKept) {
    S_Folder f;
    f.write("{\"a\": 1}");
    f.m_dir.write("Brumeli.json.tmp", kBom + "{\r\n    \"a\": 1,\r\n    \"last-check");
    dropUnfinishedSettingsSave(f.m_dir.path());
    EXPECT_FALSE(fs::exists(f.sideFile()));
    EXPECT_EQ(readFile(f.file()), "{\"a\": 1}");
    dropUnfinishedSettingsSave(f.m_dir.path());  // nothing to drop
    EXPECT_EQ(f.get(), json({{"ok", true}, {"result", {{"a", 1}}}}));
}

TEST(SettingsFile, ASettingsPathThatIsNoFileIsNotRead) {
    S_Folder f;
    fs::create_directory(f.file());
    EXPECT_EQ(f.get(), failed("Failed to read preferences"));
    EXPECT_EQ(f.notify(dayRequest(7)), failed("Failed to read preferences"));
    EXPECT_TRUE(fs::is_directory(f.file()));
}

TEST(SettingsFile, TheWrittenBytesFollowTheLayout) {
    EXPECT_EQ(settingsFileBytes(json::object()), kBom + "{}");
    EXPECT_EQ(settingsFileBytes({{"b", "line\nbreak"}, {"a", json::array()}}),
              kBom + "{\r\n    \"a\": [],\r\n    \"b\": \"line\\nbreak\"\r\n}");
}

}  // namespace
}  // namespace kov
