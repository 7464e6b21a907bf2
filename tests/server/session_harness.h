// Sessions of the server run in the test's own process: one event loop (run by the test's
// thread whenever a client waits), a real database source (user dictionary in a temporary
// folder, over a system dictionary made from fixture bytes) and clients, each connected to its
// own C_Session through a pair of platform pipe streams. The session's writes are recorded, so
// that a test can check how its output was cut.
//
// The command handlers are tested through it table-driven: connect, open, send requests, read
// the frames that come back (events and replies, in order).
#pragma once

#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/command_table.h"
#include "engine/Kelvaro/db_source.h"
#include "engine/Kelvaro/framing.h"
#include "engine/Kelvaro/session.h"
#include "fixtures/tailo_fixture.h"
#include "fixtures/temp_folder.h"

namespace kov::platform {
class I_PipeStream;
}

namespace kov::test {

using namespace std::chrono_literals;

class C_SessionHarness {
public:
    struct S_Options {
        // The commands the sessions serve (default: the server's).
        const C_CommandTables* tables = nullptr;
        // The system dictionary's bytes ("tailo.tab"; empty: an empty dictionary) and its
        // category table's.
        std::string tailoBytes;
        std::string catsBytes = C_SystemDictFixture::sampleCatsBytes();
        // The server's configuration (null: none).
        nlohmann::json config;
        // Makes the database source over the system dictionary and the user folder (empty: the
        // server's own); it may put files into the folder first.
        std::function<std::unique_ptr<I_DBSource>(const I_TailoDB&, const std::filesystem::path&)>
            makeSource;
    };

    // The pipe name the handshake value is computed from.
    static constexpr std::string_view kPipeName = "\\\\.\\pipe\\Kelvaro_harness";

    class C_Client {
    public:
        // The raw bytes, written whole before this returns.
        void sendRaw(std::string_view bytes);
        // The request framed.
        void send(const nlohmann::json& request);
        // Waits until n more frames came (fewer on time-out) and takes them, in order.
        std::vector<std::string> receiveFrames(size_t n, std::chrono::milliseconds timeout = 5s);
        std::vector<nlohmann::json> receive(size_t n, std::chrono::milliseconds timeout = 5s);
        // Sends request and returns every frame up to and including its reply (the first frame
        // with "ok"): events queued before the reply come first.
        std::vector<nlohmann::json> exchange(const nlohmann::json& request,
                                             std::chrono::milliseconds timeout = 5s);
        // The reply to request; fails the test when an event comes before it.
        nlohmann::json request(const nlohmann::json& request);
        // "open" with the right handshake value and agent; returns the reply.
        nlohmann::json open(std::string_view agent = "ime");
        // True when nothing arrives within timeout.
        bool silent(std::chrono::milliseconds timeout = 50ms);
        // True when the server ended the stream within timeout (frames that came before it
        // stay to be received).
        bool closedByServer(std::chrono::milliseconds timeout = 5s);
        // Hangs up.
        void close();
        // Reads no more from the pipe (after the read now pending), as a client that does not
        // read its replies.
        void stopReading() { m_reading = false; }

        // The sizes of the session's writes so far, in order.
        const std::vector<size_t>& writeSizes() const { return *m_writeSizes; }
        // The session; null once it was destroyed.
        std::shared_ptr<C_Session> session() const { return m_session.lock(); }

    private:
        friend class C_SessionHarness;
        C_Client(C_SessionHarness& harness, std::unique_ptr<platform::I_PipeStream> stream);
        void read_();

        C_SessionHarness& m_harness;
        std::unique_ptr<platform::I_PipeStream> m_stream;
        std::shared_ptr<std::vector<size_t>> m_writeSizes = std::make_shared<std::vector<size_t>>();
        std::weak_ptr<C_Session> m_session;
        C_FrameReader m_reader{static_cast<uint32_t>(kMaxUnsentOutput)};
        std::deque<std::string> m_frames;
        char m_buffer[4096];
        bool m_ended = false;
        bool m_malformed = false;
        bool m_reading = true;
    };

    C_SessionHarness();
    explicit C_SessionHarness(S_Options options);
    // Hangs up every client and lets the sessions end before the loop goes.
    ~C_SessionHarness();
    C_SessionHarness(const C_SessionHarness&) = delete;
    C_SessionHarness& operator=(const C_SessionHarness&) = delete;

    // A new client with its own session, started (not opened).
    C_Client& connect();
    // A client over a stream whose session is made elsewhere (a listener's), served by this
    // harness's loop. Its session() is null and its writeSizes() empty.
    C_Client& adopt(std::unique_ptr<platform::I_PipeStream> stream);
    // The server's command tables of this harness, and its configuration (null: none).
    const C_CommandTables& tables() const { return m_tables; }
    const nlohmann::json* configOrNull() const { return m_config.is_null() ? nullptr : &m_config; }

    // Runs the loop until done() holds or the time is out (or the loop was stopped); done().
    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s);
    // Runs the handlers that are ready now.
    void poll();

    asio::io_context& loop() { return m_loop; }
    I_DBSource& source() { return *m_source; }
    const std::filesystem::path& userFolder() const { return m_userFolder.path(); }
    const C_CapturePolicy& log() const { return m_system.m_policy; }
    nlohmann::json& config() { return m_config; }

private:
    const C_CommandTables& m_tables;
    C_SystemDictFixture m_system;
    C_TempFolder m_userFolder;
    nlohmann::json m_config;
    std::unique_ptr<I_DBSource> m_source;
    asio::io_context m_loop;
    // Keeps the loop from running out of work: it stops only when stopped ("exit").
    asio::executor_work_guard<asio::io_context::executor_type> m_work =
        asio::make_work_guard(m_loop);
    std::vector<std::unique_ptr<C_Client>> m_clients;
};

// A request of the given command, with more members.
nlohmann::json command(std::string_view cmd, nlohmann::json members = nlohmann::json::object());

}  // namespace kov::test
