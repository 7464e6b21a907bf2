// kelvaro-test-relay: connects to the server of the current user and copies its standard input
// to the pipe byte for byte (no framing, no handshake), so that a test can send any bytes, also
// to the Windows server under wine. Prints each frame the server sends as one line, and "EOF"
// when the server closed the connection. Exit code 0, or 2 when nobody listens.
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>

#include "engine/Kelvaro/client_server_common.h"
#include "engine/Kelvaro/framing.h"
#include "platform/local_pipe.h"

namespace {

struct C_Relay {
    std::unique_ptr<kov::platform::I_PipeStream> stream;
    kov::C_FrameReader reader{static_cast<std::uint32_t>(kov::kMaxUnsentOutput)};
    char buffer[4096];
    std::string queued, writing;

    void read() {
        stream->asyncReadSome(buffer, sizeof buffer,
                              [this](const std::error_code& ec, std::size_t n) {
                                  if (ec) {
                                      std::fputs("EOF\n", stdout);
                                      std::fflush(stdout);
                                      std::_Exit(0);
                                  }
                                  reader.feed(std::string_view(buffer, n));
                                  std::string_view body;
                                  while (reader.next(body) == kov::C_FrameReader::FRAME) {
                                      std::fwrite(body.data(), 1, body.size(), stdout);
                                      std::fputc('\n', stdout);
                                  }
                                  std::fflush(stdout);
                                  read();
                              });
    }
    void write(std::string bytes) {
        queued += bytes;
        if (!writing.empty() || queued.empty())
            return;
        writing.swap(queued);
        stream->asyncWrite(writing.data(), writing.size(),
                           [this](const std::error_code&, std::size_t) {
                               writing.clear();
                               write(std::string());
                           });
    }
};

}  // namespace

int main() {
    asio::io_context loop;
    std::error_code ec;
    C_Relay relay;
    relay.stream = kov::platform::connectPipe(loop, kov::getPipeName(), ec);
    if (!relay.stream) {
        std::cerr << "kelvaro-test-relay: " << ec.message() << std::endl;
        return 2;
    }
    auto work = asio::make_work_guard(loop);
    relay.read();
    std::thread([&loop, &relay] {
        // Byte by byte: a byte is passed on as soon as it came, also the half of a frame.
        int c;
        while ((c = std::fgetc(stdin)) != EOF)
            asio::post(loop, [&relay, c] { relay.write(std::string(1, static_cast<char>(c))); });
    }).detach();
    loop.run();
    return 0;
}
