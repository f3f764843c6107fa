#pragma once
// A program of the build as a child of a test or benchmark, its standard input and output (and
// error, when asked) on pipes, always ended by the destructor at the latest. Every wait is bounded.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ChildProcess {
public:
    ChildProcess(const std::string& program, std::vector<std::string> args, bool pipeError)
    {
        args.insert(args.begin(), QUILLON_BUILD_DIR "/" + program);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
            return;
        const pid_t parent = getpid();
        if ((pid_ = fork()) == 0) {
            // Ends with the parent, however that ends.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() == parent && dup2(in[0], 0) == 0 && dup2(out[1], 1) == 1 &&
                (!pipeError || dup2(err[1], 2) == 2))
                execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]), close(out[1]), close(err[1]);
        in_ = in[1], out_ = out[0], err_ = err[0];
        pidfd_ = pid_ > 0 ? int(syscall(SYS_pidfd_open, pid_, 0)) : -1;
    }
    ~ChildProcess()
    {
        Stop(SIGKILL);
        for (int fd : {in_, out_, err_, pidfd_})
            if (fd >= 0)
                close(fd);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t Pid() const { return pid_; }
    int Out() const { return out_; }
    int Err() const { return err_; }
    bool Send(const std::string& text)
    {
        return in_ >= 0 && write(in_, text.data(), text.size()) == ssize_t(text.size());
    }
    void CloseInput() { close(std::exchange(in_, -1)); }

    // The next line of standard output, without its newline; nothing at the deadline or the end.
    std::optional<std::string> ReadLine(std::chrono::milliseconds within)
    {
        const auto deadline = std::chrono::steady_clock::now() + within;
        for (std::size_t end; (end = pending_.find('\n')) == std::string::npos;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fd{out_, POLLIN, 0};
            char buffer[4096];
            ssize_t got = 0;
            if (left.count() <= 0 || poll(&fd, 1, int(left.count())) != 1 ||
                (got = read(out_, buffer, sizeof buffer)) <= 0)
                return std::nullopt;
            pending_.append(buffer, std::size_t(got));
        }
        const std::size_t end = pending_.find('\n');
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
    }

    // The exit status, or -1 when the program did not exit by itself in time (then it is killed).
    int Stop(int signal = SIGTERM, int timeoutMs = 5000)
    {
        if (pid_ > 0 && !reaped_)
            kill(pid_, signal);
        return Wait(timeoutMs);
    }
    int Wait(int timeoutMs)
    {
        if (pid_ <= 0 || reaped_)
            return -1;
        pollfd fd{pidfd_, POLLIN, 0};
        if (pidfd_ < 0 || poll(&fd, 1, timeoutMs) != 1)
            kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
        reaped_ = true;
        return WIFEXITED(status) && (fd.revents & POLLIN) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1, err_ = -1, pidfd_ = -1;
    bool reaped_ = false;
    std::string pending_;
};

// quillonctl, its standard error read by the caller.
struct ToolProcess : ChildProcess {
    explicit ToolProcess(const std::vector<std::string>& a) : ChildProcess("quillonctl", a, true) {}
};

// quillon-sim-pty, its terminal's path read from its first line (empty when it did not start).
class SimPtyProcess : public ChildProcess {
public:
    explicit SimPtyProcess(const std::vector<std::string>& args = {})
        : ChildProcess("quillon-sim-pty", args, false),
          terminal_(ReadLine(std::chrono::seconds(10)).value_or(""))
    {
    }
    const std::string& Terminal() const { return terminal_; }

private:
    std::string terminal_;
};
