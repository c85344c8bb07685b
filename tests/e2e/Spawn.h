// Runs of a binary that the test does not wait for at once: started in a folder with extra
// environment variables, watched, signalled, then waited for. Output goes to pipes read at the
// end, so only runs with short output belong here.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Workdir.h"

namespace e2e {

class Child {
 public:
  /// Starts `binary` with `args` in `folder`; `env` items ("NAME=value") are added to the
  /// environment. Standard input is /dev/null.
  Child(const std::string& binary, const std::string& folder, const std::vector<std::string>& args,
        const std::vector<std::string>& env = {}) {
    std::vector<std::string> strings{binary};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    std::vector<std::string> env_strings = env;
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe failed");
    }
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      for (std::string& item : env_strings) putenv(item.data());
      signal(SIGPIPE, SIG_DFL);
      signal(SIGINT, SIG_DFL);
      int in = open("/dev/null", O_RDONLY);
      if (in < 0 || dup2(in, 0) < 0 || dup2(out[1], 1) < 0 || dup2(err[1], 2) < 0 ||
          chdir(folder.c_str()) != 0) {
        _exit(127);
      }
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~Child() {
    if (pid_ > 0 && !done_) {
      kill(pid_, SIGKILL);
      Wait();
    }
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }

  /// True while the run has not ended (it is not reaped).
  bool Running() {
    if (done_) return false;
    int status = 0;
    pid_t got = waitpid(pid_, &status, WNOHANG);
    if (got == pid_) {
      Reap(status);
      return false;
    }
    return true;
  }

  void Signal(int signal_number) const { kill(pid_, signal_number); }

  /// Waits for the end of the run and collects its output.
  RunResult Wait() {
    if (!done_) {
      int status = 0;
      while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      Reap(status);
    }
    return result_;
  }

 private:
  void Reap(int status) {
    done_ = true;
    result_.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result_.out = Drain(out_);
    result_.err = Drain(err_);
  }
  static std::string Drain(int fd) {
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
    close(fd);
    return text;
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  bool done_ = false;
  RunResult result_;
};

/// One run to its end, like Workdir::Run, of any binary and with extra environment variables.
inline RunResult RunWith(const std::string& binary, const std::string& folder,
                         const std::vector<std::string>& args,
                         const std::vector<std::string>& env = {}) {
  Child child(binary, folder, args, env);
  return child.Wait();
}

}  // namespace e2e
