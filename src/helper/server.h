// The helper's socket: made by the helper or handed over by systemd, every caller checked by
// its peer credentials, each connection served by a process of its own.
#pragma once

#include <sys/types.h>
#include <string>

#include "helper/operations.h"

namespace netvane::helper {

// The listening socket systemd passed (LISTEN_PID, LISTEN_FDS: descriptor 3), or -1.
int ActivatedSocket();

// Makes the listening socket at `path`: mode 0660, owned by root and `group`. -1 and `*error`
// when it cannot.
int MakeSocket(const std::string& path, const std::string& group, std::string* error);

// Why the user `uid` may not use the helper (empty when it may): root, or a member of `group`
// as the user database has it.
std::string Refusal(uid_t uid, const std::string& group);

// Makes the folder `path` (and its missing parents) for the helper's own files, root's and mode
// 0755, or checks the one that is there: a folder, not a link, owned by root and writable by
// nobody else, so that no one else can put or swap a file in it. Empty when it is safe, else
// why not.
std::string PrepareFolder(const std::string& path);

// Serves connections on `listener` until a signal ends the process.
void Serve(int listener, const std::string& group, const Settings& settings);

}  // namespace netvane::helper
