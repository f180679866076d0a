// minisign's files as the publisher's `minisign` program writes them: a public key (a comment
// line, then base64 of "Ed", an 8-byte key id and the 32-byte Ed25519 key) and a signature
// (a comment line; base64 of "Ed" or "ED", the key id and the 64-byte signature; "trusted
// comment: " and its text; base64 of the 64-byte global signature over the signature and the
// trusted comment). "ED" signs the file's BLAKE2b-512 hash, "Ed" the file itself. Reading only:
// every length and field is checked, nothing else is trusted.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace netvane::updater::minisign {

using KeyId = std::array<uint8_t, 8>;

struct PublicKey {
  KeyId id{};
  std::array<uint8_t, 32> key{};
};

struct Signature {
  bool prehashed = false;  // "ED": the signature is over the file's BLAKE2b-512 hash
  KeyId key_id{};
  std::array<uint8_t, 64> signature{};
  std::string trusted_comment;
  std::array<uint8_t, 64> global_signature{};
};

// The longest signature file read; minisign's own are far shorter.
inline constexpr size_t kLargestSignatureFile = 4096;

// Standard base64 with padding, and nothing else (no blanks, no line breaks).
std::optional<std::vector<uint8_t>> Base64Decode(std::string_view text);
std::string Base64Encode(const uint8_t* data, size_t size);

// A public key file's text, or the base64 line alone; nullopt when it is not one.
std::optional<PublicKey> ParsePublicKey(std::string_view text);
// A signature file's text; nullopt when it is not one.
std::optional<Signature> ParseSignature(std::string_view text);

// The key id as minisign shows it: 16 hexadecimal digits.
std::string KeyIdText(const KeyId& id);

}  // namespace netvane::updater::minisign
