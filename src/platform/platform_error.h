// The one exception the platform layer raises: a system call that failed, with the system's
// error number, its description and the facility that reported it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace netvane::platform {

class PlatformError : public std::runtime_error {
 public:
  PlatformError(int32_t number, std::string description, std::string source)
      : std::runtime_error(description),
        number_(number),
        description_(std::move(description)),
        source_(std::move(source)) {}

  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }
  const std::string& source() const { return source_; }

 private:
  int32_t number_;
  std::string description_;
  std::string source_;
};

}  // namespace netvane::platform
