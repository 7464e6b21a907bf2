// The pipe listener keeps the server's pipe open for front ends: one instance waits for a
// client at a time; each client that connects gets a new C_Session, and the next wait starts.
//
// Only creating the pipe at start-up can fail for good. A later failure (a client that left
// before it was accepted, a system short of handles or pipe instances) costs that one
// connection: the listener waits for the next client 100 ms later. A peer of another user is
// refused by the acceptor, which goes on waiting.
//
// Runs on the event loop's thread.
#pragma once

#include <memory>
#include <string>
#include <system_error>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/command_table.h"

class I_DBSource;

namespace asio {
class io_context;
}

namespace kov {

namespace platform {
class C_PipeAcceptor;
class I_PipeStream;
}  // namespace platform

class C_PipeListener {
public:
    // Sessions get source, config and tables; pipeName is the logical name (UTF-8).
    C_PipeListener(I_DBSource* source, const nlohmann::json* config, asio::io_context& loop,
                   std::string pipeName, const C_CommandTables& tables = serverCommandTables());
    // Cancels and closes the waiting instance.
    ~C_PipeListener();
    C_PipeListener(const C_PipeListener&) = delete;
    C_PipeListener& operator=(const C_PipeListener&) = delete;

    // Creates the pipe and starts waiting for the first client. False (and the name cleared)
    // when the pipe cannot be created; error then says why.
    bool listen(std::string* error = nullptr);
    // The logical name; empty once listening failed.
    const std::string& pipeName() const { return m_pipeName; }
    // The acceptor, for tests that set its peer check.
    platform::C_PipeAcceptor& acceptor() { return *m_acceptor; }

private:
    struct C_Retry;

    void waitForClient_();
    void onConnected_(const std::error_code& ec, std::unique_ptr<platform::I_PipeStream> stream);

    I_DBSource* m_source;
    const nlohmann::json* m_config;
    asio::io_context& m_ioContext;
    std::string m_pipeName;
    const C_CommandTables& m_tables;
    std::unique_ptr<platform::C_PipeAcceptor> m_acceptor;
    std::unique_ptr<C_Retry> m_retry;
    std::shared_ptr<C_PipeListener*> m_alive;  // expires with the listener
};

}  // namespace kov
