// For the backends of local_pipe.h only: I_PipeStream over an asio stream object (a socket on
// POSIX, a stream handle on Windows). beforeClose runs on the open object just before it is
// closed (POSIX shuts the socket down, so that the peer sees the end even if another process
// still holds the descriptor).
#pragma once

#include <asio/buffer.hpp>
#include <asio/write.hpp>

#include <system_error>
#include <utility>

#include "platform/local_pipe.h"

namespace kov::platform {

template <class T_Stream, class FC_BeforeClose>
class C_AsioStream final : public I_PipeStream {
public:
    explicit C_AsioStream(T_Stream stream, FC_BeforeClose beforeClose = {})
        : m_stream(std::move(stream)), m_beforeClose(std::move(beforeClose)) {}
    ~C_AsioStream() override { close(); }

    void asyncReadSome(char* data, std::size_t size, FC_IoDone done) override {
        m_stream.async_read_some(asio::buffer(data, size), std::move(done));
    }
    void asyncWrite(const char* data, std::size_t size, FC_IoDone done) override {
        asio::async_write(m_stream, asio::buffer(data, size), std::move(done));
    }
    void close() noexcept override {
        if (!m_stream.is_open())
            return;
        m_beforeClose(m_stream);
        std::error_code ec;
        m_stream.close(ec);
    }

private:
    T_Stream m_stream;
    FC_BeforeClose m_beforeClose;
};

}  // namespace kov::platform
