#include "engine/Kelvaro/pipe_listener.h"

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>

#include "engine/Kelvaro/session.h"
#include "platform/local_pipe.h"

namespace kov {

struct C_PipeListener::C_Retry {
    explicit C_Retry(asio::io_context& loop) : timer(loop) {}
    asio::steady_timer timer;
};

C_PipeListener::C_PipeListener(I_DBSource* source, const nlohmann::json* config,
                               asio::io_context& loop, std::string pipeName,
                               const C_CommandTables& tables)
    : m_source(source),
      m_config(config),
      m_ioContext(loop),
      m_pipeName(std::move(pipeName)),
      m_tables(tables),
      m_acceptor(std::make_unique<platform::C_PipeAcceptor>(loop)),
      m_retry(std::make_unique<C_Retry>(loop)),
      m_alive(std::make_shared<C_PipeListener*>(this)) {}

C_PipeListener::~C_PipeListener() {
    m_alive.reset();
    m_retry->timer.cancel();
    m_acceptor.reset();
}

bool C_PipeListener::listen(std::string* error) {
    if (m_pipeName.empty())
        return false;
    std::string text;
    if (!m_acceptor->open(m_pipeName, text)) {
        m_pipeName.clear();
        if (error)
            *error = text;
        return false;
    }
    waitForClient_();
    return true;
}

void C_PipeListener::waitForClient_() {
    m_acceptor->asyncAccept(
        [alive = std::weak_ptr<C_PipeListener*>(m_alive)](
            const std::error_code& ec, std::unique_ptr<platform::I_PipeStream> stream) {
            if (const auto self = alive.lock())
                (*self)->onConnected_(ec, std::move(stream));
        });
}

void C_PipeListener::onConnected_(const std::error_code& ec,
                                  std::unique_ptr<platform::I_PipeStream> stream) {
    if (ec == asio::error::operation_aborted)
        return;
    if (!ec) {
        std::make_shared<C_Session>(std::move(stream), m_source, m_config, m_tables)->onRead();
        waitForClient_();
        return;
    }
    // This connection failed (or no instance could be made); the pipe stays served.
    m_retry->timer.expires_after(std::chrono::milliseconds(100));
    m_retry->timer.async_wait(
        [alive = std::weak_ptr<C_PipeListener*>(m_alive)](const std::error_code& e) {
            if (const auto self = alive.lock(); self && !e)
                (*self)->waitForClient_();
        });
}

}  // namespace kov
