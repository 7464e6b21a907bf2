// The front end's settings file "Brumeli.json": any bytes as the file, then "get-preferences"
// and "notify-release-checked" (with the input's second part as the request, when it is JSON).
// The update either fails and leaves the file as it was, or writes a file that reads back as an
// object holding the new day.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/settings_file.h"
#include "fixtures/temp_folder.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace kov;
using nlohmann::json;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const test::C_TempFolder folder;
    const auto parts = fuzz::splitParts(data, size, 2);
    const auto file = folder.write(std::string(kSettingsFileName), parts[0]);

    json reply = json::object();
    try {
        getPreferences(folder.path(), reply);
        if (reply.value("ok", false) && !reply.at("result").is_object())
            std::abort();
    } catch (const json::exception&) {
    }

    json request = json::parse(parts[1], nullptr, false);
    if (request.is_discarded() || !request.is_object())
        request = {{"last-check-release-day", static_cast<int>(size)}};
    reply = json::object();
    bool threw = false;
    try {
        notifyReleaseChecked(request, folder.path(), reply);
    } catch (const json::exception&) {
        threw = true;
    }
    const std::string after = readFile(file);
    if (threw || !reply.value("ok", false)) {
        if (after != parts[0])
            std::abort();  // a refused update must leave the file as it was
        return 0;
    }
    json again = json::object();
    getPreferences(folder.path(), again);
    if (!again.value("ok", false) || !again.at("result").contains("last-check-release-day"))
        std::abort();
    return 0;
}
