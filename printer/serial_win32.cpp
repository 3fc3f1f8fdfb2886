// A printer on a serial port (COM1 ... COM256). The port keeps its own
// settings (speed, framing, flow control: set with the mode command or the
// device manager); only the write time-out is ours, a short one, so that a
// write comes back every slice to call check_stop and to count the time
// the printer has taken nothing.
#include <windows.h>

#include <algorithm>
#include <string>

#include "common/fail.hpp"
#include "common/text.hpp"
#include "lumarin/error.hpp"
#include "printer/connection_win32.hpp"
#include "surface/win_handles.hpp"

namespace lumarin::win {

namespace {

constexpr DWORD kWriteChunk = 64 * 1024;

std::string open_failure(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return "there is no such port (" + system_message(error) + ")";
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        return "the port is in use or not allowed (" + system_message(error) + ")";
    default:
        return system_message(error);
    }
}

class SerialConnection final : public PrinterConnection {
public:
    SerialConnection(const Destination& d, std::string_view name, const ConnectionOptions& options)
        : name_(escape_controls(name)), options_(options),
          port_(CreateFileW(d.device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    {
        if (!port_)
            fail_open(open_failure(GetLastError()));
        if (!GetCommTimeouts(port_.get(), &saved_))
            fail_open("not a serial port (" + system_message(GetLastError()) + ")");
        COMMTIMEOUTS ours = saved_;
        ours.WriteTotalTimeoutMultiplier = 0;
        ours.WriteTotalTimeoutConstant = Waiting::kSliceMs;
        if (!SetCommTimeouts(port_.get(), &ours))
            fail_open("cannot set its write time-out (" + system_message(GetLastError()) + ")");
        restore_ = true;
    }

    ~SerialConnection() override
    {
        // A job cut short: what the port still holds is not sent.
        if (!finished_)
            PurgeComm(port_.get(), PURGE_TXABORT | PURGE_TXCLEAR);
        if (restore_)
            SetCommTimeouts(port_.get(), &saved_);
    }

    void write(std::span<const std::byte> bytes) override
    {
        Waiting waiting(options_.write_timeout, options_.check_stop);
        while (!bytes.empty()) {
            const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kWriteChunk));
            DWORD written = 0;
            // A time-out is a short write, or on some drivers an error.
            if (!WriteFile(port_.get(), bytes.data(), chunk, &written, nullptr)) {
                if (const DWORD error = GetLastError(); error != ERROR_SEM_TIMEOUT)
                    fail_io(system_message(error));
            }
            if (written > 0) {
                sent_ += written;
                bytes = bytes.subspan(written);
                waiting.restart();
            } else if (!waiting.next_slice()) {
                fail_io("timed out: the printer took nothing for " + duration_text(options_.write_timeout));
            }
        }
    }

    // Returns once the port has sent everything out. FlushFileBuffers
    // alone would wait without end for a printer that holds its flow
    // control; the port's queue is watched first, in slices, so that the
    // write time-out and check_stop hold there too.
    void finish() override
    {
        Waiting waiting(options_.write_timeout, options_.check_stop);
        for (DWORD queued = unsent(); queued != 0;) {
            const auto slice = waiting.next_slice();
            if (!slice)
                fail_io("timed out: the printer took nothing for " + duration_text(options_.write_timeout) + " with " +
                        grouped(queued) + " bytes still in the port");
            Sleep(*slice);
            const DWORD now = unsent();
            if (now < queued)
                waiting.restart();
            queued = now;
        }
        if (!FlushFileBuffers(port_.get()))
            fail_io(system_message(GetLastError()));
        finished_ = true;
    }

    std::uint64_t bytes_sent() const noexcept override { return sent_; }

private:
    // Bytes the port holds that have not gone out; 0 where it cannot tell.
    DWORD unsent() const
    {
        DWORD errors = 0;
        COMSTAT status{};
        return ClearCommError(port_.get(), &errors, &status) ? status.cbOutQue : 0;
    }

    [[noreturn]] void fail_open(const std::string& why) const
    {
        fail(ErrorKind::DeviceUnavailable, "cannot open " + name_ + ": " + why);
    }

    [[noreturn]] void fail_io(const std::string& what) const
    {
        fail(ErrorKind::DeviceIO, "cannot send to " + name_ + ": " + what + "; the port had taken " +
                                      grouped(static_cast<long long>(sent_)) + " bytes");
    }

    std::string name_;
    ConnectionOptions options_;
    File port_;
    COMMTIMEOUTS saved_{};
    bool restore_ = false;
    std::uint64_t sent_ = 0;
    bool finished_ = false;
};

}  // namespace

std::unique_ptr<PrinterConnection> connect_serial(const Destination& destination, std::string_view name,
                                                  const ConnectionOptions& options)
{
    return std::make_unique<SerialConnection>(destination, name, options);
}

}  // namespace lumarin::win
