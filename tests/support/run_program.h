// Runs a program with arguments and captures its exit code and output.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace zarn::test {

struct ProgramResult {
    int exit_code = -1;
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs `program` with `args` and extra environment entries ("NAME=value"),
// without a shell. With `input`, standard input is a pipe that carries it.
inline ProgramResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const std::vector<std::string>& env = {},
                                const std::string* input = nullptr) {
    ProgramResult result;
    int out_pipe[2], err_pipe[2], in_pipe[2] = {-1, -1};
    if (::pipe(out_pipe) != 0 || ::pipe(err_pipe) != 0) return result;
    if (input && ::pipe(in_pipe) != 0) return result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out_pipe[1], 1);
        ::dup2(err_pipe[1], 2);
        ::close(out_pipe[0]);
        ::close(err_pipe[0]);
        if (input) {
            ::dup2(in_pipe[0], 0);
            ::close(in_pipe[1]);
        }
        for (const std::string& e : env) ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out_pipe[1]);
    ::close(err_pipe[1]);
    std::thread feed;
    if (input) {
        ::close(in_pipe[0]);
        // A program that stops reading must not end the test with SIGPIPE.
        std::signal(SIGPIPE, SIG_IGN);
        feed = std::thread([fd = in_pipe[1], input] {
            size_t done = 0;
            while (done < input->size()) {
                const ssize_t n = ::write(fd, input->data() + done, input->size() - done);
                if (n <= 0) break;  // the program stopped reading
                done += static_cast<size_t>(n);
            }
            ::close(fd);
        });
    }
    // Read both pipes until both close (poll-free: stderr output is small).
    auto drain = [](int fd, std::string* into) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0) into->append(buffer, static_cast<size_t>(n));
        ::close(fd);
    };
    drain(out_pipe[0], &result.out);
    drain(err_pipe[0], &result.err);
    if (feed.joinable()) feed.join();
    int status = 0;
    ::waitpid(pid, &status, 0);
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

}  // namespace zarn::test
