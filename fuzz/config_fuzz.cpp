// The server's configuration "Kelvaro.json": any bytes as the file, read as start-up reads it;
// a readable one is asked for the dictionary folder and the companion programs' paths the way
// start-up and the companion commands ask.

#include <cstdint>
#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/companions.h"
#include "engine/Kelvaro/request_readers.h"
#include "engine/Kelvaro/server_main.h"
#include "fixtures/temp_folder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace kov;
    static const test::C_TempFolder folder;
    const auto file =
        folder.write("Kelvaro.json", std::string(reinterpret_cast<const char*>(data), size));
    nlohmann::json config;
    if (!readConfiguration(file, config).ok())
        return 0;
    if (const auto dbDir = getOptString(config, "db-dir"))
        (void)(std::filesystem::path(std::u8string(dbDir->begin(), dbDir->end())) / "tailo.tab");
    for (int c = 0; c < COMPANION_COUNT; ++c)
        if (const auto program =
                getOptString(config, companionConfigKey(static_cast<E_Companion>(c))))
            (void)(folder.path() /
                   std::filesystem::path(std::u8string(program->begin(), program->end())));
    (void)config.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return 0;
}
