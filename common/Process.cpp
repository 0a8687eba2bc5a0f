// Running outside commands from argument vectors, each in its own process
// group and under a time limit.
#include "common/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>

#include "common/Metrics.h"

namespace process {

namespace {

using Clock = std::chrono::steady_clock;

// The program a command runs, for the metrics: its first word, or the word
// after "sudo".
std::string programOf(const Command& command) {
  if (command.size() > 1 && command[0] == "sudo") return command[1];
  return command.empty() ? std::string() : command[0];
}

// Where the shell would find `name`: itself when it holds a "/", else the
// first executable regular file of that name in a folder of PATH (an empty
// entry is the working folder); empty when there is none.
std::string programPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return name;
  if (name.empty()) return "";
  const char* path = std::getenv("PATH");
  const std::string folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  size_t start = 0;
  while (start <= folders.size()) {
    size_t end = folders.find(':', start);
    if (end == std::string::npos) end = folders.size();
    const std::string folder = end == start ? "." : folders.substr(start, end - start);
    const std::string candidate = folder + "/" + name;
    struct stat status {};
    if (stat(candidate.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      return candidate;
    }
    start = end + 1;
  }
  return "";
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

// Everything the child needs, built before the fork: after it only
// async-signal-safe calls run, so nothing may be allocated there.
struct Launch {
  std::string path;               // the program found in PATH; empty when none
  std::vector<char*> argv;        // the command's words, then nullptr
  std::vector<char*> scriptArgv;  // "sh", path, the arguments: a file without "#!"
  std::string notFound;           // what the child writes when there is no such file
  std::string cannotExecute;      // ... and when the file cannot be run
  std::string shell = "/bin/sh";
  std::string shellName = "sh";

  explicit Launch(const Command& command) : path(programPath(command[0])) {
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    scriptArgv.push_back(shellName.data());
    scriptArgv.push_back(path.data());
    for (size_t i = 1; i < command.size(); ++i) {
      scriptArgv.push_back(const_cast<char*>(command[i].c_str()));
    }
    scriptArgv.push_back(nullptr);
    notFound = command[0] + ": not found\n";
    cannotExecute = command[0] + ": cannot execute\n";
  }
};

// Starts `command` in a new process group with standard output on `outFd`
// (or the server's own when -1) and, with `foldErrors`, standard error on the
// same descriptor. Only async-signal-safe calls run in the child. Returns the
// pid, or -1 when fork fails or the command is empty.
pid_t spawn(const Command& command, const std::string& text, int outFd, bool foldErrors) {
  {
    const std::lock_guard<std::mutex> lock(g_childrenMutex);
    if (g_killedAll) {
      throw std::runtime_error("Command '" + text + "' not started: the server is stopping");
    }
  }
  if (command.empty()) return -1;
  const Launch launch(command);
  const pid_t pid = fork();
  if (pid != 0) {
    if (pid > 0) setpgid(pid, pid);  // also done by the child: whichever runs first
    return pid;
  }
  setpgid(0, 0);
  if (outFd >= 0 && outFd != STDOUT_FILENO) dup2(outFd, STDOUT_FILENO);
  if (foldErrors) dup2(STDOUT_FILENO, STDERR_FILENO);
  close_range(3, ~0U, 0);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  signal(SIGPIPE, SIG_DFL);
  bool missing = launch.path.empty();
  if (!missing) {
    execv(launch.path.c_str(), launch.argv.data());
    // A file without "#!" is a script for the shell, as execvp and sh treat it.
    if (errno == ENOEXEC) execv(launch.shell.c_str(), launch.scriptArgv.data());
    missing = errno == ENOENT;
  }
  const std::string& failure = missing ? launch.notFound : launch.cannotExecute;
  const ssize_t ignored = write(STDERR_FILENO, failure.data(), failure.size());
  (void)ignored;
  _exit(missing ? 127 : 126);
}

[[noreturn]] void killAndThrow(pid_t pid, const std::string& command, const std::string& program,
                               int limitSeconds, Clock::time_point started) {
  kill(-pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  metrics::commandDone(program, secondsSince(started), true);
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
int await(pid_t pid, int outFd, std::string* output, const std::string& command,
          const std::string& program, int limitSeconds) {
  const Clock::time_point started = Clock::now();
  const Clock::time_point deadline = started + std::chrono::seconds(limitSeconds);
  auto pause = std::chrono::milliseconds(1);
  int status = 0;
  bool open = outFd >= 0;
  char buffer[4096];
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) killAndThrow(pid, command, program, limitSeconds, started);
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
  metrics::commandDone(program, secondsSince(started), false);
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

std::string textOf(const Command& command) {
  std::string text;
  for (const std::string& word : command) {
    if (!text.empty()) text += ' ';
    text += word;
  }
  return text;
}

int run(const Command& command, int limitSeconds, Output output) {
  const std::string text = textOf(command);
  Descriptor discard;
  if (output == Output::kDiscarded) {
    discard.fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (discard.fd < 0) return -1;
  }
  const pid_t pid = spawn(command, text, discard.fd, false);
  if (pid < 0) return -1;
  track(pid);
  return await(pid, -1, nullptr, text, programOf(command), limitSeconds);
}

bool succeeds(const Command& command, int limitSeconds, Output output) {
  return run(command, limitSeconds, output) == 0;
}

std::string exec(const Command& command, int limitSeconds, Capture capture, int* status) {
  const std::string text = textOf(command);
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("popen() failed!");
  Descriptor readEnd{ends[0]};
  Descriptor writeEnd{ends[1]};
  const pid_t pid = spawn(command, text, writeEnd.fd, capture == Capture::kOutputAndErrors);
  if (pid < 0) throw std::runtime_error("popen() failed!");
  track(pid);
  close(writeEnd.fd);
  writeEnd.fd = -1;
  std::string output;
  const int waitStatus = await(pid, readEnd.fd, &output, text, programOf(command), limitSeconds);
  if (status != nullptr) *status = waitStatus;
  return output;
}

void killAll() {
  const std::lock_guard<std::mutex> lock(g_childrenMutex);
  g_killedAll = true;
  for (const pid_t pid : g_children) kill(-pid, SIGKILL);
}

}  // namespace process
