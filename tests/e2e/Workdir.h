// End-to-end test harness: a fresh temporary folder per test, and runs of the built tessarin
// binary (TESSARIN_BINARY) with that folder as the current directory.
//
//   e2e::Workdir wd;
//   wd.Write("t.csv", "a;b\r\n");
//   e2e::RunResult r = wd.Run({"-u", "t.csv"});
//   EXPECT_EQ(r.exit_code, 0);
//   EXPECT_EQ(wd.Read("t/t_0.txt"), "a\r\n");
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#ifndef TESSARIN_BINARY
#error "TESSARIN_BINARY must name the tessarin binary under test"
#endif

namespace e2e {

/// What one run of the binary produced.
struct RunResult {
  std::string out;         ///< everything written to standard output
  std::string err;         ///< everything written to standard error
  int exit_code = -1;      ///< exit status; 128 + the signal number when a signal ended it
  bool timed_out = false;  ///< the run took longer than the harness allows and was killed
};

/// A temporary folder under /tmp, created empty by the constructor and removed with everything
/// in it by the destructor. Names passed to the methods are relative to the folder and may
/// contain "/" for sub-folders. Failures of the harness itself throw std::runtime_error, which
/// fails the test that called it.
class Workdir {
 public:
  /// Seconds a run may take before it is killed (a run that waits for input would hang).
  static constexpr int kRunTimeoutSeconds = 60;

  /// `base`: the folder to make it in; a memory file system (/dev/shm) makes runs that save
  /// many files fast, as it has nothing to flush to disk.
  explicit Workdir(const std::string& base = "/tmp") {
    std::string pattern = base + "/tessarin-e2e-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed");
    // The canonical form, as the program under test reports paths against its current folder.
    path_ = std::filesystem::canonical(pattern).string();
  }
  ~Workdir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  Workdir(const Workdir&) = delete;
  Workdir& operator=(const Workdir&) = delete;

  /// The absolute path of the folder, without a trailing "/".
  const std::string& path() const { return path_; }
  /// The absolute path of an entry of the folder: path() + "/" + name.
  std::string PathOf(const std::string& name) const { return path_ + "/" + name; }

  /// Creates or replaces the file with exactly these bytes; missing sub-folders are created.
  void Write(const std::string& name, std::string_view bytes) const {
    const std::filesystem::path file = PathOf(name);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream stream(file, std::ios::binary | std::ios::trunc);
    stream.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!stream.flush()) throw std::runtime_error("cannot write " + file.string());
  }

  /// The bytes of the file. Throws when it cannot be read.
  std::string Read(const std::string& name) const {
    std::ifstream stream(PathOf(name), std::ios::binary);
    if (!stream) throw std::runtime_error("cannot read " + PathOf(name));
    return std::string(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
  }

  /// True when an entry (file or folder) of exactly this name exists.
  bool Exists(const std::string& name) const {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(PathOf(name), ignored));
  }

  /// Every entry below the folder mapped to its bytes; folders appear as "name/" with empty
  /// content. Comparing two snapshots tells whether a run created, removed or changed anything.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> entries;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_)) {
      const std::string name = entry.path().lexically_relative(path_).string();
      if (entry.is_directory()) {
        entries[name + "/"] = "";
      } else {
        entries[name] = Read(name);
      }
    }
    return entries;
  }

  /// Runs TESSARIN_BINARY with the arguments (argument 0 is added) in this folder. Standard input
  /// is a pipe fed with `stdin_text` and then closed, or /dev/null when the text is empty.
  RunResult Run(const std::vector<std::string>& args, const std::string& stdin_text = "") const {
    std::vector<std::string> arg_strings{TESSARIN_BINARY};
    arg_strings.insert(arg_strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : arg_strings) argv.push_back(arg.data());
    argv.push_back(nullptr);

    IgnoreSigpipe();
    Pipe in, out, err;
    const int child_stdin = stdin_text.empty() ? open("/dev/null", O_RDONLY | O_CLOEXEC) : in.read;
    if (child_stdin < 0) throw std::runtime_error("cannot open /dev/null");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
      // Only async-signal-safe calls between fork and exec. The pipes are close-on-exec; dup2
      // clears that flag on the three standard descriptors.
      signal(SIGPIPE, SIG_DFL);
      if (dup2(child_stdin, 0) < 0 || dup2(out.write, 1) < 0 || dup2(err.write, 2) < 0 ||
          chdir(path_.c_str()) != 0) {
        _exit(127);
      }
      execv(argv[0], argv.data());
      _exit(127);
    }
    if (stdin_text.empty()) close(child_stdin);
    in.CloseRead();
    out.CloseWrite();
    err.CloseWrite();
    if (stdin_text.empty()) in.CloseWrite();

    RunResult result;
    result.timed_out = !Pump(stdin_text, &in, &out, &err, &result);
    if (result.timed_out) kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
  }

 private:
  // Both ends close-on-exec; Close* may be called more than once.
  struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
      int fds[2];
      if (pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
      read = fds[0];
      write = fds[1];
    }
    ~Pipe() {
      CloseRead();
      CloseWrite();
    }
    void CloseRead() { CloseFd(&read); }
    void CloseWrite() { CloseFd(&write); }
    static void CloseFd(int* fd) {
      if (*fd >= 0) ::close(*fd);
      *fd = -1;
    }
  };

  // A child that exits without reading its input must not kill the test process.
  static void IgnoreSigpipe() { signal(SIGPIPE, SIG_IGN); }

  // Feeds standard input and collects both outputs until the child closes them. All three at
  // once, so that a child blocked on a full pipe can never deadlock the harness. False when the
  // time ran out.
  static bool Pump(const std::string& stdin_text, Pipe* in, Pipe* out, Pipe* err,
                   RunResult* result) {
    if (in->write >= 0) fcntl(in->write, F_SETFL, O_NONBLOCK);
    size_t written = 0;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(kRunTimeoutSeconds);
    while (out->read >= 0 || err->read >= 0) {
      pollfd fds[3] = {{out->read, POLLIN, 0}, {err->read, POLLIN, 0}, {in->write, POLLOUT, 0}};
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      const int ready = poll(fds, 3, static_cast<int>(left.count()));
      if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
      if (ready <= 0) continue;
      Drain(fds[0].revents, out, &result->out);
      Drain(fds[1].revents, err, &result->err);
      if (fds[2].revents != 0) {
        const ssize_t n =
            ::write(in->write, stdin_text.data() + written, stdin_text.size() - written);
        if (n > 0) written += static_cast<size_t>(n);
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == stdin_text.size()) {
          in->CloseWrite();
        }
      }
    }
    return true;
  }

  // Appends what the pipe holds; closes it at its end.
  static void Drain(short revents, Pipe* pipe, std::string* sink) {
    if (revents == 0) return;
    char buffer[65536];
    const ssize_t n = ::read(pipe->read, buffer, sizeof buffer);
    if (n > 0) {
      sink->append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      pipe->CloseRead();
    }
  }

  std::string path_;
};

}  // namespace e2e
