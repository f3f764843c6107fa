#pragma once
// Writes that really fail, for root too: a body runs in a child process whose files cannot grow
// past a limit (SIGXFSZ ignored, so a write past it fails with EFBIG instead of killing the
// child). Permissions do not stop root; a file-size limit does.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>
#include <string>

// The text the body returns, or a note on how the child ended when it did not get that far.
inline std::string InChildWithFileSizeLimit(rlim_t bytes, const std::function<std::string()>& body)
{
    int out[2];
    const pid_t child = pipe(out) == 0 ? fork() : -1;
    if (child < 0)
        return "no child";
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = bytes;
        const std::string text = setrlimit(RLIMIT_FSIZE, &limit) == 0 ? body() : "no limit";
        // _exit: none of the parent's clean-up runs twice.
        _exit(write(out[1], text.data(), text.size()) == ssize_t(text.size()) ? 0 : 1);
    }
    close(out[1]);
    std::string text;
    char chunk[4096];
    for (ssize_t n; (n = read(out[0], chunk, sizeof chunk)) > 0;) text.append(chunk, size_t(n));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        text += " [child ended with status " + std::to_string(status) + "]";
    return text;
}
