// The Windows printer connections behind connect_printer, one file each:
// a network printer's raw port through Winsock (tcp_win32.cpp), a serial
// port (serial_win32.cpp) and a printer the spooler knows, sent RAW
// (spooler_win32.cpp). The spooler's calls go through Spooler, so that a
// test can put a stand-in in its place and see the calls a job makes.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "lumarin/printer.hpp"

namespace lumarin::win {

// What a destination names, as connect_printer reads it:
//   tcp://HOST[:PORT]    HOST a name, an IPv4 address or [an IPv6 one];
//                        PORT 1 to 65535, 9100 when left out;
//   COM1 ... COM256      a serial port, also as COM3: or \\.\COM10;
//   anything else        a printer the spooler knows.
struct Destination {
    enum class Kind { Tcp, Serial, Spooler } kind = Kind::Spooler;
    std::string host;            // Tcp, without the brackets
    std::uint16_t port = 9100;   // Tcp
    std::wstring device;         // Serial: \\.\COMn, the form every port opens by
    std::wstring printer;        // Spooler: the name as given
};

// InvalidPropertyValue for an empty name, a name that is not UTF-8 and a
// tcp:// destination without a host or with a bad port.
Destination parse_destination(std::string_view destination);

// The system's description of a Windows or Winsock error, without the
// final full stop, and its number: "Access is denied (error 5)".
std::string system_message(DWORD error);

// Waits in short slices, so that check_stop runs while a call waits and
// the limit holds across the slices. Keeps a reference to check_stop.
class Waiting {
public:
    Waiting(std::chrono::milliseconds limit, const std::function<void()>& check_stop);
    // check_stop, then the next slice in milliseconds; nothing once the
    // limit has passed.
    std::optional<DWORD> next_slice();
    // Progress: the whole limit again from now.
    void restart();

    static constexpr DWORD kSliceMs = 100;

private:
    std::chrono::milliseconds limit_;
    const std::function<void()>& check_stop_;
    std::chrono::steady_clock::time_point deadline_;
};

// A name as messages show it: in quotes, its control characters escaped.
std::string quoted(std::string_view name);

// "30 s", "250 ms": a limit as messages state it.
std::string duration_text(std::chrono::milliseconds limit);

// The calls a RAW job makes. Each returns ERROR_SUCCESS or the error the
// call failed with; the system's version calls winspool.
class Spooler {
public:
    virtual ~Spooler() = default;
    virtual DWORD open_printer(const std::wstring& name, HANDLE& printer) = 0;
    virtual DWORD start_doc(HANDLE printer, const DOC_INFO_1W& doc) = 0;
    virtual DWORD start_page(HANDLE printer) = 0;
    virtual DWORD write(HANDLE printer, const void* bytes, DWORD size, DWORD& written) = 0;
    virtual DWORD end_page(HANDLE printer) = 0;
    virtual DWORD end_doc(HANDLE printer) = 0;
    virtual DWORD abort(HANDLE printer) = 0;
    virtual DWORD close_printer(HANDLE printer) = 0;
};

Spooler& system_spooler();

std::unique_ptr<PrinterConnection> connect_tcp(const Destination& destination, std::string_view name,
                                               const ConnectionOptions& options);
std::unique_ptr<PrinterConnection> connect_serial(const Destination& destination, std::string_view name,
                                                  const ConnectionOptions& options);
// `spooler` must outlive the connection.
std::unique_ptr<PrinterConnection> connect_spooler(const Destination& destination, std::string_view name,
                                                   const ConnectionOptions& options, Spooler& spooler);

}  // namespace lumarin::win
