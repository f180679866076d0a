// libFuzzer over the updater's reading of minisign files: any bytes are either no key or
// signature, or one whose fields have their lengths and whose text is one line; base64 that
// decodes encodes back to itself.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "updater/minisign.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace minisign = netvane::updater::minisign;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const auto sig = minisign::ParseSignature(text)) {
    if (sig->trusted_comment.size() > 1024 ||
        sig->trusted_comment.find_first_of(std::string_view("\0\r\n", 3)) != std::string::npos)
      __builtin_trap();
  }
  minisign::ParsePublicKey(text);
  if (const auto bytes = minisign::Base64Decode(text)) {
    if (minisign::Base64Encode(bytes->data(), bytes->size()) != text) __builtin_trap();
  }
  return 0;
}
