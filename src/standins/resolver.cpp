#include "standins/resolver.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "standins/host_network.h"

namespace netvane::standins {
namespace {

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
                          const std::vector<std::string>& servers, std::vector<std::string>* kept) {
  const std::vector<std::string> was_kept = kept != nullptr ? *kept : std::vector<std::string>();
  if (kept != nullptr) kept->clear();
  const std::string path = ResolvConfPath();
  if (path.empty()) {
    std::vector<std::string> argv = {"resolvectl", "dns", name};
    argv.insert(argv.end(), servers.begin(), servers.end());
    if (servers.empty()) argv.push_back("");
    return RunProgram(argv) == 0 ? "" : "resolvectl could not set the DNS servers of " + name;
  }
  std::string text;
  {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    text = s.str();
  }
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
  // Written in place: inside a namespace this file is bind-mounted over /etc/resolv.conf.
  std::ofstream out(path, std::ios::in | std::ios::out | std::ios::trunc);
  if (!out) out.open(path, std::ios::out | std::ios::trunc);
  if (!out) return "cannot write " + path;
  out << RewriteResolvConf(text, previous, servers, was_kept);
  out.close();
  return out ? "" : "cannot write " + path;
}

}  // namespace netvane::standins
