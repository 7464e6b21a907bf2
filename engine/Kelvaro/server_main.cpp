#include "engine/Kelvaro/server_main.h"

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/client_server_common.h"
#include "engine/Kelvaro/companion_commands.h"
#include "engine/Kelvaro/db_source.h"
#include "engine/Kelvaro/pipe_listener.h"
#include "engine/Kelvaro/request_readers.h"
#include "engine/Kelvaro/server_loop.h"
#include "engine/Kelvaro/session.h"
#include "engine/Kelvaro/settings_file.h"
#include "engine/dict/mapped_file.h"
#include "engine/dict/system_dict.h"
#include "engine/dict/tailo_cats.h"
#include "platform/instance_lock.h"
#include "platform/stop_events.h"
#include "platform/user_account.h"
#include "qiv/seh_translator.h"

namespace kov {

namespace fs = std::filesystem;

namespace {

// Whether path exists; a test that fails for another reason than absence throws.
bool checkedExists(const fs::path& path) {
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    if (ec)
        throw fs::filesystem_error("exists", path, ec);
    return exists;
}

// Sets the teardown's end mark whatever way the run ends, after everything else was destroyed.
struct C_TornDownMark {
    ~C_TornDownMark() { signalServerTornDown(); }
};

// Forgets the loop before it is destroyed, so that no thread posts into a destroyed loop.
struct C_LoopAttachment {
    explicit C_LoopAttachment(asio::io_context& l) : loop(l) {}
    ~C_LoopAttachment() {
        stopServerLoop();
        detachServerLoop(loop);
    }
    asio::io_context& loop;
};

int runStartedServer(int argc, char** argv, const C_CommandTables& tables) {
    const fs::path userFolder = getUserFolderPath();
    const fs::path exePath = getServerExePath();
    if (exePath.empty())
        return 1;
    const fs::path exeFolder = exePath.parent_path();

    const fs::path configPath =
        argc > 1 ? platform::pathFromArgument(argv[1]) : exeFolder / "Kelvaro.json";
    nlohmann::json config;
    if (!readConfiguration(configPath, config).ok())
        return 1;

    // A JSON text is UTF-8, so "db-dir" is read as UTF-8 on every system.
    const auto dbDir = getOptString(config, "db-dir");
    const fs::path dictFolder =
        dbDir ? fs::path(std::u8string(dbDir->begin(), dbDir->end())) : exeFolder;
    if (!checkedExists(dictFolder / "cats.tab") || !checkedExists(dictFolder / "tailo.tab"))
        return 1;

    const auto mutexName = getMutexName();
    if (!mutexName)
        return 1;
    platform::C_InstanceLock instanceLock;
    if (instanceLock.acquire(*mutexName) != platform::C_InstanceLock::ACQUIRED)
        return 1;

    const C_TailoCats cats(dictFolder / "cats.tab");
    const C_TailoDB sysDB(dictFolder / "tailo.tab", cats, serverPolicy());
    const std::unique_ptr<I_DBSource> source = makeDBSource(sysDB, userFolder);

    asio::io_context loop;
    auto work = asio::make_work_guard(loop);
    const std::string pipeName = getPipeName();

    const C_LoopAttachment attachment(loop);
    // Destroyed before the loop: its waiters are joined, and none posts once the loop stopped.
    C_CompanionLauncher companions(serverLoopPoster());
    const C_CompanionServicesScope companionServices({&companions, exePath, getUserFolderPath});
    auto listener = std::make_unique<C_PipeListener>(source.get(), &config, loop, pipeName, tables);
    g_pipeNameHash = pipeNameHash(pipeName);
    if (!listener->listen())
        return 1;

    std::error_code ec;
    fs::create_directories(userFolder, ec);
    if (ec)
        throw fs::filesystem_error("create_directories", userFolder, ec);
    dropUnfinishedSettingsSave(userFolder);
    // The pipe accepts from here on. What the lookups build on first use (a few milliseconds
    // over a large dictionary) is built first thing in the loop, so that a client connects
    // without waiting for it and the first keystroke finds it done.
    asio::post(loop, [&sysDB] { sysDB.prepareLookups(); });

    attachServerLoop(loop);
    platform::watchStopEvents(consoleCtrlHandler);
    for (;;) {
        try {
            loop.run();
            break;
        } catch (const std::exception&) {
            // A request that a handler could not survive ends its own session only.
        }
    }
    work.reset();
    stopServerLoop();
    listener.reset();
    return 0;
}

}  // namespace

qiv::C_FileError readConfiguration(const fs::path& path, nlohmann::json& config) {
    using qiv::E_FileError;
    config = nullptr;
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    if (ec)
        return {E_FileError::UNREADABLE,
                "Failed to test configuration " + pathText(path) + ": " + ec.message()};
    if (!exists)
        return {};
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {E_FileError::UNREADABLE, "Failed to open configuration " + pathText(path)};
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        return {E_FileError::UNREADABLE, "Failed to read configuration " + pathText(path)};
    try {
        config = nlohmann::json::parse(bytes);
    } catch (const nlohmann::json::exception& e) {
        config = nullptr;
        return {E_FileError::DAMAGED,
                "Malformed configuration " + pathText(path) + ": " + e.what()};
    }
    return {};
}

bool consoleCtrlHandler(unsigned event) {
    switch (static_cast<platform::E_StopEvent>(event)) {
        case platform::E_StopEvent::INTERRUPT:
        case platform::E_StopEvent::CLOSE:
            stopServer(true);
            return true;
        case platform::E_StopEvent::BREAK:
        case platform::E_StopEvent::LOGOFF:
        case platform::E_StopEvent::SHUTDOWN:
            stopServer(true);
            return false;
    }
    return false;
}

int runServer(int argc, char** argv, const C_CommandTables& tables) {
    platform::prepareStopEvents();
    qiv::installSehTranslator(true);
    const C_TornDownMark tornDown;
    try {
        return runStartedServer(argc, argv, tables);
    } catch (const std::exception&) {
        return 1;
    }
}

}  // namespace kov
