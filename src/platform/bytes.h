// Numbers in bytes: Windows lays them out little-endian (a REG_DWORD, the rows of an interface
// table, the filter driver's messages), the network big-endian (DHCP). And a writer that fills
// a fixed buffer without ever running past its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>

namespace netvane::platform {

// Any one-byte character type: the registry hands data over in std::string, sockets in uint8_t.
template <typename Byte>
concept OneByte = sizeof(Byte) == 1;

template <OneByte Byte>
constexpr uint32_t ByteAt(const Byte* p, size_t i) {
  return static_cast<uint8_t>(p[i]);
}

template <OneByte Byte>
constexpr uint16_t GetLe16(const Byte* p) {
  return static_cast<uint16_t>(ByteAt(p, 0) | ByteAt(p, 1) << 8);
}

template <OneByte Byte>
constexpr uint32_t GetLe32(const Byte* p) {
  return ByteAt(p, 0) | ByteAt(p, 1) << 8 | ByteAt(p, 2) << 16 | ByteAt(p, 3) << 24;
}

template <OneByte Byte>
constexpr uint32_t GetBe32(const Byte* p) {
  return ByteAt(p, 0) << 24 | ByteAt(p, 1) << 16 | ByteAt(p, 2) << 8 | ByteAt(p, 3);
}

template <OneByte Byte>
constexpr void PutLe16(Byte* p, uint16_t v) {
  p[0] = static_cast<Byte>(v);
  p[1] = static_cast<Byte>(v >> 8);
}

template <OneByte Byte>
constexpr void PutLe32(Byte* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<Byte>(v >> (8 * i));
}

template <OneByte Byte>
constexpr void PutBe32(Byte* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<Byte>(v >> (8 * (3 - i)));
}

// The four bytes of a REG_DWORD.
inline std::string Le32Bytes(uint32_t v) {
  std::string bytes(4, '\0');
  PutLe32(bytes.data(), v);
  return bytes;
}

// Fills a buffer of fixed size and refuses to run past its end: a write that does not fit
// writes nothing and fails the writer, and every later write fails too, so one check after
// the last write covers them all.
class ByteWriter {
 public:
  ByteWriter(uint8_t* data, size_t capacity) : data_(data), capacity_(capacity) {}
  template <size_t N>
  explicit ByteWriter(uint8_t (&data)[N]) : ByteWriter(data, N) {}

  bool Put(const uint8_t* bytes, size_t n) {
    if (!ok_ || n > capacity_ - size_) {
      ok_ = false;
      return false;
    }
    if (n > 0) std::memcpy(data_ + size_, bytes, n);
    size_ += n;
    return true;
  }
  bool Put(std::initializer_list<uint8_t> bytes) { return Put(bytes.begin(), bytes.size()); }
  bool PutByte(uint8_t b) { return Put(&b, 1); }

  // How many bytes have been written.
  size_t size() const { return size_; }
  bool ok() const { return ok_; }

 private:
  uint8_t* data_;
  size_t capacity_;
  size_t size_ = 0;
  bool ok_ = true;
};

}  // namespace netvane::platform
