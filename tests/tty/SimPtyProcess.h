#pragma once
// quillon-sim-pty as a child of a test, its terminal's path read from its first line, always
// ended by the destructor at the latest. Every wait is bounded, so nothing can hang a test.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

class SimPtyProcess {
public:
    explicit SimPtyProcess(const std::vector<std::string>& options = {})
    {
        std::vector<std::string> args = {QUILLON_BUILD_DIR "/quillon-sim-pty"};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0)
            return;
        const pid_t parent = getpid();
        pid_ = fork();
        if (pid_ == 0) {
            // Ends with the test process, however that ends.
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent)
                _exit(127);
            dup2(out[1], STDOUT_FILENO);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(out[1]);
        out_ = out[0];
        if (pid_ > 0)
            pidfd_ = int(syscall(SYS_pidfd_open, pid_, 0));
        terminal_ = ReadLine(10000);
    }

    ~SimPtyProcess()
    {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            close(out_);
        if (pidfd_ >= 0)
            close(pidfd_);
    }
    SimPtyProcess(const SimPtyProcess&) = delete;
    SimPtyProcess& operator=(const SimPtyProcess&) = delete;

    // The terminal's path; empty when the program did not start.
    const std::string& Terminal() const { return terminal_; }

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
    std::string ReadLine(int timeoutMs)
    {
        using Clock = std::chrono::steady_clock;
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string line;
        for (;;) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd fd{out_, POLLIN, 0};
            if (left.count() <= 0 || poll(&fd, 1, int(left.count())) != 1)
                return {};
            char c;
            if (read(out_, &c, 1) != 1)
                return {};
            if (c == '\n')
                return line;
            line += c;
        }
    }

    pid_t pid_ = -1;
    int out_ = -1;
    int pidfd_ = -1;
    bool reaped_ = false;
    std::string terminal_;
};
