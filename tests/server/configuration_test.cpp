// Reading the server's configuration file: a missing file is an empty configuration, a file
// that is not JSON is an error of its own kind, never an exception.

#include "engine/Kelvaro/server_main.h"

#include <gtest/gtest.h>

#include <string>

#include "fixtures/temp_folder.h"
#include "tests/support/file_error_print.h"

namespace kov {
namespace {

using nlohmann::json;
using qiv::E_FileError;

TEST(Configuration, ReadsJsonAndTellsWhyOtherFilesAreRefused) {
    const test::C_TempFolder folder;
    struct {
        const char* what;
        const char* bytes;  // null: no file
        E_FileError kind;
        json config;
    } const cases[] = {
        {"no file", nullptr, E_FileError::NONE, nullptr},
        {"object", "{\"db-dir\": \"d\"}", E_FileError::NONE, json{{"db-dir", "d"}}},
        {"byte-order mark", "\xEF\xBB\xBF{\"a\": 1}", E_FileError::NONE, json{{"a", 1}}},
        {"zero bytes", "", E_FileError::DAMAGED, nullptr},
        {"cut short", "{", E_FileError::DAMAGED, nullptr},
        {"text after the value", "{} x", E_FileError::DAMAGED, nullptr},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string name = std::to_string(n++);
        name += ".json";
        const auto path = c.bytes ? folder.write(name, c.bytes) : folder.path() / name;
        json config = json{{"stale", true}};
        const qiv::C_FileError error = readConfiguration(path, config);
        EXPECT_EQ(error.kind, c.kind) << error.text;
        EXPECT_EQ(error.ok(), error.text.empty());
        EXPECT_EQ(config, c.config);
    }
}

}  // namespace
}  // namespace kov
