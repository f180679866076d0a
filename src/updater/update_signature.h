// Whether an update is the publisher's: its minisign signature checked with libgcrypt (Ed25519,
// BLAKE2b-512) against the keys this build trusts.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "updater/minisign.h"

namespace netvane::updater {

// The largest file a legacy signature ("Ed", over the file itself rather than its hash) can be
// checked for: libgcrypt takes a message of somewhat under 64 KiB (and ends the program on a larger
// one). minisign signs over the hash unless told otherwise (-l).
inline constexpr size_t kLargestLegacySigned = size_t{60} * 1024;

enum class SignatureVerdict {
  kGood,
  kUnknownKey,        // signed by no key this build trusts
  kFileDoesNotMatch,  // the signature is not over these bytes
  kCommentAltered,    // the global signature is not over the signature and trusted comment
  kLegacyTooLarge,    // a legacy signature over a file larger than kLargestLegacySigned
};

// Checks `signature` over `file` with the trusted key of its key id.
SignatureVerdict VerifySignature(const std::vector<minisign::PublicKey>& trusted,
                                 const minisign::Signature& signature, std::string_view file);

// The keys of public key files' texts; nullopt when one of them is no key.
std::optional<std::vector<minisign::PublicKey>> ParseTrustedKeys(
    const std::vector<std::string>& texts);

}  // namespace netvane::updater
