// One connection of a front end on the pipe. The session cuts the incoming bytes into framed
// JSON requests, opens itself with the handshake ("open"), finds each command's handler in the
// command tables and calls it, wraps the outcome in the reply envelope ("ok", "error", "echo"),
// and writes replies and events back framed the same way, in pieces of at most 1024 bytes.
//
// A session keeps at most one read and one write pending and never cancels either. It does not
// take requests in while its output drains, so a client that does not read its replies stops
// being read. Output of a session goes out in the order it was queued. A malformed frame or
// body (kov::C_FrameReader's rules, text that is not JSON, nesting beyond kov::kMaxJsonDepth)
// and unsent output beyond kov::kMaxUnsentOutput end the session; other sessions go on.
//
// Everything here runs on the event loop's thread.
//
// Not responsible for: the commands themselves (the command groups), accepting connections
// (C_PipeListener), or the dictionaries (I_DBSource).
#pragma once

#include <cstdint>
#include <deque>
#include <list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "engine/Kelvaro/command_table.h"
#include "engine/Kelvaro/framing.h"

class I_DBSource;

namespace kov {
class C_InputLine;
namespace platform {
class I_PipeStream;
}
}  // namespace kov

class C_Session : public std::enable_shared_from_this<C_Session> {
public:
    using T_Handler = kov::T_CommandHandler;

    // Takes the connected stream over. source and config (null for none) outlive the session.
    C_Session(std::unique_ptr<kov::platform::I_PipeStream> pipe, I_DBSource* source,
              const nlohmann::json* config,
              const kov::C_CommandTables& tables = kov::serverCommandTables());
    // Removes the sessions that no longer exist (itself among them) from g_sessions.
    ~C_Session();
    C_Session(const C_Session&) = delete;
    C_Session& operator=(const C_Session&) = delete;

    // Handles the whole requests received so far, then writes their replies or reads again.
    // The listener calls it once right after making the session.
    void onRead();

    // --- For the command handlers ---

    // Open: "open" succeeded. An "ime" session has an input line, a "no-ime" session none.
    bool isOpen() const { return m_inputLine != nullptr || m_noIme; }
    bool hasInputLine() const { return m_inputLine != nullptr; }
    // The session's input line; only for the handlers of table INPUT_LINE (throws
    // std::logic_error on a session without one).
    kov::C_InputLine& inputLine() const;
    I_DBSource& source() const { return *m_source; }
    // The server's configuration; null when it has none.
    const nlohmann::json& config() const;
    // Queues an event (compact JSON text) for this session: during its own request it goes out
    // before that request's reply, else as soon as the output before it was written.
    void queueEvent(std::string text);
    // Stops the server's event loop once the output queued so far (the current reply among
    // it) was written ("exit").
    void stopServerAfterReply() { m_stopServerAfterReply = true; }
    // Ends the session: stops reading and writing, drops unsent output and closes the pipe.
    void close() noexcept;
    bool closed() const { return m_ended; }

private:
    // Handles one request body; false when it has no string "cmd" (no reply). Throws for a
    // body that is not JSON or nests too deeply.
    bool dispatch(std::string_view body);
    void open(const nlohmann::json& request, nlohmann::json& reply);
    // Queues a text and, unless the session is handling a request, starts writing.
    void queueOutput_(std::string text);
    // Frames the queued output and writes the next piece; reads again once everything is out.
    void flushReplies();
    void startRead_();

    std::unique_ptr<kov::platform::I_PipeStream> m_pipe;
    I_DBSource* m_source;
    const nlohmann::json* m_config;
    const kov::C_CommandTables& m_tables;
    std::unique_ptr<kov::C_InputLine> m_inputLine;
    bool m_noIme = false;
    kov::C_FrameReader m_received;
    char m_readBuf[256];
    std::vector<std::string> m_pendingReplies;  // texts waiting to be framed, in order
    std::deque<std::string> m_chunks;           // framed pieces of at most 1024 bytes
    std::string m_writing;                      // the piece being written
    std::size_t m_unsentBytes = 0;              // of the three above
    bool m_readPending = false;
    bool m_readEnded = false;
    bool m_writePending = false;
    bool m_handling = false;  // inside onRead: replies and events only queue
    bool m_stopServerAfterReply = false;
    bool m_ended = false;
};

// The sessions that completed "open", in the order they opened; events go to them.
extern std::list<std::weak_ptr<C_Session>> g_sessions;
// The handshake value: the hash of the pipe's name (kov::pipeNameHash), set by start-up.
extern std::uint32_t g_pipeNameHash;

// Queues one event text on every open session. A session that cannot take it is closed; the
// others still get it.
void broadcastToSessions(std::string_view text);
