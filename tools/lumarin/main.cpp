// lumarin: renders the lines of a UTF-8 text file into a BMP.
// Every failure reaches main, which turns it into one line on standard
// error and the exit status for its kind; SIGINT and SIGTERM reach it as
// Interrupted, for 130 and 143.
#include <cstdio>
#include <iostream>
#include <new>
#include <span>

#include "common/text.hpp"
#include "lumarin/error.hpp"
#include "tools/lumarin/input.hpp"
#include "tools/lumarin/limits.hpp"
#include "tools/lumarin/options.hpp"
#include "tools/lumarin/progress.hpp"
#include "tools/lumarin/render.hpp"
#include "tools/lumarin/signals.hpp"

namespace {

enum ExitStatus : int { kOk = 0, kUsage = 2, kBadInput = 3, kFileError = 4 };

bool is_file_error(const lumarin::Error& e)
{
    switch (e.kind()) {
    case lumarin::ErrorKind::BadFileName:
    case lumarin::ErrorKind::FileNotFound:
    case lumarin::ErrorKind::DiskFull:
    case lumarin::ErrorKind::PermissionDenied:
    case lumarin::ErrorKind::PathFileAccess:
    case lumarin::ErrorKind::PathNotFound: return true;
    default: return false;
    }
}

int print_to_stdout(const std::string& text)
{
    std::cout << text << std::flush;
    return std::cout ? kOk : kFileError;
}

int run(std::span<const char* const> args)
{
    using namespace lumarin::cli;
    const Options options = parse_options(args);
    if (options.help)
        return print_to_stdout(usage_text());
    if (options.version)
        return print_to_stdout("lumarin " LUMARIN_VERSION "\n");
    install_signal_handlers();
    const auto lines = read_lines(options.input, InputLimits{}, stop_if_interrupted);
    check_job_fits(lines.size(), longest_line(lines).size(), options);
    stop_if_interrupted();
    Progress progress(lines.size(), stderr_is_terminal());
    render(lines, options, [&](std::size_t done) {
        progress.update(done);
        stop_if_interrupted();
    });
    return kOk;
}

// One line whatever the message holds: a file name may carry line breaks.
int report(const std::string& message, int status)
{
    std::cerr << "lumarin: " << lumarin::escape_controls(message) << "\n";
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return run(std::span<const char* const>(argv + 1, static_cast<std::size_t>(argc > 0 ? argc - 1 : 0)));
    } catch (const lumarin::cli::Interrupted& e) {
        return e.exit_status();
    } catch (const lumarin::cli::UsageError& e) {
        return report(e.what(), kUsage);
    } catch (const lumarin::cli::InputError& e) {
        return report(e.what(), kBadInput);
    } catch (const lumarin::Error& e) {
        return report(std::string(e.what()) + " (error " + std::to_string(e.number()) + ")",
                      is_file_error(e) ? kFileError : kBadInput);
    } catch (const std::bad_alloc&) {
        return report("out of memory", kBadInput);
    }
}
