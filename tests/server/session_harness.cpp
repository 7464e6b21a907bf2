#include "tests/server/session_harness.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "engine/Kelvaro/client_server_common.h"
#include "engine/Kelvaro/server_loop.h"
#include "platform/local_pipe.h"

namespace kov::test {

namespace {

// The session's end of the pair, noting the size of every write.
class C_RecordingStream final : public platform::I_PipeStream {
public:
    C_RecordingStream(std::unique_ptr<platform::I_PipeStream> inner,
                      std::shared_ptr<std::vector<size_t>> sizes)
        : m_inner(std::move(inner)), m_sizes(std::move(sizes)) {}

    void asyncReadSome(char* data, std::size_t size, FC_IoDone done) override {
        m_inner->asyncReadSome(data, size, std::move(done));
    }
    void asyncWrite(const char* data, std::size_t size, FC_IoDone done) override {
        m_sizes->push_back(size);
        m_inner->asyncWrite(data, size, std::move(done));
    }
    void close() noexcept override { m_inner->close(); }

private:
    std::unique_ptr<platform::I_PipeStream> m_inner;
    std::shared_ptr<std::vector<size_t>> m_sizes;
};

}  // namespace

nlohmann::json command(std::string_view cmd, nlohmann::json members) {
    members["cmd"] = cmd;
    return members;
}

C_SessionHarness::C_SessionHarness() : C_SessionHarness(S_Options{}) {}

C_SessionHarness::C_SessionHarness(S_Options options)
    : m_tables(options.tables ? *options.tables : serverCommandTables()),
      m_system(options.tailoBytes, options.catsBytes),
      m_config(std::move(options.config)),
      m_source(options.makeSource ? options.makeSource(*m_system.m_db, m_userFolder.path())
                                  : makeDBSource(*m_system.m_db, m_userFolder.path())) {
    g_pipeNameHash = pipeNameHash(kPipeName);
    attachServerLoop(m_loop);
}

C_SessionHarness::~C_SessionHarness() {
    for (auto& client : m_clients)
        client->close();
    if (m_loop.stopped())
        m_loop.restart();
    runUntil(
        [this] {
            for (const auto& client : m_clients)
                if (client->session())
                    return false;
            return true;
        },
        2s);
    detachServerLoop(m_loop);
    m_clients.clear();
    m_work.reset();
}

C_SessionHarness::C_Client& C_SessionHarness::connect() {
    auto [serverEnd, clientEnd] = platform::connectedPipePair(m_loop);
    m_clients.push_back(std::unique_ptr<C_Client>(new C_Client(*this, std::move(clientEnd))));
    C_Client& client = *m_clients.back();
    auto session = std::make_shared<C_Session>(
        std::make_unique<C_RecordingStream>(std::move(serverEnd), client.m_writeSizes),
        m_source.get(), m_config.is_null() ? nullptr : &m_config, m_tables);
    client.m_session = session;
    session->onRead();
    client.read_();
    return client;
}

C_SessionHarness::C_Client& C_SessionHarness::adopt(
    std::unique_ptr<platform::I_PipeStream> stream) {
    m_clients.push_back(std::unique_ptr<C_Client>(new C_Client(*this, std::move(stream))));
    m_clients.back()->read_();
    return *m_clients.back();
}

bool C_SessionHarness::runUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (m_loop.stopped() || std::chrono::steady_clock::now() >= deadline)
            return done();
        m_loop.run_one_for(1ms);
    }
    return true;
}

void C_SessionHarness::poll() {
    if (!m_loop.stopped())
        m_loop.poll();
}

C_SessionHarness::C_Client::C_Client(C_SessionHarness& harness,
                                     std::unique_ptr<platform::I_PipeStream> stream)
    : m_harness(harness), m_stream(std::move(stream)) {}

void C_SessionHarness::C_Client::read_() {
    m_stream->asyncReadSome(m_buffer, sizeof m_buffer,
                            [this](const std::error_code& ec, std::size_t n) {
                                if (ec) {
                                    m_ended = true;
                                    return;
                                }
                                m_reader.feed(std::string_view(m_buffer, n));
                                std::string_view body;
                                for (;;) {
                                    const auto next = m_reader.next(body);
                                    if (next == C_FrameReader::NEED_MORE)
                                        break;
                                    if (next == C_FrameReader::MALFORMED) {
                                        m_malformed = true;
                                        m_ended = true;
                                        return;
                                    }
                                    m_frames.emplace_back(body);
                                }
                                if (m_reading)
                                    read_();
                            });
}

void C_SessionHarness::C_Client::sendRaw(std::string_view bytes) {
    bool written = false;
    std::string copy(bytes);
    m_stream->asyncWrite(copy.data(), copy.size(),
                         [&written](const std::error_code&, std::size_t) { written = true; });
    if (!m_harness.runUntil([&written] { return written; }))
        throw std::runtime_error("client write did not complete");
}

void C_SessionHarness::C_Client::send(const nlohmann::json& request) {
    std::string frame;
    appendFrame(frame, request.dump());
    sendRaw(frame);
}

std::vector<std::string> C_SessionHarness::C_Client::receiveFrames(
    size_t n, std::chrono::milliseconds timeout) {
    m_harness.runUntil([&] { return m_frames.size() >= n || m_ended; }, timeout);
    std::vector<std::string> out;
    while (!m_frames.empty() && out.size() < n) {
        out.push_back(std::move(m_frames.front()));
        m_frames.pop_front();
    }
    EXPECT_FALSE(m_malformed) << "the session wrote a malformed frame";
    return out;
}

std::vector<nlohmann::json> C_SessionHarness::C_Client::receive(size_t n,
                                                                std::chrono::milliseconds timeout) {
    std::vector<nlohmann::json> out;
    for (const std::string& frame : receiveFrames(n, timeout))
        out.push_back(nlohmann::json::parse(frame));
    return out;
}

std::vector<nlohmann::json> C_SessionHarness::C_Client::exchange(
    const nlohmann::json& request, std::chrono::milliseconds timeout) {
    send(request);
    std::vector<nlohmann::json> out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.empty() || !out.back().contains("ok")) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const auto next = receive(1, left.count() > 0 ? left : 0ms);
        if (next.empty()) {
            ADD_FAILURE() << "no reply to " << request.dump();
            break;
        }
        out.push_back(next.front());
    }
    return out;
}

nlohmann::json C_SessionHarness::C_Client::request(const nlohmann::json& request) {
    const auto frames = exchange(request);
    EXPECT_EQ(frames.size(), 1u) << "events came before the reply to " << request.dump();
    return frames.empty() ? nlohmann::json() : frames.back();
}

nlohmann::json C_SessionHarness::C_Client::open(std::string_view agent) {
    return request({{"cmd", "open"}, {"magic", pipeNameHash(kPipeName)}, {"agent", agent}});
}

bool C_SessionHarness::C_Client::silent(std::chrono::milliseconds timeout) {
    m_harness.runUntil([this] { return !m_frames.empty(); }, timeout);
    return m_frames.empty();
}

bool C_SessionHarness::C_Client::closedByServer(std::chrono::milliseconds timeout) {
    return m_harness.runUntil([this] { return m_ended; }, timeout);
}

void C_SessionHarness::C_Client::close() { m_stream->close(); }

}  // namespace kov::test
