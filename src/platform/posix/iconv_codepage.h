// ANSI code page of the host: UTF-8 by default, any iconv code page by name.
#pragma once

#include <iconv.h>

#include <mutex>
#include <string>

#include "platform/codepage.h"

namespace netvane::platform {

class IconvCodePage final : public CodePage {
 public:
  // An empty name, "UTF-8" or "UTF8" selects UTF-8. `ok()` is false when iconv does not know
  // the name; the object then behaves as UTF-8.
  explicit IconvCodePage(const std::string& name);
  ~IconvCodePage() override;
  IconvCodePage(const IconvCodePage&) = delete;
  IconvCodePage& operator=(const IconvCodePage&) = delete;

  std::string ToAnsi(std::string_view text) const override;
  std::string FromAnsi(std::string_view ansi) const override;
  bool IsUtf8() const override { return utf8_; }
  bool ok() const { return ok_; }

 private:
  std::string Convert(iconv_t cd, std::string_view in, bool from_utf8) const;

  bool utf8_ = true;
  bool ok_ = true;
  iconv_t to_ansi_ = reinterpret_cast<iconv_t>(-1);
  iconv_t from_ansi_ = reinterpret_cast<iconv_t>(-1);
  mutable std::mutex mutex_;
};

}  // namespace netvane::platform
