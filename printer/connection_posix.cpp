// Printer connections on POSIX systems: a network printer's raw port and
// devices written in place (USB line printers, serial ports, FIFOs). Every
// wait is bounded and checks for a stop; every failure says how many bytes
// the printer had taken.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "common/fail.hpp"
#include "common/text.hpp"
#include "lumarin/error.hpp"
#include "lumarin/printer.hpp"
#include "printer/destination.hpp"
#include "surface/unique_fd.hpp"

namespace lumarin {

#if defined(__linux__)
std::optional<std::uint64_t> tcp_bytes_acked(int fd) noexcept;  // tcp_acked.cpp
#endif

namespace {

using Clock = std::chrono::steady_clock;

// Waits are cut into slices this long so that a stop is heard promptly.
constexpr std::chrono::milliseconds kSlice{50};

std::string seconds(std::chrono::milliseconds t)
{
    const long long ms = t.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

std::string byte_count(std::uint64_t n) { return grouped(static_cast<long long>(n)) + (n == 1 ? " byte" : " bytes"); }

// Waits for `events` on `fd` until `timeout` passes; false when it passed.
bool wait_for(int fd, short events, std::chrono::milliseconds timeout, const ConnectionOptions& options)
{
    const auto deadline = Clock::now() + timeout;
    while (true) {
        if (options.check_stop)
            options.check_stop();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(std::min(left, kSlice).count()));
        if (ready > 0)
            return true;
        if (ready < 0 && errno != EINTR)
            return true;  // the write that follows says what is wrong
    }
}

// What the printer at the other end has acknowledged, where the system
// can tell; otherwise what it was handed.
std::uint64_t acknowledged(int fd, std::uint64_t handed)
{
#if defined(__linux__)
    if (const auto acked = tcp_bytes_acked(fd))
        return std::min(*acked, handed);
#endif
    (void)fd;
    return handed;
}

// Bytes handed over that the other end has not taken yet.
int unsent(int fd)
{
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) != 0)
        return 0;
    return queued;
}

class FdConnection : public PrinterConnection {
public:
    FdConnection(UniqueFd fd, std::string name, ConnectionOptions options, bool socket)
        : fd_(std::move(fd)), name_(std::move(name)), options_(std::move(options)), socket_(socket)
    {
    }

    void write(std::span<const std::byte> bytes) override
    {
        while (!bytes.empty()) {
            const ssize_t n = socket_ ? ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL)
                                      : ::write(fd_.get(), bytes.data(), bytes.size());
            if (n > 0) {
                handed_ += static_cast<std::uint64_t>(n);
                bytes = bytes.subspan(static_cast<std::size_t>(n));
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                if (!wait_for(fd_.get(), POLLOUT, options_.write_timeout, options_))
                    refuse_stalled();
                continue;
            }
            fail_write(n < 0 ? errno : EPIPE);
        }
    }

    void finish() override
    {
        // Done when the other end has taken everything: a job is not
        // reported sent while its end still sits in our queue.
        const auto deadline = Clock::now() + options_.write_timeout;
        while (unsent(fd_.get()) > 0) {
            if (options_.check_stop)
                options_.check_stop();
            if (Clock::now() >= deadline)
                refuse_stalled();
            pollfd p{fd_.get(), 0, 0};
            ::poll(&p, 1, 5);
            if ((p.revents & (POLLERR | POLLHUP)) != 0)
                fail_write(socket_error());
        }
        if (socket_)
            ::shutdown(fd_.get(), SHUT_WR);
        if (const int err = socket_error(); err != 0)
            fail_write(err);
    }

    int fd() const noexcept { return fd_.get(); }

    std::uint64_t bytes_sent() const noexcept override
    {
        return socket_ ? acknowledged(fd_.get(), handed_) : handed_ - static_cast<std::uint64_t>(unsent(fd_.get()));
    }

private:
    // Over TCP, what the printer acknowledged: it may have read more whose
    // acknowledgement had not come back.
    std::string reached() const
    {
        return (socket_ ? "at least " : "") + byte_count(bytes_sent()) + " had reached it";
    }

    int socket_error() const
    {
        int err = 0;
        socklen_t size = sizeof err;
        if (socket_ && ::getsockopt(fd_.get(), SOL_SOCKET, SO_ERROR, &err, &size) != 0)
            return 0;
        return err;
    }

    [[noreturn]] void fail_write(int err) const
    {
        std::string what;
        switch (err) {
        case EPIPE: what = "the printer closed the connection"; break;
        case ECONNRESET: what = "the printer reset the connection"; break;
        case ETIMEDOUT: what = "the connection timed out"; break;
        case EIO: what = "the device reported an I/O error"; break;
        case ENOSPC: what = "the device took no more"; break;
        default: what = std::strerror(err);
        }
        fail(ErrorKind::DeviceIO,
             "cannot send to " + name_ + ": " + what + " after " + reached());
    }

    [[noreturn]] void refuse_stalled() const
    {
        fail(ErrorKind::DeviceIO, "cannot send to " + name_ + ": timed out: it took nothing for " +
                                      seconds(options_.write_timeout) + ", after " + reached());
    }

    UniqueFd fd_;
    std::string name_;
    ConnectionOptions options_;
    bool socket_;
    std::uint64_t handed_ = 0;
};

// A terminal (a serial port) passes bytes unchanged while the job runs,
// and gets its settings back afterwards.
class TerminalConnection : public FdConnection {
public:
    TerminalConnection(UniqueFd fd, std::string name, ConnectionOptions options, const termios& saved)
        : FdConnection(std::move(fd), std::move(name), std::move(options), false), saved_(saved)
    {
    }
    ~TerminalConnection() override { ::tcsetattr(fd(), TCSANOW, &saved_); }

private:
    termios saved_;
};

std::string describe_address_error(int err)
{
    switch (err) {
    case ECONNREFUSED: return "connection refused";
    case ETIMEDOUT: return "timed out";
    case EHOSTUNREACH: return "host unreachable";
    case ENETUNREACH: return "network unreachable";
    default: return std::strerror(err);
    }
}

std::unique_ptr<PrinterConnection> connect_tcp(const NetworkAddress& address, const ConnectionOptions& options)
{
    const std::string name = "tcp://" + address.host + ":" + address.port;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int err = ::getaddrinfo(address.host.c_str(), address.port.c_str(), &hints, &found); err != 0)
        fail(ErrorKind::DeviceUnavailable, "cannot connect to " + name + ": " + ::gai_strerror(err));
    const std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> list(found, &::freeaddrinfo);
    std::string why = "no address";
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        UniqueFd fd(::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (!fd) {
            why = std::strerror(errno);
            continue;
        }
        int err = 0;
        if (::connect(fd.get(), a->ai_addr, a->ai_addrlen) != 0) {
            err = errno;
            if (err == EINPROGRESS) {
                if (!wait_for(fd.get(), POLLOUT, options.connect_timeout, options)) {
                    why = "timed out after " + seconds(options.connect_timeout);
                    continue;
                }
                socklen_t size = sizeof err;
                ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &size);
            }
        }
        if (err != 0) {
            why = describe_address_error(err);
            continue;
        }
        const int one = 1;
        ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        return std::make_unique<FdConnection>(std::move(fd), name, options, true);
    }
    fail(ErrorKind::DeviceUnavailable, "cannot connect to " + name + ": " + why);
}

std::unique_ptr<PrinterConnection> open_device(const std::string& path, const ConnectionOptions& options)
{
    // Not blocking: a printer that takes nothing must not hold the job
    // past its time-out.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    if (!fd) {
        const int err = errno;
        switch (err) {
        case EACCES:
        case EPERM:
            fail(ErrorKind::DeviceUnavailable, "cannot open the printer " + path + ": permission denied, for this user");
        case ENOENT: fail(ErrorKind::DeviceUnavailable, "cannot open the printer " + path + ": there is no such device");
        case ENXIO:
            fail(ErrorKind::DeviceUnavailable,
                 "cannot open the printer " + path + ": nothing is there to take the bytes (no device, or a FIFO no one reads)");
        default: fail(ErrorKind::DeviceUnavailable, "cannot open the printer " + path + ": " + std::strerror(err));
        }
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !(S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
        fail(ErrorKind::PathFileAccess,
             "cannot send to " + path + ": it is not a device; printers are written as devices, files are saved");
    termios saved{};
    if (::isatty(fd.get()) && ::tcgetattr(fd.get(), &saved) == 0) {
        termios raw = saved;
        ::cfmakeraw(&raw);  // keeps the speed; no newline translation, no echo
        if (::tcsetattr(fd.get(), TCSANOW, &raw) != 0)
            fail(ErrorKind::DeviceUnavailable, "cannot set the serial port " + path + " to pass bytes unchanged: " +
                                                   std::strerror(errno));
        return std::make_unique<TerminalConnection>(std::move(fd), path, options, saved);
    }
    return std::make_unique<FdConnection>(std::move(fd), path, options, false);
}

}  // namespace

std::unique_ptr<PrinterConnection> connect_printer(std::string_view destination, const ConnectionOptions& options)
{
    if (const auto address = network_address(destination))
        return connect_tcp(*address, options);
    if (destination.empty())
        fail(ErrorKind::InvalidPropertyValue, "no printer was named");
    return open_device(std::string(destination), options);
}

}  // namespace lumarin
