// What the fault tests share: running a call in a child, as nobody where
// the test runs as root, and sysctls set for one test and restored after.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "lumarin/error.hpp"

namespace lumarin::test {

// Runs `restrict` and then `call` in a child process and returns the number
// of the lumarin::Error that `call` threw: 0 when it returned, -1 for any
// other exception. A crashed child fails the test.
inline int error_in_child(const std::function<void()>& restrict, const std::function<void()>& call)
{
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        int number = -1;
        try {
            restrict();
            call();
            number = 0;
        } catch (const Error& e) {
            number = e.number();
        } catch (...) {
        }
        const bool written = ::write(fds[1], &number, sizeof number) == sizeof number;
        ::_exit(written ? 0 : 1);
    }
    ::close(fds[1]);
    int number = -2;
    const bool read_ok = ::read(fds[0], &number, sizeof number) == sizeof number;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
    EXPECT_TRUE(read_ok) << "child reported nothing";
    return number;
}

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

inline void become_nobody()
{
    if (::geteuid() == 0 && (::setgid(kNogroup) != 0 || ::setuid(kNobody) != 0))
        throw std::runtime_error("cannot become nobody");
}

// Sets a sysctl for the test and restores it after; set() is false where
// it cannot be written (not root, or /proc/sys read-only).
class Sysctl {
public:
    Sysctl(std::string path, const std::string& value) : path_(std::move(path))
    {
        std::ifstream in(path_);
        if (!(in >> old_))
            return;
        set_ = write(value) && current() == value;
    }
    ~Sysctl()
    {
        if (set_)
            write(old_);
    }
    Sysctl(const Sysctl&) = delete;
    Sysctl& operator=(const Sysctl&) = delete;
    bool set() const noexcept { return set_; }

private:
    bool write(const std::string& value) const
    {
        std::ofstream out(path_);
        out << value << "\n";
        out.flush();
        return static_cast<bool>(out);
    }
    std::string current() const
    {
        std::ifstream in(path_);
        std::string value;
        in >> value;
        return value;
    }

    std::string path_;
    std::string old_;
    bool set_ = false;
};

}  // namespace lumarin::test
