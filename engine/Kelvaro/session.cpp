#include "engine/Kelvaro/session.h"

#include <stdexcept>
#include <system_error>

#include "engine/Kelvaro/db_source.h"
#include "engine/Kelvaro/request_readers.h"
#include "engine/Kelvaro/server_loop.h"
#include "engine/compose/input_line.h"
#include "platform/local_pipe.h"
#include "qiv/exception_text.h"

std::list<std::weak_ptr<C_Session>> g_sessions;
std::uint32_t g_pipeNameHash = 0;

using kov::setError;

namespace {

constexpr std::size_t kPieceSize = 1024;

// A request body the session cannot take; it ends the session.
class C_BadRequest : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace

C_Session::C_Session(std::unique_ptr<kov::platform::I_PipeStream> pipe, I_DBSource* source,
                     const nlohmann::json* config, const kov::C_CommandTables& tables)
    : m_pipe(std::move(pipe)), m_source(source), m_config(config), m_tables(tables) {}

C_Session::~C_Session() {
    g_sessions.remove_if([](const std::weak_ptr<C_Session>& s) { return s.expired(); });
}

kov::C_InputLine& C_Session::inputLine() const {
    if (!m_inputLine)
        throw std::logic_error("Session has no input line");
    return *m_inputLine;
}

const nlohmann::json& C_Session::config() const {
    static const nlohmann::json none;
    return m_config ? *m_config : none;
}

void C_Session::close() noexcept {
    if (m_ended)
        return;
    m_ended = true;
    m_pendingReplies.clear();
    m_chunks.clear();
    m_unsentBytes = m_writing.size();
    if (m_pipe)
        m_pipe->close();
    if (m_stopServerAfterReply) {
        m_stopServerAfterReply = false;
        kov::stopServerLoop();
    }
}

void C_Session::onRead() {
    if (m_ended || m_handling)
        return;
    m_handling = true;
    bool answered = false;
    try {
        for (;;) {
            std::string_view body;
            const auto next = m_received.next(body);
            if (next == kov::C_FrameReader::NEED_MORE)
                break;
            if (next == kov::C_FrameReader::MALFORMED)
                throw C_BadRequest("Malformed frame");
            answered |= dispatch(body);
            if (m_ended) {
                m_handling = false;
                return;
            }
        }
    } catch (const std::exception&) {
        // A frame or body that breaks the rules, or a reply that cannot be made: this session
        // ends, with the replies of this batch not yet written.
        m_handling = false;
        close();
        return;
    }
    m_handling = false;
    if (answered || !m_pendingReplies.empty()) {
        flushReplies();
        return;
    }
    startRead_();
}

void C_Session::startRead_() {
    if (m_ended || m_readEnded || m_readPending)
        return;
    m_readPending = true;
    m_pipe->asyncReadSome(m_readBuf, sizeof m_readBuf,
                          [self = shared_from_this()](const std::error_code& ec, std::size_t n) {
                              self->m_readPending = false;
                              if (self->m_ended)
                                  return;
                              if (ec) {
                                  self->m_readEnded =
                                      true;  // end of the stream or an error: no more requests
                                  return;
                              }
                              self->m_received.feed(std::string_view(self->m_readBuf, n));
                              // While output drains, what came waits; the drain reads it.
                              if (!self->m_writePending)
                                  self->onRead();
                          });
}

bool C_Session::dispatch(std::string_view body) {
    if (!kov::jsonDepthWithin(body, kov::kMaxJsonDepth))
        throw C_BadRequest("Request nested too deeply");
    const nlohmann::json request = nlohmann::json::parse(body);
    const auto cmd = kov::getOptString(request, "cmd");
    if (!cmd)
        return false;

    nlohmann::json reply = nlohmann::json::object();
    reply["ok"] = true;
    try {
        if (*cmd == "open") {
            open(request, reply);
        } else if (!isOpen()) {
            kov::setError(reply, "Session not opened");
        } else {
            T_Handler handler = nullptr;
            if (m_inputLine)
                handler = m_tables.find(kov::C_CommandTables::INPUT_LINE, *cmd);
            if (!handler)
                handler = m_tables.find(kov::C_CommandTables::SESSION, *cmd);
            if (handler)
                handler(*this, request, reply);
            else
                kov::setError(reply, "Unknown command \"" + *cmd + "\"");
        }
    } catch (const std::exception& e) {
        kov::setError(reply, qiv::exceptionText(e));
    }
    if (const auto echo = request.find("echo"); echo != request.end())
        reply["echo"] = *echo;
    if (!reply.is_null() && !reply.empty())
        queueOutput_(reply.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
    return true;
}

void C_Session::open(const nlohmann::json& request, nlohmann::json& reply) {
    if (isOpen()) {
        kov::setError(reply, "Session already opened");
        return;
    }
    const auto magic = kov::optionalNumber<std::uint32_t>(request, "magic");
    if (!magic || *magic != g_pipeNameHash) {
        kov::setError(reply, "Invalid user");
        return;
    }
    const auto agent = kov::getOptString(request, "agent");
    if (!agent) {
        kov::setError(reply, "Missing agent");
        return;
    }
    if (*agent == "ime") {
        auto line = std::make_unique<kov::C_InputLine>(m_source->tailoDB());
        line->setIslandDoctrine(true);
        if (const kov::I_Learner* learner = m_source->learner())
            line->setLearner(learner);
        for (kov::T_ImeOpenHook hook : m_tables.imeOpenHooks())
            hook(*this, *line);
        m_inputLine = std::move(line);
    } else if (*agent == "no-ime") {
        m_noIme = true;
    } else {
        kov::setError(reply, "Unknown agent: " + *agent);
        return;
    }
    g_sessions.push_back(weak_from_this());
}

void C_Session::queueEvent(std::string text) { queueOutput_(std::move(text)); }

void C_Session::queueOutput_(std::string text) {
    if (m_ended)
        return;
    m_unsentBytes += text.size();
    if (m_unsentBytes > kov::kMaxUnsentOutput) {
        // A client that does not read: keeping its output would let it grow without bound.
        close();
        return;
    }
    m_pendingReplies.push_back(std::move(text));
    if (!m_handling)
        flushReplies();
}

void C_Session::flushReplies() {
    if (m_ended || m_writePending)
        return;
    if (!m_chunks.empty()) {
        m_writing = std::move(m_chunks.front());
        m_chunks.pop_front();
    } else {
        std::string framed;
        std::size_t texts = 0;
        for (const std::string& text : m_pendingReplies) {
            texts += text.size();
            kov::appendFrame(framed, text);
        }
        m_pendingReplies.clear();
        m_unsentBytes = m_unsentBytes - texts + framed.size();
        // Pieces are slices of the framed stream: a reply may span pieces, a piece may hold
        // several replies.
        for (std::size_t at = kPieceSize; at < framed.size(); at += kPieceSize)
            m_chunks.push_back(framed.substr(at, kPieceSize));
        if (framed.size() > kPieceSize)
            framed.resize(kPieceSize);
        m_writing = std::move(framed);
    }
    if (m_writing.empty()) {
        if (m_stopServerAfterReply) {
            m_stopServerAfterReply = false;
            kov::stopServerLoop();
        }
        onRead();
        return;
    }
    m_writePending = true;
    m_pipe->asyncWrite(m_writing.data(), m_writing.size(),
                       [self = shared_from_this()](const std::error_code& ec, std::size_t) {
                           self->m_writePending = false;
                           self->m_unsentBytes -=
                               std::min(self->m_unsentBytes, self->m_writing.size());
                           self->m_writing.clear();
                           if (self->m_ended)
                               return;
                           if (ec) {
                               self->close();
                               return;
                           }
                           self->flushReplies();
                       });
}

void broadcastToSessions(std::string_view text) {
    // Copies first: a session that ends during the walk prunes g_sessions.
    std::vector<std::shared_ptr<C_Session>> live;
    for (const auto& weak : g_sessions)
        if (auto session = weak.lock())
            live.push_back(std::move(session));
    for (const auto& session : live) {
        try {
            session->queueEvent(std::string(text));
        } catch (const std::exception&) {
            session->close();
        }
    }
}
