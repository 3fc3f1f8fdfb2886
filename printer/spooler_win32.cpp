// A printer the spooler knows, sent one RAW job: the bytes reach the
// printer as they are, past its driver. OpenPrinter, StartDocPrinter with
// the RAW datatype, StartPagePrinter, WritePrinter until all is taken,
// EndPagePrinter, EndDocPrinter, ClosePrinter. A job that does not reach
// EndDocPrinter is aborted, so that the spooler prints none of it.
//
// WritePrinter blocks for as long as the spooler (or, for a printer that
// prints directly, its port) takes; the port's own time-outs apply there,
// and check_stop is called between pieces of a mebibyte.
#include <windows.h>
#include <winspool.h>

#include <algorithm>
#include <string>

#include "common/fail.hpp"
#include "common/text.hpp"
#include "lumarin/error.hpp"
#include "printer/connection_win32.hpp"

namespace lumarin::win {

namespace {

constexpr DWORD kWriteChunk = 1 << 20;

DWORD last_error()
{
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

DWORD result(BOOL ok) { return ok ? ERROR_SUCCESS : last_error(); }

class SystemSpooler final : public Spooler {
public:
    DWORD open_printer(const std::wstring& name, HANDLE& printer) override
    {
        return result(OpenPrinterW(const_cast<LPWSTR>(name.c_str()), &printer, nullptr));
    }
    DWORD start_doc(HANDLE printer, const DOC_INFO_1W& doc) override
    {
        auto* info = reinterpret_cast<LPBYTE>(const_cast<DOC_INFO_1W*>(&doc));
        return StartDocPrinterW(printer, 1, info) != 0 ? ERROR_SUCCESS : last_error();
    }
    DWORD start_page(HANDLE printer) override { return result(StartPagePrinter(printer)); }
    DWORD write(HANDLE printer, const void* bytes, DWORD size, DWORD& written) override
    {
        return result(WritePrinter(printer, const_cast<void*>(bytes), size, &written));
    }
    DWORD end_page(HANDLE printer) override { return result(EndPagePrinter(printer)); }
    DWORD end_doc(HANDLE printer) override { return result(EndDocPrinter(printer)); }
    DWORD abort(HANDLE printer) override { return result(AbortPrinter(printer)); }
    DWORD close_printer(HANDLE printer) override { return result(ClosePrinter(printer)); }
};

// The printer's handle, closed once.
class OpenedPrinter {
public:
    OpenedPrinter(Spooler& spooler, const std::wstring& name, const std::string& shown) : spooler_(spooler)
    {
        if (const DWORD error = spooler_.open_printer(name, handle_); error != ERROR_SUCCESS) {
            const std::string why = error == ERROR_INVALID_PRINTER_NAME
                                        ? "the spooler knows no printer of that name (" + system_message(error) + ")"
                                        : system_message(error);
            fail(ErrorKind::DeviceUnavailable, "cannot send to " + shown + ": " + why);
        }
    }
    ~OpenedPrinter() { spooler_.close_printer(handle_); }
    OpenedPrinter(const OpenedPrinter&) = delete;
    OpenedPrinter& operator=(const OpenedPrinter&) = delete;

    HANDLE get() const noexcept { return handle_; }

private:
    Spooler& spooler_;
    HANDLE handle_ = nullptr;
};

// One RAW document of one page, aborted unless end() finishes it.
class RawJob {
public:
    RawJob(Spooler& spooler, HANDLE printer, const std::string& shown) : spooler_(spooler), printer_(printer)
    {
        wchar_t document_name[] = L"Lumarin";
        wchar_t raw[] = L"RAW";
        const DOC_INFO_1W doc{document_name, nullptr, raw};
        if (const DWORD error = spooler_.start_doc(printer_, doc); error != ERROR_SUCCESS) {
            const std::string why = error == ERROR_INVALID_DATATYPE
                                        ? "its driver takes no RAW jobs (" + system_message(error) + ")"
                                        : system_message(error);
            fail(ErrorKind::DeviceUnavailable, "cannot start a job on " + shown + ": " + why);
        }
        if (const DWORD error = spooler_.start_page(printer_); error != ERROR_SUCCESS) {
            abort();
            fail(ErrorKind::DeviceUnavailable, "cannot start a job on " + shown + ": " + system_message(error));
        }
        open_ = true;
    }
    ~RawJob()
    {
        if (open_)
            abort();
    }
    RawJob(const RawJob&) = delete;
    RawJob& operator=(const RawJob&) = delete;

    // ERROR_SUCCESS once the job is the spooler's to print.
    DWORD end()
    {
        if (const DWORD error = spooler_.end_page(printer_); error != ERROR_SUCCESS)
            return error;
        if (const DWORD error = spooler_.end_doc(printer_); error != ERROR_SUCCESS)
            return error;
        open_ = false;
        return ERROR_SUCCESS;
    }

private:
    // AbortPrinter deletes a spooled job; EndDocPrinter then closes the
    // document where the printer does not spool, and fails harmlessly where
    // it does.
    void abort() noexcept
    {
        spooler_.abort(printer_);
        spooler_.end_doc(printer_);
    }

    Spooler& spooler_;
    HANDLE printer_;
    bool open_ = false;
};

class SpoolerConnection final : public PrinterConnection {
public:
    SpoolerConnection(const Destination& d, std::string_view name, const ConnectionOptions& options,
                      Spooler& spooler)
        : shown_(quoted(name)), options_(options), printer_(spooler, d.printer, shown_),
          job_(spooler, printer_.get(), shown_), spooler_(spooler)
    {
    }

    void write(std::span<const std::byte> bytes) override
    {
        while (!bytes.empty()) {
            if (options_.check_stop)
                options_.check_stop();
            const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kWriteChunk));
            DWORD written = 0;
            if (const DWORD error = spooler_.write(printer_.get(), bytes.data(), chunk, written))
                fail_io(system_message(error));
            if (written == 0)
                fail_io("the spooler took nothing");
            sent_ += written;
            bytes = bytes.subspan(std::min<std::size_t>(written, bytes.size()));
        }
    }

    void finish() override
    {
        if (const DWORD error = job_.end(); error != ERROR_SUCCESS)
            fail_io("the job did not end: " + system_message(error));
    }

    std::uint64_t bytes_sent() const noexcept override { return sent_; }

private:
    [[noreturn]] void fail_io(const std::string& what) const
    {
        fail(ErrorKind::DeviceIO, "cannot send to " + shown_ + ": " + what + "; the spooler had taken " +
                                      grouped(static_cast<long long>(sent_)) + " bytes, and the job is cancelled");
    }

    std::string shown_;
    ConnectionOptions options_;
    OpenedPrinter printer_;  // before job_: the job ends before the printer closes
    RawJob job_;
    Spooler& spooler_;
    std::uint64_t sent_ = 0;
};

}  // namespace

Spooler& system_spooler()
{
    static SystemSpooler spooler;
    return spooler;
}

std::unique_ptr<PrinterConnection> connect_spooler(const Destination& destination, std::string_view name,
                                                   const ConnectionOptions& options, Spooler& spooler)
{
    return std::make_unique<SpoolerConnection>(destination, name, options, spooler);
}

}  // namespace lumarin::win
