// A built program run in a child process, as a user runs it, with its
// output and errors in files: what the renderer's command tests share.
#ifndef BRELVIX_TESTS_RENDER_CHILD_PROCESS_H
#define BRELVIX_TESTS_RENDER_CHILD_PROCESS_H

#include "tests/render/render_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace brelvix::render::test {

/// A program running in a child process, its output and errors in files.
class Child {
  public:
    /// `addressSpace`, when not 0, limits the child's memory in bytes.
    Child(const std::vector<std::string> &arguments, const std::string &outputs,
          rlim_t addressSpace = 0)
        : out_(outputs + ".out"), err_(outputs + ".err") {
        pid_ = fork();
        if (pid_ == 0) {
            if (addressSpace != 0) {
                const rlimit limit{addressSpace, addressSpace};
                setrlimit(RLIMIT_AS, &limit);
            }
            if (!std::freopen(out_.c_str(), "w", stdout) ||
                !std::freopen(err_.c_str(), "w", stderr)) {
                _exit(126);
            }
            std::vector<char *> argv;
            for (const std::string &argument : arguments) {
                argv.push_back(const_cast<char *>(argument.c_str()));
            }
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Child() {
        if (pid_ > 0 && status_ < 0) {
            kill(pid_, SIGKILL);
            wait();
        }
    }

    void signal(int number) const { kill(pid_, number); }
    pid_t pid() const { return pid_; }
    /// The exit status, or 1000 + the signal that ended it.
    int wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
        return status_;
    }
    std::string out() const { return readFile(out_); }
    std::string err() const { return readFile(err_); }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
    std::string out_, err_;
};

/// True once `done` holds, polled for up to 30 s.
template <typename Condition> inline bool eventually(Condition done) {
    for (int i = 0; i < 3000 && !done(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

inline void expectOneLine(const std::string &text, const std::string &part) {
    EXPECT_EQ(text.rfind("brelvix-render: ", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_NE(text.find(part), std::string::npos) << text;
}

} // namespace brelvix::render::test

#endif
