// POSIX backend of the local pipe: a Unix stream socket in the user's runtime folder.
#include "platform/local_pipe.h"

#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/local/connect_pair.hpp>
#include <asio/local/stream_protocol.hpp>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/asio_stream.h"
#include "platform/posix/runtime_folder.h"

namespace kov::platform {

namespace {

using T_Socket = asio::local::stream_protocol::socket;

// Descriptors must not leak into the companion programs the server starts: a child holding a
// client's socket would keep the connection open after the session closed it.
void setCloseOnExec(int fd) {
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0)
        ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
}

struct FC_ShutDown {
    void operator()(T_Socket& socket) const noexcept {
        std::error_code ec;
        socket.shutdown(T_Socket::shutdown_both, ec);
    }
};

std::unique_ptr<I_PipeStream> socketStream(T_Socket socket) {
    setCloseOnExec(socket.native_handle());
    return std::make_unique<C_AsioStream<T_Socket, FC_ShutDown>>(std::move(socket));
}

// The socket's file name: the logical name after its last backslash.
bool socketPath(std::string_view pipeName, std::filesystem::path& out, std::string& error) {
    const size_t cut = pipeName.rfind('\\');
    const std::string_view leaf =
        cut == std::string_view::npos ? pipeName : pipeName.substr(cut + 1);
    if (leaf.empty() || leaf == "." || leaf == ".." || leaf.find('/') != std::string_view::npos ||
        leaf.find('\0') != std::string_view::npos) {
        error = "invalid pipe name";
        return false;
    }
    std::filesystem::path folder;
    if (!posix::runtimeFolder(folder, error))
        return false;
    out = folder / std::string(leaf);
    if (out.native().size() >= sizeof(sockaddr_un{}.sun_path)) {
        error = "socket path too long: " + out.string();
        return false;
    }
    return true;
}

}  // namespace

struct C_PipeAcceptor::C_Impl {
    explicit C_Impl(asio::io_context& loop) : acceptor(loop) {}

    void accept(C_PipeAcceptor::FC_Accepted done);

    asio::local::stream_protocol::acceptor acceptor;
    std::filesystem::path path;
    C_PipeAcceptor::FC_PeerCheck admit = [](std::uint32_t peer, std::uint32_t own) {
        return peer == own;
    };
    // Expires with the acceptor, so that a wait completing afterwards calls nobody back.
    std::shared_ptr<C_Impl*> alive = std::make_shared<C_Impl*>(this);
};

C_PipeAcceptor::C_PipeAcceptor(asio::io_context& loop) : m_impl(std::make_unique<C_Impl>(loop)) {}

C_PipeAcceptor::~C_PipeAcceptor() {
    std::error_code ec;
    m_impl->acceptor.close(ec);
    if (!m_impl->path.empty())
        ::unlink(m_impl->path.c_str());
}

bool C_PipeAcceptor::open(std::string_view pipeName, std::string& error) {
    std::filesystem::path path;
    if (!socketPath(pipeName, path, error))
        return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        // Left by a server that did not end cleanly; the caller holds the instance lock, so no
        // live server of this user owns it.
        if (!S_ISSOCK(st.st_mode)) {
            error = path.string() + " exists and is not a socket";
            return false;
        }
        if (::unlink(path.c_str()) != 0) {
            error = "unlink " + path.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    auto& acceptor = m_impl->acceptor;
    std::error_code ec;
    acceptor.open(asio::local::stream_protocol(), ec);
    if (!ec) {
        setCloseOnExec(acceptor.native_handle());
        acceptor.bind(asio::local::stream_protocol::endpoint(path.native()), ec);
    }
    if (ec) {
        error = "bind " + path.string() + ": " + ec.message();
        acceptor.close(ec);
        return false;
    }
    m_impl->path = path;
    // The folder already keeps others out; the mode says the same of the socket itself.
    if (::chmod(path.c_str(), 0600) != 0) {
        error = "chmod " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "listen " + path.string() + ": " + ec.message();
        return false;
    }
    return true;
}

void C_PipeAcceptor::C_Impl::accept(C_PipeAcceptor::FC_Accepted done) {
    acceptor.async_accept([alive = std::weak_ptr<C_Impl*>(alive), done = std::move(done)](
                              const std::error_code& ec, T_Socket socket) mutable {
        const auto impl = alive.lock();
        if (!impl)
            return;
        if (ec) {
            done(ec, nullptr);
            return;
        }
        ucred cred{};
        socklen_t len = sizeof cred;
        if (::getsockopt(socket.native_handle(), SOL_SOCKET, SO_PEERCRED, &cred, &len) != 0 ||
            !(*impl)->admit(static_cast<std::uint32_t>(cred.uid),
                            static_cast<std::uint32_t>(::geteuid()))) {
            std::error_code ignored;
            socket.close(ignored);
            (*impl)->accept(std::move(done));
            return;
        }
        done(ec, socketStream(std::move(socket)));
    });
}

void C_PipeAcceptor::asyncAccept(FC_Accepted done) { m_impl->accept(std::move(done)); }

void C_PipeAcceptor::setPeerCheckForTest(FC_PeerCheck admit) { m_impl->admit = std::move(admit); }

std::unique_ptr<I_PipeStream> connectPipe(asio::io_context& loop, std::string_view pipeName,
                                          std::error_code& ec) {
    std::filesystem::path path;
    std::string error;
    if (!socketPath(pipeName, path, error)) {
        ec = std::make_error_code(std::errc::no_such_file_or_directory);
        return nullptr;
    }
    T_Socket socket(loop);
    socket.connect(asio::local::stream_protocol::endpoint(path.native()), ec);
    if (ec)
        return nullptr;
    return socketStream(std::move(socket));
}

std::pair<std::unique_ptr<I_PipeStream>, std::unique_ptr<I_PipeStream>> connectedPipePair(
    asio::io_context& loop) {
    T_Socket a(loop), b(loop);
    asio::local::connect_pair(a, b);  // throws std::system_error
    return {socketStream(std::move(a)), socketStream(std::move(b))};
}

std::string pipeLocation(std::string_view pipeName) {
    std::filesystem::path path;
    std::string error;
    return socketPath(pipeName, path, error) ? path.string() : std::string();
}

}  // namespace kov::platform
