// The Windows printer connections under Wine: destinations read as the
// three kinds; a raw TCP port played by a Winsock server of the test's own
// on 127.0.0.1 (a whole job, a reset, a printer that stops reading, a
// refused port); the spooler's call sequence against a
// stand-in that records it; and an unknown printer through the real
// spooler. Two more modes serve drivers:
//   connection_test serial DESTINATION COUNT WRITE_TIMEOUT_MS
//       sends COUNT bytes of pattern() (serial_test.py reads them);
//   connection_test cut-short
//       a TCP job destroyed unfinished is reset, or exit 77 where the
//       system cannot reset (Wine);
//   connection_test spooler-job
//       one RAW job of pattern(1000) to the printer named in
//       LUMARIN_TEST_SPOOLER_PRINTER, or exit 77.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <winspool.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/text.hpp"
#include "lumarin/error.hpp"
#include "lumarin/printer.hpp"
#include "printer/connection_win32.hpp"
#include "surface/unique_handle.hpp"

namespace lumarin {
namespace {

using namespace std::chrono_literals;
using win::Destination;

// Bytes that show a lost, repeated or moved piece: no short period.
std::vector<std::byte> pattern(std::size_t count)
{
    std::vector<std::byte> bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = static_cast<std::byte>((i * 131 + i / 251) & 0xFF);
    return bytes;
}

// The error a call throws, or an Error of number 0 when it throws none.
Error error_of(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Error& e) {
        return e;
    }
    return Error(static_cast<ErrorKind>(0), "no error");
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// ---------------------------------------------------------------- destinations

TEST(Destinations, TcpWithAndWithoutPortAndBracketedIpv6)
{
    const Destination plain = win::parse_destination("tcp://printer.local");
    EXPECT_EQ(plain.kind, Destination::Kind::Tcp);
    EXPECT_EQ(plain.host, "printer.local");
    EXPECT_EQ(plain.port, 9100);
    const Destination ported = win::parse_destination("TCP://10.1.2.3:65535");
    EXPECT_EQ(ported.host, "10.1.2.3");
    EXPECT_EQ(ported.port, 65535);
    const Destination v6 = win::parse_destination("tcp://[fe80::1]:9101");
    EXPECT_EQ(v6.host, "fe80::1");
    EXPECT_EQ(v6.port, 9101);
    EXPECT_EQ(win::parse_destination("tcp://[::1]").port, 9100);
    for (const char* bad : {"tcp://", "tcp://:9100", "tcp://host:", "tcp://host:0", "tcp://host:65536",
                            "tcp://host:09100", "tcp://host:91x", "tcp://::1", "tcp://[::1", "tcp://[::1]9100",
                            "tcp://host/queue", "", "\xFF\xFE"}) {
        const Error e = error_of([&] { win::parse_destination(bad); });
        EXPECT_EQ(e.number(), 380) << "'" << bad << "': " << e.what();
    }
}

TEST(Destinations, ComPortsInEveryFormAndOtherNamesForTheSpooler)
{
    const std::pair<const char*, const wchar_t*> ports[] = {
        {"COM1", L"\\\\.\\COM1"}, {"com256", L"\\\\.\\COM256"}, {"COM3:", L"\\\\.\\COM3"},
        {"\\\\.\\COM10", L"\\\\.\\COM10"}, {"\\\\.\\com7", L"\\\\.\\COM7"}};
    for (const auto& [name, device] : ports) {
        const Destination d = win::parse_destination(name);
        EXPECT_EQ(d.kind, Destination::Kind::Serial) << name;
        EXPECT_EQ(d.device, device) << name;
    }
    // Not ports: the spooler is asked for them by name, as given.
    for (const char* name : {"COM0", "COM257", "COM01", "COM", "COMPANY printer", "\\\\.\\COM3:",
                             "\\\\server\\Receipts", "EPSON TM-T88V Receipt"}) {
        const Destination d = win::parse_destination(name);
        EXPECT_EQ(d.kind, Destination::Kind::Spooler) << name;
        EXPECT_EQ(d.printer, std::wstring(name, name + std::strlen(name))) << name;
    }
    EXPECT_EQ(win::parse_destination("Kassendrucker K\xC3\xBC" "che").printer, L"Kassendrucker K\u00FCche");
}

// ---------------------------------------------------------------- tcp

struct InvalidSocketIsNone {
    template <typename Raw>
    static Raw none() noexcept
    {
        return INVALID_SOCKET;
    }
};
using Socket = UniqueHandle<SOCKET, closesocket, InvalidSocketIsNone>;

// A listening (or only bound) socket on 127.0.0.1 and a port of its own.
class Server {
public:
    explicit Server(bool listening = true, int backlog = 4) : socket_(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        int length = sizeof address;
        if (bind(socket_.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == SOCKET_ERROR ||
            getsockname(socket_.get(), reinterpret_cast<sockaddr*>(&address), &length) == SOCKET_ERROR ||
            (listening && listen(socket_.get(), backlog) == SOCKET_ERROR))
            throw std::runtime_error("the test server cannot listen: " + std::to_string(WSAGetLastError()));
        port_ = ntohs(address.sin_port);
    }

    int port() const noexcept { return port_; }
    std::string destination() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    Socket accept_one() const { return Socket(accept(socket_.get(), nullptr, nullptr)); }

private:
    Socket socket_;
    int port_ = 0;
};

// What a peer read before the connection ended, and how it ended.
struct Received {
    std::vector<std::byte> bytes;
    int error = 0;  // 0: a clean close
};

Received read_to_end(SOCKET s)
{
    Received r;
    char buffer[65536];
    for (;;) {
        const int n = recv(s, buffer, sizeof buffer, 0);
        if (n == 0)
            return r;
        if (n < 0) {
            r.error = WSAGetLastError();
            return r;
        }
        const auto* b = reinterpret_cast<const std::byte*>(buffer);
        r.bytes.insert(r.bytes.end(), b, b + n);
    }
}

// A printer that reads a job to its end and then closes.
std::future<Received> serve_whole_job(const Server& server)
{
    return std::async(std::launch::async, [&server] { return read_to_end(server.accept_one().get()); });
}

ConnectionOptions quick(std::chrono::milliseconds write_timeout = 10s)
{
    ConnectionOptions o;
    o.connect_timeout = 10s;
    o.write_timeout = write_timeout;
    return o;
}

TEST(Tcp, AWholeJobArrivesByteForByteInUnevenPieces)
{
    const Server server;
    auto received = serve_whole_job(server);
    const auto job = pattern(3 * 1024 * 1024 + 17);
    const auto connection = connect_printer(server.destination(), quick());
    std::size_t at = 0;
    for (const std::size_t piece : {1u, 7u, 65536u, 1000003u}) {
        connection->write(std::span(job).subspan(at, piece));
        at += piece;
    }
    connection->write(std::span(job).subspan(at));
    connection->finish();
    EXPECT_EQ(connection->bytes_sent(), job.size());
    const Received r = received.get();
    EXPECT_EQ(r.error, 0);
    EXPECT_TRUE(r.bytes == job) << r.bytes.size() << " of " << job.size() << " bytes, or in another order";
}

TEST(Tcp, APrinterThatResetsAfterSomeBytesFailsNamingTheCount)
{
    const Server server;
    constexpr std::size_t kTaken = 100000;
    // Reads kTaken bytes, then closes with more unread: the system resets.
    auto printer = std::async(std::launch::async, [&server] {
        const Socket s = server.accept_one();
        std::vector<char> buffer(kTaken);
        for (std::size_t got = 0; got < kTaken;) {
            const int n = recv(s.get(), buffer.data() + got, static_cast<int>(kTaken - got), 0);
            if (n <= 0)
                return;
            got += static_cast<std::size_t>(n);
        }
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s.get(), &readable);
        timeval patience{30, 0};
        select(0, &readable, nullptr, nullptr, &patience);
    });
    const auto connection = connect_printer(server.destination(), quick());
    const auto piece = pattern(1 << 20);
    const Error e = error_of([&] {
        for (int i = 0; i < 64; ++i)
            connection->write(piece);
        connection->finish();
    });
    printer.get();
    EXPECT_EQ(e.number(), 57) << e.what();
    EXPECT_TRUE(contains(e.what(), "reset") || contains(e.what(), "closed")) << e.what();
    EXPECT_TRUE(contains(e.what(), server.destination())) << e.what();
    EXPECT_GE(connection->bytes_sent(), kTaken);
    EXPECT_TRUE(contains(e.what(), "had taken " + grouped(static_cast<long long>(connection->bytes_sent())) +
                                       " bytes"))
        << e.what();
}

// A printer that accepts and then reads nothing, until the test lets go.
class StalledPrinter {
public:
    explicit StalledPrinter(const Server& server)
        : held_(std::async(std::launch::async, [&server, this] {
              const Socket s = server.accept_one();
              release_.get_future().wait();
          }))
    {
    }
    ~StalledPrinter()
    {
        release_.set_value();
        held_.get();
    }

private:
    std::promise<void> release_;
    std::future<void> held_;
};

TEST(Tcp, APrinterThatStopsReadingTimesOutWithTheCount)
{
    const Server server;
    const StalledPrinter printer(server);
    const auto connection = connect_printer(server.destination(), quick(300ms));
    const auto piece = pattern(1 << 20);
    const Error e = error_of([&] {
        for (int i = 0; i < 1024; ++i)  // far more than the system buffers
            connection->write(piece);
    });
    EXPECT_EQ(e.number(), 57) << e.what();
    EXPECT_TRUE(contains(e.what(), "timed out: the printer took nothing for 300 ms")) << e.what();
    EXPECT_TRUE(contains(e.what(), grouped(static_cast<long long>(connection->bytes_sent())) + " bytes")) << e.what();
}

TEST(Tcp, FinishingIsNoSuccessWhileThePrinterHasNotReadTheJob)
{
    // A small job fits the system's buffers and leaves at once; only the
    // printer's close at the end shows it has read it.
    const Server server;
    const StalledPrinter printer(server);
    const auto connection = connect_printer(server.destination(), quick(300ms));
    connection->write(pattern(1000));
    const Error e = error_of([&] { connection->finish(); });
    EXPECT_EQ(e.number(), 57) << e.what();
    EXPECT_TRUE(contains(e.what(), "did not close the connection within 300 ms")) << e.what();
    EXPECT_TRUE(contains(e.what(), "had taken 1,000 bytes")) << e.what();
}

TEST(Tcp, CheckStopEndsEveryWait)
{
    struct Stopped {};
    int calls = 0;
    ConnectionOptions o = quick(60s);
    o.check_stop = [&] {
        if (++calls == 3)
            throw Stopped{};
    };
    const Server server;
    {
        const StalledPrinter printer(server);
        const auto connection = connect_printer(server.destination(), o);
        const auto piece = pattern(1 << 20);
        const auto write_much = [&] {
            for (int i = 0; i < 1024; ++i)
                connection->write(piece);
        };
        EXPECT_THROW(write_much(), Stopped);
    }
    calls = 0;
    {
        const StalledPrinter printer(server);
        const auto connection = connect_printer(server.destination(), o);
        connection->write(pattern(10));
        EXPECT_THROW(connection->finish(), Stopped);
    }
}

TEST(Tcp, APrinterThatNeverAnswersTimesOutConnecting)
{
    // A listening socket whose queue of connections nobody accepts: once
    // the queue is full, the system drops further requests unanswered.
    const Server server(true, 0);
    std::vector<Socket> queued;
    for (int i = 0; i < 4; ++i) {
        queued.emplace_back(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        u_long non_blocking = 1;
        ioctlsocket(queued.back().get(), FIONBIO, &non_blocking);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<u_short>(server.port()));
        connect(queued.back().get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ConnectionOptions o = quick();
    o.connect_timeout = 300ms;
    const Error e = error_of([&] { connect_printer(server.destination(), o); });
    EXPECT_EQ(e.number(), 68) << e.what();
    EXPECT_TRUE(contains(e.what(), "cannot connect to " + server.destination() + ": timed out: no answer within "
                                                                                 "300 ms"))
        << e.what();
}

TEST(Tcp, ARefusedPortAndAnUnknownHostAreDeviceUnavailable)
{
    const Server bound_only(false);  // nobody listens: the system refuses
    const Error refused = error_of([&] { connect_printer(bound_only.destination(), quick()); });
    EXPECT_EQ(refused.number(), 68) << refused.what();
    EXPECT_TRUE(contains(refused.what(), "cannot connect to " + bound_only.destination() + ": the connection was "
                                                                                         "refused"))
        << refused.what();
    // An empty label: refused by the resolver itself, without asking a
    // name server.
    const Error unknown = error_of([&] { connect_printer("tcp://no..such.host:9100", quick()); });
    EXPECT_EQ(unknown.number(), 68) << unknown.what();
    EXPECT_TRUE(contains(unknown.what(), "host 'no..such.host' not found")) << unknown.what();
}

// ---------------------------------------------------------------- spooler

// Records each call; fails the call named in `fail_on` (its n-th time) with
// `error`; takes at most `most_per_write` bytes a write.
class RecordingSpooler final : public win::Spooler {
public:
    std::vector<std::string> calls;
    std::vector<std::byte> taken;
    std::string fail_on;
    int fail_at_time = 1;
    DWORD error = ERROR_SUCCESS;
    DWORD most_per_write = 0xFFFFFFFF;

    DWORD open_printer(const std::wstring& name, HANDLE& printer) override
    {
        if (const DWORD e = record("open " + to_utf8(std::u16string(name.begin(), name.end()))))
            return e;
        printer = reinterpret_cast<HANDLE>(0x1234);
        return ERROR_SUCCESS;
    }
    DWORD start_doc(HANDLE printer, const DOC_INFO_1W& doc) override
    {
        const std::wstring type = doc.pDatatype ? doc.pDatatype : L"(none)";
        return record(handled(printer, "start_doc " + std::string(type.begin(), type.end())));
    }
    DWORD start_page(HANDLE printer) override { return record(handled(printer, "start_page")); }
    DWORD write(HANDLE printer, const void* bytes, DWORD size, DWORD& written) override
    {
        if (const DWORD e = record(handled(printer, "write")))
            return e;
        written = std::min(size, most_per_write);
        const auto* b = static_cast<const std::byte*>(bytes);
        taken.insert(taken.end(), b, b + written);
        calls.back() += " " + std::to_string(size) + " took " + std::to_string(written);
        return ERROR_SUCCESS;
    }
    DWORD end_page(HANDLE printer) override { return record(handled(printer, "end_page")); }
    DWORD end_doc(HANDLE printer) override { return record(handled(printer, "end_doc")); }
    DWORD abort(HANDLE printer) override { return record(handled(printer, "abort")); }
    DWORD close_printer(HANDLE printer) override { return record(handled(printer, "close")); }

private:
    std::string handled(HANDLE printer, std::string call)
    {
        return printer == reinterpret_cast<HANDLE>(0x1234) ? call : call + " (a handle never opened)";
    }
    DWORD record(std::string call)
    {
        const std::string name = call.substr(0, call.find(' '));
        const bool failing = name == fail_on && --fail_at_time == 0;
        calls.push_back(std::move(call) + (failing ? " FAILS" : ""));
        return failing ? error : ERROR_SUCCESS;
    }
};

std::unique_ptr<PrinterConnection> spool(const std::string& name, RecordingSpooler& spooler,
                                         const ConnectionOptions& options = {})
{
    return win::connect_spooler(win::parse_destination(name), name, options, spooler);
}

using Calls = std::vector<std::string>;

TEST(Spooler, AJobIsOneRawDocumentOfOnePageWrittenToTheLastByte)
{
    RecordingSpooler spooler;
    spooler.most_per_write = 1000;  // short writes are resumed
    const auto job = pattern(2500);
    {
        const auto connection = spool("Receipt printer", spooler);
        connection->write(job);
        connection->finish();
        EXPECT_EQ(connection->bytes_sent(), job.size());
    }
    EXPECT_EQ(spooler.calls, (Calls{"open Receipt printer", "start_doc RAW", "start_page", "write 2500 took 1000",
                                    "write 1500 took 1000", "write 500 took 500", "end_page", "end_doc", "close"}));
    EXPECT_TRUE(spooler.taken == job);
}

TEST(Spooler, AFailedWriteAbortsTheJobAndSaysHowMuchWasTaken)
{
    RecordingSpooler spooler;
    spooler.most_per_write = 1000;
    spooler.fail_on = "write";
    spooler.fail_at_time = 3;
    spooler.error = ERROR_PRINT_CANCELLED;
    Error e = error_of([] {});
    {
        const auto connection = spool("Receipt printer", spooler);
        e = error_of([&] {
            connection->write(pattern(5000));
            connection->finish();
        });
    }
    EXPECT_EQ(e.number(), 57) << e.what();
    EXPECT_TRUE(contains(e.what(), "cannot send to 'Receipt printer': ")) << e.what();
    EXPECT_TRUE(contains(e.what(), "the spooler had taken 2,000 bytes, and the job is cancelled")) << e.what();
    EXPECT_TRUE(contains(e.what(), "error 63")) << e.what();
    EXPECT_EQ(spooler.calls, (Calls{"open Receipt printer", "start_doc RAW", "start_page", "write 5000 took 1000",
                                    "write 4000 took 1000", "write FAILS", "abort", "end_doc", "close"}));
}

TEST(Spooler, EveryFailureBeforeTheEndLeavesNoJobAndNoOpenHandle)
{
    struct Case {
        const char* fail_on;
        DWORD error;
        int number;
        Calls calls;
    };
    const Case cases[] = {
        {"open", ERROR_INVALID_PRINTER_NAME, 68, {"open Nowhere FAILS"}},
        {"start_doc", ERROR_INVALID_DATATYPE, 68, {"open Nowhere", "start_doc RAW FAILS", "close"}},
        {"start_page", ERROR_NOT_ENOUGH_MEMORY, 68,
         {"open Nowhere", "start_doc RAW", "start_page FAILS", "abort", "end_doc", "close"}},
        {"end_page", ERROR_NOT_ENOUGH_MEMORY, 57,
         {"open Nowhere", "start_doc RAW", "start_page", "write 10 took 10", "end_page FAILS", "abort", "end_doc",
          "close"}},
        {"end_doc", ERROR_NOT_ENOUGH_MEMORY, 57,
         {"open Nowhere", "start_doc RAW", "start_page", "write 10 took 10", "end_page", "end_doc FAILS", "abort",
          "end_doc", "close"}},
    };
    for (const Case& c : cases) {
        RecordingSpooler spooler;
        spooler.fail_on = c.fail_on;
        spooler.error = c.error;
        const Error e = error_of([&] {
            const auto connection = spool("Nowhere", spooler);
            connection->write(pattern(10));
            connection->finish();
        });
        EXPECT_EQ(e.number(), c.number) << c.fail_on << ": " << e.what();
        EXPECT_TRUE(contains(e.what(), "'Nowhere'")) << e.what();
        EXPECT_TRUE(contains(e.what(), "error " + std::to_string(c.error))) << e.what();
        EXPECT_EQ(spooler.calls, c.calls) << c.fail_on;
    }
}

TEST(Spooler, AJobLeftUnfinishedOrStoppedIsAborted)
{
    RecordingSpooler spooler;
    {
        const auto connection = spool("Receipt printer", spooler);
        connection->write(pattern(10));
    }
    EXPECT_EQ(spooler.calls, (Calls{"open Receipt printer", "start_doc RAW", "start_page", "write 10 took 10",
                                    "abort", "end_doc", "close"}));

    struct Stopped {};
    RecordingSpooler stopped;
    ConnectionOptions o;
    o.check_stop = [] { throw Stopped{}; };
    EXPECT_THROW(
        {
            const auto connection = spool("Receipt printer", stopped, o);
            connection->write(pattern(10));
        },
        Stopped);
    EXPECT_EQ(stopped.calls, (Calls{"open Receipt printer", "start_doc RAW", "start_page", "abort", "end_doc",
                                    "close"}));
}

TEST(Spooler, ThePrinterNameReachesTheSpoolerInUtf16)
{
    RecordingSpooler spooler;
    spool("K\xC3\xBC" "che \xE2\x82\xAC", spooler)->finish();
    ASSERT_FALSE(spooler.calls.empty());
    EXPECT_EQ(spooler.calls.front(), "open K\xC3\xBC" "che \xE2\x82\xAC");
}

TEST(Spooler, ANameTheSystemSpoolerDoesNotKnowIsDeviceUnavailable)
{
    const Error e = error_of([] { connect_printer("Lumarin test printer that is not there"); });
    EXPECT_EQ(e.number(), 68) << e.what();
    EXPECT_TRUE(contains(e.what(), "cannot send to 'Lumarin test printer that is not there': ")) << e.what();
}

TEST(Serial, APortThatIsNotThereIsDeviceUnavailable)
{
    const Error e = error_of([] { connect_printer("COM219"); });
    EXPECT_EQ(e.number(), 68) << e.what();
    EXPECT_TRUE(contains(e.what(), "cannot open COM219: ")) << e.what();
}

// ---------------------------------------------------------------- driver modes

int serial_mode(const std::string& destination, std::size_t count, int timeout_ms)
{
    ConnectionOptions o;
    o.write_timeout = std::chrono::milliseconds(timeout_ms);
    try {
        const auto connection = connect_printer(destination, o);
        const auto job = pattern(count);
        // Pieces of a few sizes, so that short writes are resumed inside
        // a piece and between them.
        for (std::size_t at = 0, piece = 1; at < job.size(); at += piece, piece = piece * 5 + 3)
            connection->write(std::span(job).subspan(at, std::min(piece, job.size() - at)));
        connection->finish();
        std::printf("sent %llu\n", static_cast<unsigned long long>(connection->bytes_sent()));
        return 0;
    } catch (const Error& e) {
        std::printf("error %d: %s\n", e.number(), e.what());
        return 1;
    }
}

// Whether this system resets a connection closed with SO_LINGER 0, as
// Windows does; Wine closes it cleanly all the same.
bool hard_close_resets()
{
    const Server server;
    auto received = serve_whole_job(server);
    {
        Socket s(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<u_short>(server.port()));
        connect(s.get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
        send(s.get(), "job", 3, 0);
        const linger hard{1, 0};
        setsockopt(s.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
    }
    return received.get().error != 0;
}

// A connection destroyed without finish (the encoder failed, the user
// stopped): the printer must see a reset, not the clean end of a job.
int cut_short_mode()
{
    if (!hard_close_resets()) {
        std::printf("SKIP: this system closes a socket cleanly even with SO_LINGER 0 (Wine does), so a job cut "
                    "short cannot be told from a whole one here\n");
        return 77;
    }
    const Server server;
    auto received = serve_whole_job(server);
    {
        const auto connection = connect_printer(server.destination(), quick());
        connection->write(pattern(5000));
    }
    const Received r = received.get();
    if (r.error == 0) {
        std::printf("FAIL: a job cut short after %zu bytes was closed cleanly\n", r.bytes.size());
        return 1;
    }
    std::printf("ok   a job cut short is reset (error %d at the printer)\n", r.error);
    return 0;
}

// The printers the spooler knows, by name.
std::vector<std::string> spooler_printers()
{
    DWORD needed = 0, count = 0;
    constexpr DWORD kWhich = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    EnumPrintersW(kWhich, nullptr, 4, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    std::vector<std::string> names;
    if (needed == 0 || !EnumPrintersW(kWhich, nullptr, 4, buffer.data(), needed, &needed, &count))
        return names;
    const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        const std::wstring wide = info[i].pPrinterName;
        names.push_back(to_utf8(std::u16string(wide.begin(), wide.end())));
    }
    return names;
}

// Only a printer named in LUMARIN_TEST_SPOOLER_PRINTER gets the job, so
// that no machine's real printer prints a test by chance.
int spooler_job_mode()
{
    const auto names = spooler_printers();
    const char* chosen = std::getenv("LUMARIN_TEST_SPOOLER_PRINTER");
    if (!chosen || std::find(names.begin(), names.end(), chosen) == names.end()) {
        std::string known;
        for (const auto& name : names)
            known += (known.empty() ? "'" : ", '") + name + "'";
        std::printf("SKIP: %s; the spooler knows %s (Wine's spooler has printers only through CUPS)\n",
                    chosen ? "LUMARIN_TEST_SPOOLER_PRINTER names none of its printers"
                           : "LUMARIN_TEST_SPOOLER_PRINTER names no printer to send a test job to",
                    known.empty() ? "none" : known.c_str());
        return 77;
    }
    try {
        const auto connection = connect_printer(chosen);
        connection->write(pattern(1000));
        connection->finish();
        std::printf("ok   sent %llu bytes to '%s'\n", static_cast<unsigned long long>(connection->bytes_sent()),
                    chosen);
        return 0;
    } catch (const Error& e) {
        std::printf("FAIL: '%s': error %d: %s\n", chosen, e.number(), e.what());
        return 1;
    }
}

}  // namespace
}  // namespace lumarin

int main(int argc, char** argv)
{
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0)
        return 1;
    int status = 0;
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "serial" && argc == 5)
        status = lumarin::serial_mode(argv[2], std::stoul(argv[3]), std::stoi(argv[4]));
    else if (mode == "cut-short")
        status = lumarin::cut_short_mode();
    else if (mode == "spooler-job")
        status = lumarin::spooler_job_mode();
    else {
        testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    WSACleanup();
    return status;
}
