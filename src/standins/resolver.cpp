#include "standins/resolver.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "standins/host_network.h"

namespace netvane::standins {
namespace {

constexpr char kResolvectl[] = "/usr/bin/resolvectl";

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// The name under /run/netns of the namespace we run in, or empty.
std::string NamedNamespace() {
  DIR* dir = opendir("/run/netns");
  if (dir == nullptr) return "";
  std::string found;
  while (dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (SameFile("/proc/self/ns/net", "/run/netns/" + name)) {
      found = name;
      break;
    }
  }
  closedir(dir);
  return found;
}

std::string NameServerOf(const std::string& line) {
  std::istringstream in(line);
  std::string word, server;
  if (in >> word >> server && word == "nameserver") return server;
  return "";
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

// The resolver file, locked for as long as the object lives: one lock for every interface and
// every process, on the folder that holds the file (the file itself is replaced).
class ResolverFile {
 public:
  explicit ResolverFile(const std::string& path) : path_(path) {
    // A link (to a resolver manager's file, say) stays a link: its target is what changes.
    char real[PATH_MAX];
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode) &&
        realpath(path.c_str(), real) != nullptr) {
      path_ = real;
    }
    const size_t slash = path_.find_last_of('/');
    folder_ = slash == std::string::npos ? "." : slash == 0 ? "/" : path_.substr(0, slash);
    lock_ = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock_ >= 0 && flock(lock_, LOCK_EX) != 0) {
      close(lock_);
      lock_ = -1;
    }
  }
  ~ResolverFile() {
    if (lock_ >= 0) close(lock_);
  }
  ResolverFile(const ResolverFile&) = delete;
  ResolverFile& operator=(const ResolverFile&) = delete;

  bool locked() const { return lock_ >= 0; }
  const std::string& path() const { return path_; }

  std::string Read() const {
    std::ifstream in(path_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // The whole text at once: a new file put in place of the old one, so that a reader finds the
  // old text or the new; in place where the file must stay the same file ("ip netns exec"
  // bind-mounts a namespace's file, a second name sees only the file it names) or no new one can
  // be made beside it.
  std::string Write(const std::string& text) const {
    struct stat st {};
    const bool exists = stat(path_.c_str(), &st) == 0;
    const bool same_file = path_.rfind("/etc/netns/", 0) == 0 || (exists && st.st_nlink > 1);
    if (!same_file && Replace(text, exists ? &st : nullptr)) return "";
    const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return "cannot write " + path_;
    // Written over the old text first and cut after, so the file is never empty meanwhile.
    const bool ok = WriteAll(fd, text) && ftruncate(fd, static_cast<off_t>(text.size())) == 0;
    return close(fd) == 0 && ok ? "" : "cannot write " + path_;
  }

 private:
  static bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
      const ssize_t n =
          pwrite(fd, text.data() + done, text.size() - done, static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

  bool Replace(const std::string& text, const struct stat* old) const {
    std::string temp = folder_ + "/.resolv.conf.netvane-XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = WriteAll(fd, text);
    if (old != nullptr) {
      ok = ok && fchmod(fd, old->st_mode & 07777) == 0;
      // Only root can give it the old owner; a user's own file is that user's anyway.
      if (fchown(fd, old->st_uid, old->st_gid) != 0 && geteuid() == 0) ok = false;
    } else {
      ok = ok && fchmod(fd, 0644) == 0;
    }
    ok = close(fd) == 0 && ok && rename(temp.c_str(), path_.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
  }

  std::string path_;
  std::string folder_;
  int lock_ = -1;
};

}  // namespace

std::string ResolvConfPath() {
  if (const char* path = std::getenv("NETVANE_RESOLV_CONF"); path != nullptr && *path != '\0') {
    return path;
  }
  const std::string ns = NamedNamespace();
  if (!ns.empty()) return "/etc/netns/" + ns + "/resolv.conf";
  struct stat st {};
  if (stat("/run/systemd/resolve/io.systemd.Resolve", &st) == 0) return "";
  return "/etc/resolv.conf";
}

std::string RewriteResolvConf(const std::string& text, const std::vector<std::string>& previous,
                              const std::vector<std::string>& servers,
                              const std::vector<std::string>& kept) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  size_t first_server = std::string::npos;
  while (std::getline(in, line)) {
    const std::string server = NameServerOf(line);
    if (!server.empty()) {
      const bool wanted = Contains(servers, server);
      const bool ours =
          (Contains(previous, server) || wanted) && (wanted || !Contains(kept, server));
      if (first_server == std::string::npos) first_server = lines.size();
      if (ours) continue;
    }
    lines.push_back(line);
  }
  if (first_server == std::string::npos || first_server > lines.size()) first_server = lines.size();
  std::vector<std::string> mine;
  for (const std::string& s : servers) mine.push_back("nameserver " + s);
  lines.insert(lines.begin() + static_cast<long>(first_server), mine.begin(), mine.end());
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

std::string SetDnsServers(const std::string& name, const std::vector<std::string>& previous,
                          const std::vector<std::string>& servers, std::vector<std::string>* kept,
                          const std::function<bool()>& before) {
  const std::vector<std::string> was_kept = kept != nullptr ? *kept : std::vector<std::string>();
  if (kept != nullptr) kept->clear();
  const std::string path = ResolvConfPath();
  if (path.empty()) {
    if (before && !before()) return "cannot keep the DNS servers of " + name;
    std::vector<std::string> argv = {kResolvectl, "dns", "--", name};
    argv.insert(argv.end(), servers.begin(), servers.end());
    if (servers.empty()) argv.push_back("");
    return RunProgram(argv) == 0 ? "" : "resolvectl could not set the DNS servers of " + name;
  }
  const ResolverFile file(path);
  if (!file.locked()) return "cannot lock " + file.path();
  const std::string text = file.Read();
  if (kept != nullptr) {
    std::istringstream lines(text);
    std::vector<std::string> listed;
    for (std::string line; std::getline(lines, line);) listed.push_back(NameServerOf(line));
    for (const std::string& server : servers) {
      // A server of the file's own is one the interface did not put there.
      if (Contains(was_kept, server) || (!Contains(previous, server) && Contains(listed, server)))
        kept->push_back(server);
    }
  }
  if (before && !before()) return "cannot keep the DNS servers of " + name;
  return file.Write(RewriteResolvConf(text, previous, servers, was_kept));
}

}  // namespace netvane::standins
