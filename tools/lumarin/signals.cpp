#include "tools/lumarin/signals.hpp"

#include <signal.h>

#include <csignal>
#include <string>

namespace lumarin::cli {

namespace {

// The one piece of global state: a signal handler can reach nothing else,
// and may only store to a volatile sig_atomic_t.
volatile std::sig_atomic_t g_signal = 0;

extern "C" void note_signal(int signal) { g_signal = signal; }

#if !defined(_WIN32)
// A signal the command was started with ignored (`trap '' TERM`, or
// SIGINT in a background job of a non-interactive shell) stays ignored:
// whoever started it meant it not to be stopped that way.
void note_unless_ignored(int signal)
{
    struct sigaction old {};
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler == SIG_IGN)
        return;
    struct sigaction action {};
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: see the header
    ::sigaction(signal, &action, nullptr);
}
#endif

}  // namespace

Interrupted::Interrupted(int signal)
    : std::runtime_error("stopped by signal " + std::to_string(signal)), signal_(signal)
{
}

void install_signal_handlers()
{
#if defined(_WIN32)
    // The C runtime's handlers: Ctrl-C arrives as SIGINT on a thread of its own.
    std::signal(SIGINT, note_signal);
    std::signal(SIGTERM, note_signal);
#else
    note_unless_ignored(SIGINT);
    note_unless_ignored(SIGTERM);
    note_unless_ignored(SIGHUP);
    std::signal(SIGXFSZ, SIG_IGN);
    // A reader that has gone is a failed write (EPIPE) with its message.
    std::signal(SIGPIPE, SIG_IGN);
#endif
}

void stop_if_interrupted()
{
    if (const int signal = g_signal; signal != 0)
        throw Interrupted(signal);
}

int interrupted_status() noexcept
{
    const int signal = g_signal;
    return signal == 0 ? 0 : 128 + signal;
}

}  // namespace lumarin::cli
