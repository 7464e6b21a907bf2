// The session in process, fed any bytes: the first byte picks how the rest is cut into reads
// (from one byte at a time to whole), the rest is what a client writes on the pipe. Everything
// runs on this thread: the pipe is a stand-in whose reads and writes complete through the event
// loop, the learning jobs run after the bytes are handled. What the session writes back must be
// well-formed frames of JSON text.

#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/client_server_common.h"
#include "engine/Kelvaro/companion_commands.h"
#include "engine/Kelvaro/framing.h"
#include "engine/Kelvaro/server_loop.h"
#include "engine/Kelvaro/session.h"
#include "fuzz/fuzz_support.h"
#include "platform/local_pipe.h"

namespace {

using namespace kov;

// The pipe name whose hash the seeds' "open" requests carry.
constexpr std::string_view kPipeName = "\\\\.\\pipe\\Kelvaro_fuzz";

// The client's bytes, handed out in reads of the chosen sizes; the session's writes, kept.
class C_FeedStream final : public platform::I_PipeStream {
public:
    C_FeedStream(asio::io_context& loop, std::string_view input, uint8_t cut, std::string& written)
        : m_loop(loop), m_input(input), m_cut(cut), m_written(written) {}

    void asyncReadSome(char* data, std::size_t size, FC_IoDone done) override {
        if (m_closed || m_input.empty()) {
            asio::post(m_loop, [done = std::move(done)] { done(asio::error::eof, 0); });
            return;
        }
        // Cut 0 hands over what the buffer takes; others cycle through small sizes.
        std::size_t n = m_cut == 0 ? size : 1 + (m_cut * 7u + m_reads++ * 13u) % m_cut;
        n = std::min({n, size, m_input.size()});
        std::memcpy(data, m_input.data(), n);
        m_input.remove_prefix(n);
        asio::post(m_loop, [done = std::move(done), n] { done({}, n); });
    }
    void asyncWrite(const char* data, std::size_t size, FC_IoDone done) override {
        if (m_closed) {
            asio::post(m_loop, [done = std::move(done)] { done(asio::error::broken_pipe, 0); });
            return;
        }
        m_written.append(data, size);
        asio::post(m_loop, [done = std::move(done), size] { done({}, size); });
    }
    void close() noexcept override { m_closed = true; }

private:
    asio::io_context& m_loop;
    std::string_view m_input;
    uint8_t m_cut;
    std::string& m_written;
    unsigned m_reads = 0;
    bool m_closed = false;
};

struct C_World {
    C_World() {
        g_pipeNameHash = pipeNameHash(kPipeName);
        attachServerLoop(loop);
    }
    test::C_TempFolder folder;
    asio::io_context loop;
    nlohmann::json config = {{"about", "no-such-program"}};
    C_CompanionServicesScope companions{
        C_CompanionServices{nullptr, folder.path() / "Kelvaro", [this] { return folder.path(); }}};
};

C_World& world() {
    static C_World* w = new C_World;  // lives as long as the process: sessions end within each run
    return *w;
}

// Every frame the session wrote must hold JSON, and be whole unless the session ended itself
// (it then drops what it had not written).
void checkOutput(std::string_view written, bool endedItself) {
    C_FrameReader reader(static_cast<uint32_t>(kMaxUnsentOutput));
    reader.feed(written);
    std::string_view body;
    for (;;) {
        const auto next = reader.next(body);
        if (next == C_FrameReader::MALFORMED)
            std::abort();
        if (next == C_FrameReader::NEED_MORE)
            break;
        if (!nlohmann::json::accept(body))
            std::abort();
    }
    if (reader.buffered() != 0 && !endedItself)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    C_World& w = world();
    // Each input starts from empty dictionaries and no settings file.
    // Changes of the user dictionary go to every open session, as in the server.
    auto source = fuzz::dictChain(w.folder.path());
    std::string written;
    bool endedItself = false;
    {
        auto session = std::make_shared<C_Session>(
            std::make_unique<C_FeedStream>(
                w.loop, std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1),
                data[0], written),
            source.get(), &w.config);
        session->onRead();
        w.loop.restart();
        while (w.loop.poll() != 0) {
        }
        source->runQueuedJobs();
        w.loop.restart();
        w.loop.poll();
        endedItself = session->closed();
        session->close();
    }
    w.loop.restart();
    w.loop.poll();
    checkOutput(written, endedItself);
    source.reset();
    std::error_code ec;
    for (const char* name : {"user-db.tab", "learn-db.tab", "Brumeli.json"})
        std::filesystem::remove(w.folder.path() / name, ec);
    return 0;
}
