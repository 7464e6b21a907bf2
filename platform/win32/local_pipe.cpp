// Windows backend of the local pipe: the named pipe, byte mode, local clients only, with an
// access list for the server's own user, the local system and app-container processes.
#include "platform/local_pipe.h"

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/windows/overlapped_ptr.hpp>
#include <asio/windows/stream_handle.hpp>

#include <atomic>
#include <chrono>
#include <string>
#include <system_error>

#include <windows.h>
#include <sddl.h>

#include "platform/asio_stream.h"
#include "platform/win32/wide_text.h"

namespace kov::platform {

namespace {

using T_Handle = asio::windows::stream_handle;

struct FC_NothingBeforeClose {
    void operator()(T_Handle&) const noexcept {}
};
using C_HandleStream = C_AsioStream<T_Handle, FC_NothingBeforeClose>;

std::error_code systemError(DWORD code) {
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
        return std::make_error_code(std::errc::no_such_file_or_directory);
    return std::error_code(static_cast<int>(code), std::system_category());
}

std::string numberText(unsigned long n) { return std::to_string(n); }

// "D:" with full access for the user of this process (its SID from the process token), the
// local system, all app-container packages and all restricted app-container packages.
bool pipeAccessList(std::wstring& sddl, std::string& error) {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
        error = "OpenProcessToken error " + numberText(::GetLastError());
        return false;
    }
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::string buffer(size, '\0');
    const bool got =
        size > 0 && ::GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    const DWORD tokenError = ::GetLastError();
    ::CloseHandle(token);
    if (!got) {
        error = "GetTokenInformation error " + numberText(tokenError);
        return false;
    }
    LPWSTR sidText = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid,
                                  &sidText)) {
        error = "ConvertSidToStringSidW error " + numberText(::GetLastError());
        return false;
    }
    sddl = L"D:(A;;GA;;;";
    sddl += sidText;
    sddl += L")(A;;GA;;;SY)(A;;GA;;;AC)(A;;GA;;;S-1-15-2-2)";
    ::LocalFree(sidText);
    return true;
}

// Frees a security descriptor of the SDDL conversion on every path.
struct C_LocalFreeGuard {
    PSECURITY_DESCRIPTOR sd = nullptr;
    ~C_LocalFreeGuard() {
        if (sd)
            ::LocalFree(sd);
    }
};

constexpr DWORD kPipeMode =
    PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;

}  // namespace

struct C_PipeAcceptor::C_Impl {
    explicit C_Impl(asio::io_context& l) : loop(l) {}

    // A new waiting instance; INVALID_HANDLE_VALUE with error set on failure.
    HANDLE createInstance(DWORD& error);
    void accept(C_PipeAcceptor::FC_Accepted done);

    asio::io_context& loop;
    std::wstring name;
    std::wstring sddl;
    bool firstMade = false;
    std::shared_ptr<T_Handle> pending;  // the instance that waits for a client
    std::shared_ptr<C_Impl*> alive = std::make_shared<C_Impl*>(this);
};

HANDLE C_PipeAcceptor::C_Impl::createInstance(DWORD& error) {
    C_LocalFreeGuard guard;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                &guard.sd, nullptr)) {
        error = ::GetLastError();
        return INVALID_HANDLE_VALUE;
    }
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof sa;
    sa.lpSecurityDescriptor = guard.sd;
    sa.bInheritHandle = FALSE;
    // The first instance must be the first of its name: nobody else may already serve it.
    const DWORD openMode = PIPE_ACCESS_DUPLEX | WRITE_DAC | FILE_FLAG_OVERLAPPED |
                           (firstMade ? 0 : FILE_FLAG_FIRST_PIPE_INSTANCE);
    const HANDLE h = ::CreateNamedPipeW(name.c_str(), openMode, kPipeMode, PIPE_UNLIMITED_INSTANCES,
                                        4096, 4096, 0, &sa);
    if (h == INVALID_HANDLE_VALUE)
        error = ::GetLastError();
    else
        firstMade = true;
    return h;
}

void C_PipeAcceptor::C_Impl::accept(C_PipeAcceptor::FC_Accepted done) {
    if (!pending) {
        DWORD error = 0;
        const HANDLE h = createInstance(error);
        if (h == INVALID_HANDLE_VALUE) {
            asio::post(loop,
                       [alive = std::weak_ptr<C_Impl*>(alive), done = std::move(done), error] {
                           if (alive.lock())
                               done(systemError(error), nullptr);
                       });
            return;
        }
        pending = std::make_shared<T_Handle>(loop);
        std::error_code ec;
        pending->assign(h, ec);
        if (ec) {
            ::CloseHandle(h);
            pending.reset();
            asio::post(loop, [alive = std::weak_ptr<C_Impl*>(alive), done = std::move(done), ec] {
                if (alive.lock())
                    done(ec, nullptr);
            });
            return;
        }
    }
    auto handle = pending;
    asio::windows::overlapped_ptr ov(
        loop, [alive = std::weak_ptr<C_Impl*>(alive), handle, done = std::move(done)](
                  const std::error_code& ec, std::size_t) mutable {
            const auto impl = alive.lock();
            if (!impl)
                return;
            (*impl)->pending.reset();
            if (ec) {
                std::error_code ignored;
                handle->close(ignored);
                done(ec, nullptr);
                return;
            }
            done(ec, std::make_unique<C_HandleStream>(std::move(*handle)));
        });
    const BOOL ok = ::ConnectNamedPipe(handle->native_handle(), ov.get());
    const DWORD error = ::GetLastError();
    if (!ok && error == ERROR_IO_PENDING)
        ov.release();
    else if (!ok && error != ERROR_PIPE_CONNECTED)
        ov.complete(systemError(error), 0);  // e.g. 232: the client came and went already
    else
        ov.complete(std::error_code(), 0);
}

C_PipeAcceptor::C_PipeAcceptor(asio::io_context& loop) : m_impl(std::make_unique<C_Impl>(loop)) {}

C_PipeAcceptor::~C_PipeAcceptor() {
    if (m_impl->pending) {
        ::CancelIoEx(m_impl->pending->native_handle(), nullptr);
        std::error_code ec;
        m_impl->pending->close(ec);
    }
}

bool C_PipeAcceptor::open(std::string_view pipeName, std::string& error) {
    if (!win32::utf8ToWide(pipeName, m_impl->name) || m_impl->name.empty()) {
        error = "invalid pipe name";
        return false;
    }
    if (!pipeAccessList(m_impl->sddl, error))
        return false;
    DWORD code = 0;
    const HANDLE h = m_impl->createInstance(code);
    if (h == INVALID_HANDLE_VALUE) {
        error = "CreateNamedPipeW error " + numberText(code);
        return false;
    }
    m_impl->pending = std::make_shared<T_Handle>(m_impl->loop);
    std::error_code ec;
    m_impl->pending->assign(h, ec);
    if (ec) {
        ::CloseHandle(h);
        m_impl->pending.reset();
        error = "binding the pipe to the event loop: " + ec.message();
        return false;
    }
    return true;
}

void C_PipeAcceptor::asyncAccept(FC_Accepted done) { m_impl->accept(std::move(done)); }

void C_PipeAcceptor::setPeerCheckForTest(FC_PeerCheck) {}

std::unique_ptr<I_PipeStream> connectPipe(asio::io_context& loop, std::string_view pipeName,
                                          std::error_code& ec) {
    std::wstring name;
    if (!win32::utf8ToWide(pipeName, name) || name.empty()) {
        ec = std::make_error_code(std::errc::invalid_argument);
        return nullptr;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (;;) {
        const HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (h != INVALID_HANDLE_VALUE) {
            T_Handle handle(loop);
            handle.assign(h, ec);
            if (ec) {
                ::CloseHandle(h);
                return nullptr;
            }
            ec.clear();
            return std::make_unique<C_HandleStream>(std::move(handle));
        }
        const DWORD error = ::GetLastError();
        const auto now = std::chrono::steady_clock::now();
        if (error != ERROR_PIPE_BUSY || now >= deadline) {
            ec = systemError(error);
            return nullptr;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        ::WaitNamedPipeW(name.c_str(), static_cast<DWORD>(left.count()) + 1);
    }
}

std::pair<std::unique_ptr<I_PipeStream>, std::unique_ptr<I_PipeStream>> connectedPipePair(
    asio::io_context& loop) {
    static std::atomic<unsigned> serial{0};
    const std::wstring name = L"\\\\.\\pipe\\kelvaro-pair-" +
                              std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(serial.fetch_add(1));
    const auto fail = [](const char* what) {
        throw std::system_error(static_cast<int>(::GetLastError()), std::system_category(), what);
    };
    const HANDLE server = ::CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        kPipeMode, 1, 4096, 4096, 0, nullptr);
    if (server == INVALID_HANDLE_VALUE)
        fail("CreateNamedPipeW");
    const HANDLE client = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (client == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        ::CloseHandle(server);
        throw std::system_error(static_cast<int>(error), std::system_category(), "CreateFileW");
    }
    // The client is already there, so the connect reports ERROR_PIPE_CONNECTED at once.
    OVERLAPPED ov{};
    ov.hEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!::ConnectNamedPipe(server, &ov)) {
        const DWORD error = ::GetLastError();
        DWORD ignored = 0;
        if (error == ERROR_IO_PENDING)
            ::GetOverlappedResult(server, &ov, &ignored, TRUE);
    }
    if (ov.hEvent)
        ::CloseHandle(ov.hEvent);
    T_Handle a(loop), b(loop);
    a.assign(server);
    b.assign(client);
    return {std::make_unique<C_HandleStream>(std::move(a)),
            std::make_unique<C_HandleStream>(std::move(b))};
}

std::string pipeLocation(std::string_view pipeName) { return std::string(pipeName); }

}  // namespace kov::platform
