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
    struct sigaction action {};
    action.sa_handler = note_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: see the header
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

void stop_if_interrupted()
{
    if (const int signal = g_signal; signal != 0)
        throw Interrupted(signal);
}

}  // namespace lumarin::cli
