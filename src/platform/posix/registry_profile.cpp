#include "platform/posix/registry_profile.h"

#include <vector>

#include "platform/win_codes.h"

namespace netvane::platform {
namespace {

// GetProfileStringA's buffer: at most 1023 characters and the terminator.
constexpr size_t kBufferSize = 1024;

std::string Limit(std::string text) {
  if (text.size() >= kBufferSize) text.resize(kBufferSize - 1);
  return text;
}

}  // namespace

std::string RegistryProfile::SectionKey(const std::string& section) {
  return "Software\\Microsoft\\Windows NT\\CurrentVersion\\" + section;
}

std::string RegistryProfile::ReadEntry(const std::string& section, const std::string& key,
                                       const std::string& fallback) {
  RegHandle h = 0;
  if (registry_.OpenKeyEx(kHkeyCurrentUser, codepage_.ToAnsi(SectionKey(section)), kKeyRead, &h) !=
      kErrorSuccess) {
    return Limit(fallback);
  }
  const std::string name = codepage_.ToAnsi(key);
  uint32_t type = 0;
  uint32_t size = 0;
  std::string text = fallback;
  if (registry_.QueryValueEx(h, name, &type, nullptr, &size) == kErrorSuccess &&
      (type == kRegSz || type == kRegExpandSz)) {
    std::vector<uint8_t> data(size);
    if (registry_.QueryValueEx(h, name, &type, data.data(), &size) == kErrorSuccess) {
      std::string ansi(data.begin(), data.begin() + size);
      if (const size_t nul = ansi.find('\0'); nul != std::string::npos) ansi.resize(nul);
      text = codepage_.FromAnsi(ansi);
    }
  }
  registry_.CloseKey(h);
  return Limit(text);
}

bool RegistryProfile::WriteEntry(const std::string& section, const std::string& key,
                                 const std::string& value) {
  RegHandle h = 0;
  if (registry_.CreateKey(kHkeyCurrentUser, codepage_.ToAnsi(SectionKey(section)), &h) !=
      kErrorSuccess) {
    return false;
  }
  std::string data = codepage_.ToAnsi(value);
  data.push_back('\0');
  const int32_t r = registry_.SetValueEx(h, codepage_.ToAnsi(key), kRegSz,
                                         reinterpret_cast<const uint8_t*>(data.data()),
                                         static_cast<uint32_t>(data.size()));
  registry_.CloseKey(h);
  return r == kErrorSuccess;
}

}  // namespace netvane::platform
