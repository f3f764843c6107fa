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
#include <vector>

class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& options,
                 bool pipeError)
    {
        std::vector<std::string> args = {QUILLON_BUILD_DIR "/" + program};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int in[2], out[2], err[2];
        if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC))
            return;
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            // Ends with the parent, however that ends.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(127);
            dup2(in[0], STDIN_FILENO);
            dup2(out[1], STDOUT_FILENO);
            if (pipeError)
                dup2(err[1], STDERR_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        close(err[1]);
        in_ = in[1];
        out_ = out[0];
        err_ = err[0];
        if (pid_ > 0)
            pidfd_ = int(syscall(SYS_pidfd_open, pid_, 0));
    }

    ~ChildProcess()
    {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
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
    void CloseInput()
    {
        if (in_ >= 0)
            close(in_);
        in_ = -1;
    }

    // The next line of standard output, without its newline; nothing at the deadline or the end.
    std::optional<std::string> ReadLine(std::chrono::milliseconds within)
    {
        const auto deadline = std::chrono::steady_clock::now() + within;
        for (;;) {
            if (const std::size_t end = pending_.find('\n'); end != std::string::npos) {
                std::string line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd fd{out_, POLLIN, 0};
            if (left.count() <= 0 || poll(&fd, 1, int(left.count())) != 1)
                return std::nullopt;
            char buffer[4096];
            const ssize_t got = read(out_, buffer, sizeof buffer);
            if (got <= 0)
                return std::nullopt;
            pending_.append(buffer, std::size_t(got));
        }
    }

    // The exit status, or -1 when the program did not exit by itself in time (then it is killed).
    int Stop(int signal = SIGTERM, int timeoutMs = 5000)
    {
        if (pid_ <= 0 || reaped_)
            return -1;
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
    int in_ = -1;
    int out_ = -1;
    int err_ = -1;
    int pidfd_ = -1;
    bool reaped_ = false;
    std::string pending_;
};

// quillonctl, its standard error read by the caller.
class ToolProcess : public ChildProcess {
public:
    explicit ToolProcess(const std::vector<std::string>& options)
        : ChildProcess("quillonctl", options, true)
    {
    }
};
