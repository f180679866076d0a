#include "platform/posix/posix_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/command_line.h"
#include "platform/platform_error.h"
#include "platform/win_codes.h"

extern char** environ;

namespace netvane::platform {
namespace {

constexpr char kSource[] = "CreateProcess";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool EndsWithExe(const std::string& name) {
  return name.size() > 4 && strcasecmp(name.c_str() + name.size() - 4, ".exe") == 0;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The file a program name stands for: "X.exe" also finds X, and X finds X.exe.
std::string FindVariant(const std::string& path) {
  if (IsExecutableFile(path)) return path;
  if (EndsWithExe(path)) {
    const std::string bare = path.substr(0, path.size() - 4);
    if (IsExecutableFile(bare)) return bare;
  } else if (path.find('.', path.find_last_of('/') + 1) == std::string::npos &&
             IsExecutableFile(path + ".exe")) {
    return path + ".exe";
  }
  return std::string();
}

PlatformError ErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return PlatformError(kErrorFileNotFound, "The system cannot find the file specified.",
                           kSource);
    case EACCES:
    case EPERM:
      return PlatformError(kErrorAccessDenied, "Access is denied.", kSource);
    case ENOEXEC:
      return PlatformError(kErrorBadExeFormat, "The program is not a valid application.", kSource);
    case ENOMEM:
    case EAGAIN:
      return PlatformError(kErrorNotEnoughMemory,
                           "Not enough memory resources are available to process this command.",
                           kSource);
    default:
      return PlatformError(err, std::strerror(err), kSource);
  }
}

}  // namespace

PosixProcess::PosixProcess() : children_(std::make_shared<Children>()) {}

std::string PosixProcess::ProgramPath() const {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

std::string PosixProcess::FindProgram(const std::string& name) const {
  if (name.empty()) return std::string();
  if (name.find('/') != std::string::npos) return FindVariant(name);
  // As Windows looks: the starting program's own folder, then PATH.
  std::vector<std::string> dirs;
  const std::string self = ProgramPath();
  if (const size_t slash = self.find_last_of('/'); slash != std::string::npos) {
    dirs.push_back(self.substr(0, slash));
  }
  if (const char* path = std::getenv("PATH"); path != nullptr) {
    std::string all(path);
    for (size_t start = 0;;) {
      const size_t colon = all.find(':', start);
      const std::string dir = all.substr(start, colon - start);
      dirs.push_back(dir.empty() ? "." : dir);
      if (colon == std::string::npos) break;
      start = colon + 1;
    }
  }
  for (const std::string& dir : dirs) {
    const std::string found = FindVariant(dir + "/" + name);
    if (!found.empty()) return found;
  }
  return std::string();
}

std::vector<std::string> PosixProcess::Resolve(const std::string& command_line,
                                               std::string* program) const {
  size_t start = 0;
  while (start < command_line.size() && IsBlank(command_line[start])) ++start;
  const std::string_view line = std::string_view(command_line).substr(start);
  if (!line.empty() && line.front() == '"') {
    std::vector<std::string> args = SplitCommandLine(line);
    *program = FindProgram(args[0]);
    return args;
  }
  // Unquoted, the program name may itself hold blanks: as Windows does, try the shortest
  // prefix ending at a blank first, then longer ones.
  for (size_t end = 0; end <= line.size(); ++end) {
    if (end < line.size() && !IsBlank(line[end])) continue;
    if (end == 0) return {};
    if (IsBlank(line[end - 1])) continue;
    const std::string name(line.substr(0, end));
    const std::string found = FindProgram(name);
    if (!found.empty()) {
      *program = found;
      std::vector<std::string> args{name};
      std::vector<std::string> rest = SplitArguments(line.substr(end));
      args.insert(args.end(), rest.begin(), rest.end());
      return args;
    }
  }
  return {};
}

uint32_t PosixProcess::Start(const std::string& command_line, WindowMode mode) {
  std::string program;
  const std::vector<std::string> args = Resolve(command_line, &program);
  if (program.empty()) throw ErrorFromErrno(ENOENT);

  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // A hidden program has no window to write to.
  if (mode == WindowMode::kHidden) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  pid_t pid = 0;
  const int err = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) throw ErrorFromErrno(err);

  {
    std::lock_guard<std::mutex> lock(children_->mutex);
    children_->running.insert(pid);
  }
  // Every child is reaped when it ends, waited for or not, so none is left a zombie.
  std::thread([children = children_, pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const uint32_t code = WIFEXITED(status)     ? static_cast<uint32_t>(WEXITSTATUS(status))
                          : WIFSIGNALED(status) ? 128u + static_cast<uint32_t>(WTERMSIG(status))
                                                : 1u;
    std::lock_guard<std::mutex> lock(children->mutex);
    children->running.erase(pid);
    children->exit_codes[pid] = code;
    children->ended.notify_all();
  }).detach();
  return static_cast<uint32_t>(pid);
}

void PosixProcess::Wait(uint32_t process_id) {
  const auto pid = static_cast<pid_t>(process_id);
  std::unique_lock<std::mutex> lock(children_->mutex);
  children_->ended.wait(lock, [&] { return children_->running.count(pid) == 0; });
}

bool PosixProcess::WaitFor(uint32_t process_id, uint32_t milliseconds) {
  const auto pid = static_cast<pid_t>(process_id);
  std::unique_lock<std::mutex> lock(children_->mutex);
  return children_->ended.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                   [&] { return children_->running.count(pid) == 0; });
}

uint32_t PosixProcess::ExitCode(uint32_t process_id) {
  const auto pid = static_cast<pid_t>(process_id);
  std::lock_guard<std::mutex> lock(children_->mutex);
  if (children_->running.count(pid) != 0) return kStillActive;
  const auto it = children_->exit_codes.find(pid);
  if (it == children_->exit_codes.end()) {
    throw PlatformError(kErrorInvalidParameter, "The parameter is incorrect.", "OpenProcess");
  }
  return it->second;
}

}  // namespace netvane::platform
