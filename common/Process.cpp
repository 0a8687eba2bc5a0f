// Running outside commands through the shell, each in its own process group
// and under a time limit.
#include "common/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "common/Metrics.h"

namespace process {

namespace {

using Clock = std::chrono::steady_clock;

// The program a command line runs, for the metrics: its first word, or the
// word after "sudo".
std::string programOf(const std::string& command) {
  std::istringstream words(command);
  std::string program;
  words >> program;
  if (program == "sudo") words >> program;
  return program;
}

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Process groups of the commands running now (each child leads its own).
std::mutex g_childrenMutex;
std::set<pid_t> g_children;
bool g_killedAll = false;  // set once by killAll, under the mutex

void track(pid_t pid) {
  const std::lock_guard<std::mutex> lock(g_childrenMutex);
  g_children.insert(pid);
}

// Forgets `pid`. Throws when the server's stop killed it: its outcome must
// not be taken for the command's own.
void untrack(pid_t pid, const std::string& command) {
  const std::lock_guard<std::mutex> lock(g_childrenMutex);
  g_children.erase(pid);
  if (g_killedAll) {
    throw std::runtime_error("Command '" + command + "' was stopped with the server");
  }
}

// Starts "/bin/sh -c command" in a new process group with standard output on
// `outFd` (or the server's own when -1). Only async-signal-safe calls run in
// the child. Returns the pid, or -1 when fork fails.
pid_t spawn(const std::string& command, int outFd) {
  {
    const std::lock_guard<std::mutex> lock(g_childrenMutex);
    if (g_killedAll) {
      throw std::runtime_error("Command '" + command + "' not started: the server is stopping");
    }
  }
  const char* text = command.c_str();
  const pid_t pid = fork();
  if (pid != 0) {
    if (pid > 0) setpgid(pid, pid);  // also done by the child: whichever runs first
    return pid;
  }
  setpgid(0, 0);
  if (outFd >= 0 && outFd != STDOUT_FILENO) dup2(outFd, STDOUT_FILENO);
  close_range(3, ~0U, 0);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  execl("/bin/sh", "sh", "-c", text, static_cast<char*>(nullptr));
  _exit(127);
}

[[noreturn]] void killAndThrow(pid_t pid, const std::string& command, int limitSeconds,
                               Clock::time_point started) {
  kill(-pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  metrics::commandDone(programOf(command), secondsSince(started), true);
  untrack(pid, command);
  throw TimeLimitExceeded("Command '" + command + "' ran past its limit of " +
                          std::to_string(limitSeconds) + " s and was killed");
}

// Reaps `pid` if it has ended: true with its wait status in `status`.
bool reaped(pid_t pid, int& status) {
  pid_t result = 0;
  do {
    result = waitpid(pid, &status, WNOHANG);
  } while (result < 0 && errno == EINTR);
  return result == pid || result < 0;
}

// Waits for `pid` to end, reading `outFd` (when not -1) into `output` until
// its end, both by `deadline`. Returns the wait status.
int await(pid_t pid, int outFd, std::string* output, const std::string& command, int limitSeconds) {
  const Clock::time_point started = Clock::now();
  const Clock::time_point deadline = started + std::chrono::seconds(limitSeconds);
  auto pause = std::chrono::milliseconds(1);
  int status = 0;
  bool open = outFd >= 0;
  char buffer[4096];
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) killAndThrow(pid, command, limitSeconds, started);
    if (open) {
      pollfd ready{outFd, POLLIN, 0};
      const int waitMs = static_cast<int>(std::min<long long>(left.count(), 100));
      if (poll(&ready, 1, waitMs) > 0) {
        const ssize_t got = read(outFd, buffer, sizeof buffer);
        if (got > 0) {
          output->append(buffer, static_cast<size_t>(got));
        } else if (got == 0 || errno != EINTR) {
          open = false;
        }
      }
      continue;
    }
    if (reaped(pid, status)) break;
    std::this_thread::sleep_for(std::min<Clock::duration>(pause, left));
    pause = std::min(pause * 2, std::chrono::milliseconds(50));
  }
  metrics::commandDone(programOf(command), secondsSince(started), false);
  untrack(pid, command);
  return status;
}

// Closes a descriptor when it goes out of scope.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

int run(const std::string& command, int limitSeconds) {
  const pid_t pid = spawn(command, -1);
  if (pid < 0) return -1;
  track(pid);
  return await(pid, -1, nullptr, command, limitSeconds);
}

bool succeeds(const std::string& command, int limitSeconds) {
  return run(command, limitSeconds) == 0;
}

std::string exec(const std::string& command, int limitSeconds, int* status) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("popen() failed!");
  Descriptor readEnd{ends[0]};
  Descriptor writeEnd{ends[1]};
  const pid_t pid = spawn(command, writeEnd.fd);
  if (pid < 0) throw std::runtime_error("popen() failed!");
  track(pid);
  close(writeEnd.fd);
  writeEnd.fd = -1;
  std::string output;
  const int waitStatus = await(pid, readEnd.fd, &output, command, limitSeconds);
  if (status != nullptr) *status = waitStatus;
  return output;
}

void killAll() {
  const std::lock_guard<std::mutex> lock(g_childrenMutex);
  g_killedAll = true;
  for (const pid_t pid : g_children) kill(-pid, SIGKILL);
}

}  // namespace process
