// lumarin: renders the lines of a UTF-8 text file into an image.
// Every failure reaches main, which turns it into one line on standard
// error and the exit status for its kind; SIGINT, SIGTERM and SIGHUP reach
// it as Interrupted, for 130, 143 and 129.
#include <cstdio>
#include <iostream>
#include <new>
#include <span>
#include <string>
#include <vector>

#include "common/text.hpp"
#include "lumarin/error.hpp"
#include "tools/lumarin/command_error.hpp"
#include "tools/lumarin/input.hpp"
#include "tools/lumarin/limits.hpp"
#include "tools/lumarin/options.hpp"
#include "tools/lumarin/output.hpp"
#include "tools/lumarin/progress.hpp"
#include "tools/lumarin/render.hpp"
#include "tools/lumarin/signals.hpp"

namespace {

constexpr int kOk = 0;
constexpr int kBadInput = static_cast<int>(lumarin::cli::Failure::BadInput);
constexpr int kFileError = static_cast<int>(lumarin::cli::Failure::File);
constexpr int kPrinterError = static_cast<int>(lumarin::cli::Failure::Printer);

bool is_file_error(lumarin::ErrorKind kind)
{
    switch (kind) {
    case lumarin::ErrorKind::BadFileName:
    case lumarin::ErrorKind::FileNotFound:
    case lumarin::ErrorKind::DiskFull:
    case lumarin::ErrorKind::PermissionDenied:
    case lumarin::ErrorKind::PathFileAccess:
    case lumarin::ErrorKind::PathNotFound: return true;
    default: return false;
    }
}

bool is_printer_error(lumarin::ErrorKind kind)
{
    return kind == lumarin::ErrorKind::DeviceIO || kind == lumarin::ErrorKind::DeviceUnavailable;
}

// Text in the background's colour draws a blank image: likely a slip. The
// page layout says so itself; the object's job does not.
void warn_if_invisible(const lumarin::cli::Options& o)
{
    if (o.compat && o.fg == o.bg)
        std::cerr << "lumarin: warning: --fg '" << lumarin::escape_controls(lumarin::to_utf8(o.fg_name)) << "' and --bg '"
                  << lumarin::escape_controls(lumarin::to_utf8(o.bg_name))
                  << "' are the same colour: the text will not show\n";
}

int run(std::span<const char* const> args)
{
    using namespace lumarin::cli;
    // First, so that a reader gone is EPIPE for --help too.
    install_signal_handlers();
    const Options options = parse_options(args);
    if (options.help || options.version || options.list_printers) {
        write_text(options.help ? usage_text() : options.version ? "lumarin " LUMARIN_VERSION "\n" : printers_text());
        return kOk;
    }
    if (!options.to.empty()) {
        refuse_file_as_printer(options.to);
    } else {
        if (options.output == "-")
            refuse_closed_stdout();
        refuse_stdout_by_name(options.output);
        check_output_folder(options.output);
    }
    warn_if_invisible(options);
    const auto decoder = Decoder::for_encoding(options.encoding);
    auto lines = read_lines(options.input, InputLimits{}, *decoder, stop_if_interrupted);
    // The object's job grows by its own rules: refuse one it could not
    // finish before drawing. The measured layout checks its page itself.
    if (options.compat)
        check_job_fits(lines.size(), longest_line(lines).size(), options);
    stop_if_interrupted();
    Progress progress(lines.size(), stderr_is_terminal());
    render(
        std::move(lines), options,
        [&](std::size_t done, std::size_t total) {
            progress.set_total(total);
            progress.update(done);
            stop_if_interrupted();
        },
        [&](const std::string& warning) {
            progress.wipe();
            std::cerr << "lumarin: warning: " << lumarin::escape_controls(warning) << "\n";
        },
        stop_if_interrupted);
    return kOk;
}

// One line whatever the message holds: a file name may carry line breaks.
// A failure after an interrupt (a write it cut short) is the interrupt's
// doing: the signal's status, and nothing printed, as for any interrupt.
int report(const std::string& message, int status)
{
    if (const int interrupted = lumarin::cli::interrupted_status(); interrupted != 0)
        return interrupted;
    std::cerr << "lumarin: " << lumarin::escape_controls(message) << "\n";
    return status;
}

int run_reporting(std::span<const char* const> args)
{
    try {
        return run(args);
    } catch (const lumarin::cli::Interrupted& e) {
        return e.exit_status();
    } catch (const lumarin::cli::CommandError& e) {
        return report(e.what(), e.exit_status());
    } catch (const lumarin::Error& e) {
        return report(std::string(e.what()) + " (error " + std::to_string(e.number()) + ")",
                      is_printer_error(e.kind()) ? kPrinterError
                      : is_file_error(e.kind())  ? kFileError
                                                 : kBadInput);
    } catch (const std::bad_alloc&) {
        return report("out of memory", kBadInput);
    }
}

}  // namespace

#if defined(_WIN32)
// The arguments as UTF-8, like Linux's: Windows holds them in UTF-16.
int wmain(int argc, wchar_t** argv)
{
    std::vector<std::string> utf8;
    for (int i = 1; i < argc; ++i)
        utf8.push_back(lumarin::to_utf8(std::u16string_view(reinterpret_cast<const char16_t*>(argv[i]))));
    std::vector<const char*> args;
    for (const std::string& arg : utf8)
        args.push_back(arg.c_str());
    return run_reporting(args);
}
#else
int main(int argc, char** argv)
{
    return run_reporting(std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)));
}
#endif
