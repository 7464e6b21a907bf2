// The local pipe between the server and its front ends: a byte stream per connection, the
// listening end that hands out one stream per client, and the client's way in.
//
// The pipe has one logical name on both systems, "\\.\pipe\Kelvaro_<user>". Windows serves it as
// that named pipe: byte mode, local clients only, an access list that admits the server's own
// user, the local system and app-container processes, and the first instance created with
// FILE_FLAG_FIRST_PIPE_INSTANCE so that nobody can have taken the name before. POSIX serves it
// as a Unix stream socket named by the part after the last backslash, in the user's runtime
// folder ($XDG_RUNTIME_DIR, else "kelvaro-<uid>" in the temporary folder, made 0700 and checked:
// ours, not a link, no access for others); the socket is 0600 and a peer of another user is
// closed at once.
//
// Every stream is bound to an asio event loop and completes its operations there. The streams
// allow one read and one write pending at the same time.
//
// Not responsible for: framing, sessions, or deciding what to do when a client comes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

namespace asio {
class io_context;
}

namespace kov::platform {

// One connected end of the pipe.
class I_PipeStream {
public:
    // Completion of a read or write: the error (none on success) and the bytes moved.
    using FC_IoDone = std::function<void(const std::error_code&, std::size_t)>;

    virtual ~I_PipeStream() = default;
    // Reads what is there, at least one byte and at most size, into data; the end of the stream
    // completes with an error. data must stay valid until the completion.
    virtual void asyncReadSome(char* data, std::size_t size, FC_IoDone done) = 0;
    // Writes all size bytes of data, or fails. data must stay valid until the completion.
    virtual void asyncWrite(const char* data, std::size_t size, FC_IoDone done) = 0;
    // Closes the stream; pending operations complete with an error. Never throws.
    virtual void close() noexcept = 0;
};

// The listening end of the pipe.
class C_PipeAcceptor {
public:
    // Completion of a wait for a client: the error (none on success) and the client's stream.
    using FC_Accepted = std::function<void(const std::error_code&, std::unique_ptr<I_PipeStream>)>;

    explicit C_PipeAcceptor(asio::io_context& loop);
    // Cancels and closes the instance that waits for a client; on POSIX removes the socket file
    // it made. Pending waits are not called back.
    ~C_PipeAcceptor();
    C_PipeAcceptor(const C_PipeAcceptor&) = delete;
    C_PipeAcceptor& operator=(const C_PipeAcceptor&) = delete;

    // Creates the pipe under its logical name (UTF-8). False with a readable text in error when
    // it cannot: bad name, another process holds the name (Windows), unusable runtime folder or
    // socket path too long (POSIX). A socket file left at the path by an earlier server is
    // replaced: call this only while holding the user's single-instance lock.
    bool open(std::string_view pipeName, std::string& error);
    // Waits for the next client; one wait at a time. A client refused by the peer check is
    // closed and the wait goes on. Errors: asio::error::operation_aborted after the acceptor
    // was destroyed or closed, else whatever the system reports (the acceptor stays usable).
    void asyncAccept(FC_Accepted done);

    // Who is admitted, given the peer's user id (from the connection's credentials) and the
    // server's own; the default admits the same user only. For tests of the check, which run as
    // one user. POSIX only; on Windows the access list does this work and the check is unused.
    using FC_PeerCheck = std::function<bool(std::uint32_t peerUid, std::uint32_t ownUid)>;
    void setPeerCheckForTest(FC_PeerCheck admit);

private:
    struct C_Impl;
    std::unique_ptr<C_Impl> m_impl;
};

// Connects to the pipe of that logical name on loop. Null with ec set when nobody listens
// there (std::errc::no_such_file_or_directory or connection_refused) or the connection fails.
// Windows retries a busy pipe for up to two seconds.
std::unique_ptr<I_PipeStream> connectPipe(asio::io_context& loop, std::string_view pipeName,
                                          std::error_code& ec);

// Two streams connected to each other (a socket pair; on Windows both ends of an anonymous
// named-pipe instance), for running a session in-process. Throws std::system_error on failure.
std::pair<std::unique_ptr<I_PipeStream>, std::unique_ptr<I_PipeStream>> connectedPipePair(
    asio::io_context& loop);

// Where the pipe lives for a human reading it: POSIX the socket's path, Windows the name.
// Empty when it cannot be told (POSIX: no usable runtime folder).
std::string pipeLocation(std::string_view pipeName);

}  // namespace kov::platform
