// The publisher's side for the tests: minisign key pairs and signatures made with libgcrypt, in
// minisign's own formats, for the host and for Windows alike.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "updater/minisign.h"

namespace netvane::testing {

struct SigningKey {
  updater::minisign::PublicKey public_key;
  std::array<uint8_t, 32> seed{};
  // The public key file's text, as `minisign -G` writes it.
  std::string PublicFile() const;
};

// A new key pair.
SigningKey MakeSigningKey();
// The key pair of a secret key file `minisign -G -W` wrote (no password).
SigningKey SigningKeyOfSecretFile(std::string_view text);

// A signature file's text for `file` with the trusted comment `comment`: "ED" (over the
// file's BLAKE2b-512 hash) unless `legacy` ("Ed", over the file itself, which libgcrypt can
// sign only up to updater::kLargestLegacySigned bytes: beyond, the signature is of the file's
// first bytes only, and does not verify).
std::string SignFile(const SigningKey& key, std::string_view file, const std::string& comment,
                     bool legacy = false);
// The trusted comment the publisher writes: "netvane build NNNNNN file NAME".
std::string PublisherComment(const std::string& build, const std::string& file);

}  // namespace netvane::testing
