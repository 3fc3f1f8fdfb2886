// SIGINT, SIGTERM and SIGHUP stop the job: the handlers only note the
// signal, and the job looks at the note between lines, between the
// measures of the layout and whenever a read was interrupted. Stopping by
// an exception unwinds the job, so the file layer removes its temporary
// and the progress bar is wiped on the way out. A signal that was ignored
// when the command started is left ignored. SIGXFSZ is ignored, so that
// passing the file-size limit is a failed write (error 61) instead of a
// silent kill, and so is SIGPIPE, so that a reader that has gone is a
// failed write with its own message.
#pragma once

#include <stdexcept>

namespace lumarin::cli {

// A job stopped by a signal; main exits with 128 + the signal's number.
class Interrupted : public std::runtime_error {
public:
    explicit Interrupted(int signal);
    int exit_status() const noexcept { return 128 + signal_; }

private:
    int signal_;
};

// Installs the handlers, without SA_RESTART so that a read blocked on a
// pipe or terminal returns and the reader can stop.
void install_signal_handlers();

// Throws Interrupted once SIGINT, SIGTERM or SIGHUP has come.
void stop_if_interrupted();

// 128 + the signal's number once one has come, else 0: a failure that
// follows an interrupt (a write cut short by it) ends with this status.
int interrupted_status() noexcept;

}  // namespace lumarin::cli
