// The publishers' public keys compiled into this program (cmake/update_keys.cmake), as the
// base64 lines of their minisign key files.
#pragma once

#include <string>
#include <vector>

namespace netvane::updater {

std::vector<std::string> CompiledUpdateKeys();

}  // namespace netvane::updater
