// kelvaro-client: connects to the running Kelvaro server of the current user, opens a session
// (agent "ime", or "no-ime" with --no-ime), sends one JSON request per line of standard input
// (or one per argument), framed as the server expects, and prints every reply and event the
// server sends as one JSON line as it arrives.
//
// It ends once the input is used up and every request with a "cmd" got its reply (exit code
// 0). Exit code 1: a bad argument or an input line that is not JSON (skipped; the server would
// end the session over it). Exit code 2: no server runs for this user, the session could not be
// opened, or the connection dropped while replies were still due.
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <future>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/client_server_common.h"
#include "engine/Kelvaro/framing.h"
#include "engine/Kelvaro/request_readers.h"
#include "platform/local_pipe.h"

namespace {

constexpr int kExitBadInput = 1;
constexpr int kExitNoConnection = 2;

void complain(std::string_view text) { std::cerr << "kelvaro-client: " << text << std::endl; }

// The session with the server; everything but the constructor runs on the loop's thread.
class C_Client {
public:
    C_Client(asio::io_context& loop, std::unique_ptr<kov::platform::I_PipeStream> stream)
        : m_loop(loop), m_stream(std::move(stream)) {}

    // The exit code, once known.
    std::future<int> result() { return m_result.get_future(); }

    void start() { read_(); }

    // Sends one request; counts the reply it is due when it has a string "cmd".
    void send(std::string body, bool expectsReply) {
        if (m_finished)
            return;
        if (expectsReply)
            ++m_outstanding;
        kov::appendFrame(m_queued, body);
        write_();
    }

    // No more requests: end once the replies due have come.
    void inputEnded() {
        m_inputEnded = true;
        finishIfDone_();
    }

private:
    void read_() {
        m_stream->asyncReadSome(
            m_buffer, sizeof m_buffer, [this](const std::error_code& ec, std::size_t n) {
                if (ec) {
                    if (m_outstanding > 0 || !m_inputEnded)
                        dropped_(m_outstanding > 0
                                     ? "the connection dropped before every reply came (" +
                                           ec.message() + ")"
                                     : "the server closed the connection");
                    else
                        finish_(0);
                    return;
                }
                m_reader.feed(std::string_view(m_buffer, n));
                std::string_view body;
                for (;;) {
                    const auto next = m_reader.next(body);
                    if (next == kov::C_FrameReader::NEED_MORE)
                        break;
                    if (next == kov::C_FrameReader::MALFORMED) {
                        dropped_("the server sent a malformed frame");
                        return;
                    }
                    print_(body);
                }
                if (!m_finished)
                    read_();
            });
    }

    void print_(std::string_view body) {
        std::fwrite(body.data(), 1, body.size(), stdout);
        std::fputc('\n', stdout);
        std::fflush(stdout);
        const auto message = nlohmann::json::parse(body, nullptr, false);
        if (!message.is_object() || !message.contains("ok"))
            return;  // an event
        if (m_outstanding > 0)
            --m_outstanding;
        if (m_firstReply) {
            m_firstReply = false;
            if (message["ok"] != true) {
                dropped_("the server refused to open a session");
                return;
            }
        }
        finishIfDone_();
    }

    void write_() {
        if (m_writing || m_queued.empty() || m_finished)
            return;
        m_inFlight.swap(m_queued);
        m_queued.clear();
        m_writing = true;
        m_stream->asyncWrite(m_inFlight.data(), m_inFlight.size(),
                             [this](const std::error_code& ec, std::size_t) {
                                 m_writing = false;
                                 m_inFlight.clear();
                                 if (ec) {
                                     dropped_("the connection dropped (" + ec.message() + ")");
                                     return;
                                 }
                                 write_();
                             });
    }

    void finishIfDone_() {
        if (m_inputEnded && m_outstanding == 0)
            finish_(0);
    }

    void dropped_(const std::string& text) {
        if (m_finished)
            return;
        complain(text);
        finish_(m_outstanding > 0 || m_firstReply ? kExitNoConnection : 0);
    }

    void finish_(int code) {
        if (m_finished)
            return;
        m_finished = true;
        m_stream->close();
        m_result.set_value(code);
    }

    asio::io_context& m_loop;
    std::unique_ptr<kov::platform::I_PipeStream> m_stream;
    kov::C_FrameReader m_reader{static_cast<std::uint32_t>(kov::kMaxUnsentOutput)};
    char m_buffer[4096];
    std::string m_queued;
    std::string m_inFlight;
    bool m_writing = false;
    bool m_inputEnded = false;
    bool m_firstReply = true;
    bool m_finished = false;
    size_t m_outstanding = 0;
    std::promise<int> m_result;
};

void usage() {
    std::cerr << "usage: kelvaro-client [--no-ime] [REQUEST...]\n"
                 "  Opens a session with the running server of this user and sends each REQUEST\n"
                 "  (one JSON text), or else one request per line of standard input, printing\n"
                 "  every reply and event as one JSON line.\n"
                 "  --no-ime  open the session with agent \"no-ime\" (no input line)\n";
}

}  // namespace

int main(int argc, char** argv) {
    std::string agent = "ime";
    std::vector<std::string> requests;
    bool fromArguments = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--no-ime") {
            agent = "no-ime";
        } else if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg.size() > 1 && arg.substr(0, 2) == "--") {
            complain("unknown option " + std::string(arg));
            usage();
            return kExitBadInput;
        } else {
            requests.emplace_back(arg);
            fromArguments = true;
        }
    }

    std::string pipeName;
    try {
        pipeName = kov::getPipeName();
    } catch (const std::exception& e) {
        complain(std::string("cannot tell the user's pipe: ") + e.what());
        return kExitNoConnection;
    }

    asio::io_context loop;
    std::error_code ec;
    auto stream = kov::platform::connectPipe(loop, pipeName, ec);
    if (!stream) {
        complain("no Kelvaro server is running for this user (nothing answers at " +
                 kov::platform::pipeLocation(pipeName) + ": " + ec.message() + ")");
        return kExitNoConnection;
    }
    C_Client client(loop, std::move(stream));
    auto result = client.result();
    auto work = asio::make_work_guard(loop);
    std::thread io([&loop] { loop.run(); });

    const nlohmann::json open = {
        {"cmd", "open"}, {"magic", kov::pipeNameHash(pipeName)}, {"agent", agent}};
    asio::post(loop, [&client, body = open.dump()] {
        client.start();
        client.send(body, true);
    });

    // Lines are read on a thread of their own, so that the client ends as soon as the
    // session does, even while standard input stays open.
    static std::atomic<int> inputCode{0};
    const auto sendLine = [&loop, &client](const std::string& line) {
        if (line.find_first_not_of(" \t\r\n") == std::string::npos)
            return;
        const auto request = nlohmann::json::parse(line, nullptr, false);
        if (request.is_discarded()) {
            complain("not sent, not one JSON text: " + line);
            inputCode = kExitBadInput;
            return;
        }
        const bool expectsReply = kov::getOptString(request, "cmd").has_value();
        asio::post(loop, [&client, body = request.dump(), expectsReply] {
            client.send(body, expectsReply);
        });
    };
    static std::atomic<bool> inputDone{false};
    std::thread input([&loop, &client, sendLine, fromArguments, requests] {
        if (fromArguments) {
            for (const std::string& r : requests)
                sendLine(r);
        } else {
            std::string line;
            while (std::getline(std::cin, line))
                sendLine(line);
        }
        inputDone = true;
        asio::post(loop, [&client] { client.inputEnded(); });
    });

    const int sessionCode = result.get();
    std::fflush(stdout);
    std::cerr.flush();
    // The program ends with no other thread left wherever it can: on Windows, ending a process
    // while other threads run has the system stop them, which wine does with a signal that a
    // busy machine can turn into a kill of the whole process, and its exit code with it.
    loop.stop();
    io.join();
    if (inputDone)
        input.join();
    else
        input.detach();  // still waiting for a line: end without unwinding under it
    std::_Exit(sessionCode != 0 ? sessionCode : inputCode.load());
}
