// A network printer's raw port through Winsock. The socket is non-blocking
// so that every wait (the connection, a full send buffer, the printer's
// close at the end) goes in slices that call check_stop and keep to the
// time-outs. bytes_sent counts what send accepted.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <array>
#include <string>

#include "common/fail.hpp"
#include "common/text.hpp"
#include "lumarin/error.hpp"
#include "printer/connection_win32.hpp"
#include "surface/unique_handle.hpp"

namespace lumarin::win {

namespace {

// Winsock for as long as a connection lives; WSAStartup counts its callers,
// so each session balances its own.
class WinsockSession {
public:
    explicit WinsockSession(std::string_view name)
    {
        WSADATA data;
        if (const int error = WSAStartup(MAKEWORD(2, 2), &data); error != 0)
            fail(ErrorKind::DeviceUnavailable,
                 "cannot connect to " + std::string(name) + ": Winsock did not start: " + system_message(error));
    }
    ~WinsockSession() { WSACleanup(); }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
};

struct InvalidSocketIsNone {
    template <typename Raw>
    static Raw none() noexcept
    {
        return INVALID_SOCKET;
    }
};
using Socket = UniqueHandle<SOCKET, closesocket, InvalidSocketIsNone>;
using AddressList = UniqueHandle<ADDRINFOW*, FreeAddrInfoW>;

timeval timeval_of(DWORD ms)
{
    return {static_cast<long>(ms / 1000), static_cast<long>(ms % 1000 * 1000)};
}

enum class Ready { Yes, Failed, Not };

// Whether `s` became writable (or, with `failed`, reported a failure)
// within one slice.
Ready wait_writable(SOCKET s, DWORD slice_ms)
{
    fd_set writable, failed;
    FD_ZERO(&writable);
    FD_ZERO(&failed);
    FD_SET(s, &writable);
    FD_SET(s, &failed);
    timeval timeout = timeval_of(slice_ms);
    const int n = select(0, nullptr, &writable, &failed, &timeout);
    if (n == SOCKET_ERROR || FD_ISSET(s, &failed))
        return Ready::Failed;
    return n > 0 ? Ready::Yes : Ready::Not;
}

bool wait_readable(SOCKET s, DWORD slice_ms)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval timeout = timeval_of(slice_ms);
    return select(0, &readable, nullptr, nullptr, &timeout) != 0;  // an error shows in the recv that follows
}

int pending_error(SOCKET s)
{
    int error = 0;
    int length = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == SOCKET_ERROR)
        return WSAGetLastError();
    return error;
}

// Waits for a non-blocking connect: 0 once connected, the error otherwise,
// WSAETIMEDOUT when `waiting` runs out.
int wait_connected(SOCKET s, Waiting& waiting)
{
    while (const auto slice = waiting.next_slice()) {
        switch (wait_writable(s, *slice)) {
        case Ready::Yes:
            return pending_error(s);
        case Ready::Failed:
            // select reports a refused connection in the failed set.
            if (const int error = pending_error(s))
                return error;
            return WSAECONNREFUSED;
        case Ready::Not:
            break;
        }
    }
    return WSAETIMEDOUT;
}

std::wstring utf8_to_wide(const std::string& text)
{
    Text wide;
    from_utf8(text, wide);  // parse_destination has checked it
    return std::wstring(wide.begin(), wide.end());
}

AddressList resolve(const Destination& d, const std::string& name)
{
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    AddressList list;
    const int error =
        GetAddrInfoW(utf8_to_wide(d.host).c_str(), std::to_wstring(d.port).c_str(), &hints, list.put());
    if (error == 0)
        return list;
    const std::string host = quoted(d.host);
    if (error == WSAHOST_NOT_FOUND || error == WSANO_DATA)
        fail(ErrorKind::DeviceUnavailable, "cannot connect to " + name + ": host " + host + " not found");
    fail(ErrorKind::DeviceUnavailable,
         "cannot connect to " + name + ": cannot look up host " + host + ": " + system_message(error));
}

std::string connect_failure(int error, const ConnectionOptions& options)
{
    switch (error) {
    case WSAECONNREFUSED:
        return "the connection was refused";
    case WSAETIMEDOUT:
        return "timed out: no answer within " + duration_text(options.connect_timeout);
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
        return "the host cannot be reached (" + system_message(error) + ")";
    default:
        return system_message(static_cast<DWORD>(error));
    }
}

// Tries each address of the host in turn, all within the one connect
// time-out.
Socket connect_socket(const Destination& d, const std::string& name, const ConnectionOptions& options)
{
    const AddressList addresses = resolve(d, name);
    Waiting waiting(options.connect_timeout, options.check_stop);
    int error = WSAEHOSTUNREACH;
    for (const ADDRINFOW* a = addresses.get(); a && error != WSAETIMEDOUT; a = a->ai_next) {
        Socket s(socket(a->ai_family, a->ai_socktype, a->ai_protocol));
        u_long non_blocking = 1;
        if (!s || ioctlsocket(s.get(), FIONBIO, &non_blocking) == SOCKET_ERROR) {
            error = WSAGetLastError();
            continue;
        }
        error = connect(s.get(), a->ai_addr, static_cast<int>(a->ai_addrlen)) == 0 ? 0 : WSAGetLastError();
        if (error == WSAEWOULDBLOCK)
            error = wait_connected(s.get(), waiting);
        if (error == 0)
            return s;
    }
    fail(ErrorKind::DeviceUnavailable, "cannot connect to " + name + ": " + connect_failure(error, options));
}

// True when the system says the printer's side has acknowledged every
// byte and the end of the job: our FIN acknowledged (FIN_WAIT_2), or both
// sides closed (TIME_WAIT). SIO_TCP_INFO is Windows 10 1703's and later's;
// where it is missing (older systems, Wine) only the printer's own close
// tells.
bool acknowledged_to_the_end(SOCKET s)
{
    constexpr DWORD kTcpInfo = _WSAIORW(IOC_VENDOR, 39);  // SIO_TCP_INFO
    constexpr int kFinWait2 = 6, kTimeWait = 10;           // TCPSTATE values
    DWORD version = 0;
    std::array<unsigned char, 256> info{};  // TCP_INFO_v0, whose first member is the state
    DWORD length = 0;
    if (WSAIoctl(s, kTcpInfo, &version, sizeof version, info.data(), static_cast<DWORD>(info.size()), &length,
                 nullptr, nullptr) == SOCKET_ERROR ||
        length < sizeof(int))
        return false;
    int state = 0;
    std::copy_n(info.data(), sizeof state, reinterpret_cast<unsigned char*>(&state));
    return state == kFinWait2 || state == kTimeWait;
}

class TcpConnection final : public PrinterConnection {
public:
    TcpConnection(const Destination& d, std::string_view name, const ConnectionOptions& options)
        : name_(escape_controls(name)), options_(options), winsock_(name_), socket_(connect_socket(d, name_, options_))
    {
    }

    ~TcpConnection() override
    {
        if (finished_ || !socket_)
            return;
        // A job cut short: reset rather than let the rest of the send
        // buffer reach the printer as if it were whole.
        const linger abort{1, 0};
        setsockopt(socket_.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    }

    void write(std::span<const std::byte> bytes) override
    {
        Waiting waiting(options_.write_timeout, options_.check_stop);
        while (!bytes.empty()) {
            const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), 1 << 20));
            const int n = send(socket_.get(), reinterpret_cast<const char*>(bytes.data()), chunk, 0);
            if (n > 0) {
                sent_ += static_cast<std::uint64_t>(n);
                bytes = bytes.subspan(static_cast<std::size_t>(n));
                waiting.restart();
                continue;
            }
            if (const int error = WSAGetLastError(); error != WSAEWOULDBLOCK)
                fail_io(io_failure(error));
            wait_for_room(waiting);
        }
    }

    // The sending side shut, then the printer's close awaited: a printer
    // closes once it has read the job to its end. Bytes it sends meanwhile
    // (status) are read and dropped.
    void finish() override
    {
        if (shutdown(socket_.get(), SD_SEND) == SOCKET_ERROR)
            fail_io(io_failure(WSAGetLastError()));
        Waiting waiting(options_.write_timeout, options_.check_stop);
        for (;;) {
            const auto slice = waiting.next_slice();
            if (!slice) {
                if (acknowledged_to_the_end(socket_.get()))
                    break;
                fail_io("timed out: the printer did not close the connection within " +
                        duration_text(options_.write_timeout) + " of the job's end, so it may not have the last bytes");
            }
            if (!wait_readable(socket_.get(), *slice)) {
                if (acknowledged_to_the_end(socket_.get()))
                    break;
                continue;
            }
            std::array<char, 512> answer;
            const int n = recv(socket_.get(), answer.data(), static_cast<int>(answer.size()), 0);
            if (n == 0)
                break;
            if (const int error = n < 0 ? WSAGetLastError() : 0; error != 0 && error != WSAEWOULDBLOCK)
                fail_io(io_failure(error));
        }
        // The printer's close may race a reset of bytes it never read.
        if (const int error = pending_error(socket_.get()))
            fail_io(io_failure(error));
        finished_ = true;
    }

    std::uint64_t bytes_sent() const noexcept override { return sent_; }

private:
    void wait_for_room(Waiting& waiting)
    {
        while (const auto slice = waiting.next_slice())
            if (wait_writable(socket_.get(), *slice) != Ready::Not)
                return;  // room, or a failure the next send reports
        fail_io("timed out: the printer took nothing for " + duration_text(options_.write_timeout));
    }

    static std::string io_failure(int error)
    {
        switch (error) {
        case WSAECONNRESET:
        case WSAENETRESET:
            return "the printer reset the connection";
        case WSAECONNABORTED:
            return "the connection was aborted (reset)";
        case WSAESHUTDOWN:
            return "the connection was closed";
        case WSAETIMEDOUT:
            return "timed out: the printer stopped answering";
        default:
            return system_message(static_cast<DWORD>(error));
        }
    }

    [[noreturn]] void fail_io(const std::string& what) const
    {
        fail(ErrorKind::DeviceIO, "cannot send to " + name_ + ": " + what + "; the printer had taken " +
                                      grouped(static_cast<long long>(sent_)) + " bytes");
    }

    std::string name_;
    ConnectionOptions options_;
    WinsockSession winsock_;  // before socket_: Winsock outlives the socket
    Socket socket_;
    std::uint64_t sent_ = 0;
    bool finished_ = false;
};

}  // namespace

std::unique_ptr<PrinterConnection> connect_tcp(const Destination& destination, std::string_view name,
                                               const ConnectionOptions& options)
{
    return std::make_unique<TcpConnection>(destination, name, options);
}

}  // namespace lumarin::win
