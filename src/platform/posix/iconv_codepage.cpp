#include "platform/posix/iconv_codepage.h"

#include <strings.h>
#include <cerrno>

namespace netvane::platform {
namespace {

const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);

// Length of the UTF-8 sequence starting with `lead`, 1 for a stray byte.
size_t Utf8SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  return 1;
}

}  // namespace

IconvCodePage::IconvCodePage(const std::string& name) {
  if (name.empty() || strcasecmp(name.c_str(), "UTF-8") == 0 ||
      strcasecmp(name.c_str(), "UTF8") == 0) {
    return;
  }
  to_ansi_ = iconv_open(name.c_str(), "UTF-8");
  from_ansi_ = iconv_open("UTF-8", name.c_str());
  if (to_ansi_ == kInvalid || from_ansi_ == kInvalid) {
    if (to_ansi_ != kInvalid) iconv_close(to_ansi_);
    if (from_ansi_ != kInvalid) iconv_close(from_ansi_);
    to_ansi_ = from_ansi_ = kInvalid;
    ok_ = false;
    return;
  }
  utf8_ = false;
}

IconvCodePage::~IconvCodePage() {
  if (to_ansi_ != kInvalid) iconv_close(to_ansi_);
  if (from_ansi_ != kInvalid) iconv_close(from_ansi_);
}

std::string IconvCodePage::ToAnsi(std::string_view text) const {
  if (utf8_) return std::string(text);
  return Convert(to_ansi_, text, true);
}

std::string IconvCodePage::FromAnsi(std::string_view ansi) const {
  if (utf8_) return std::string(ansi);
  return Convert(from_ansi_, ansi, false);
}

std::string IconvCodePage::Convert(iconv_t cd, std::string_view in, bool from_utf8) const {
  std::lock_guard<std::mutex> lock(mutex_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string out;
  out.reserve(in.size() * 2 + 4);
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char buf[256];
  while (src_left > 0) {
    char* dst = buf;
    size_t dst_left = sizeof buf;
    const size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    out.append(buf, static_cast<size_t>(dst - buf));
    if (r != static_cast<size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    // EILSEQ or EINVAL: replace the character that cannot be converted and go on after it.
    out.push_back('?');
    size_t skip = from_utf8 ? Utf8SequenceLength(static_cast<unsigned char>(*src)) : 1;
    if (skip > src_left) skip = src_left;
    src += skip;
    src_left -= skip;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* dst = buf;
  size_t dst_left = sizeof buf;
  iconv(cd, nullptr, nullptr, &dst, &dst_left);
  out.append(buf, static_cast<size_t>(dst - buf));
  return out;
}

}  // namespace netvane::platform
