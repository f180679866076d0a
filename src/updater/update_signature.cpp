#include "updater/update_signature.h"

#include <gcrypt.h>

#include <climits>
#include <mutex>

namespace netvane::updater {
namespace {

void InitializeOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    // Verification only: no secret ever lives in this program's memory.
    gcry_check_version(nullptr);
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
  });
}

// Owns one S-expression.
class Sexp {
 public:
  Sexp() = default;
  ~Sexp() { gcry_sexp_release(value_); }
  Sexp(const Sexp&) = delete;
  Sexp& operator=(const Sexp&) = delete;
  gcry_sexp_t* out() { return &value_; }
  gcry_sexp_t get() const { return value_; }

 private:
  gcry_sexp_t value_ = nullptr;
};

bool Ed25519Verify(const std::array<uint8_t, 32>& key, const std::array<uint8_t, 64>& signature,
                   const void* message, size_t size) {
  // libgcrypt ends the program on a larger message rather than refusing it.
  if (size > kLargestLegacySigned) return false;
  Sexp public_key, sig, data;
  return gcry_sexp_build(public_key.out(), nullptr,
                         "(public-key (ecc (curve Ed25519) (flags eddsa) (q %b)))", 32,
                         key.data()) == 0 &&
         gcry_sexp_build(sig.out(), nullptr, "(sig-val (eddsa (r %b) (s %b)))", 32,
                         signature.data(), 32, signature.data() + 32) == 0 &&
         gcry_sexp_build(data.out(), nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                         static_cast<int>(size), message) == 0 &&
         gcry_pk_verify(sig.get(), data.get(), public_key.get()) == 0;
}

}  // namespace

SignatureVerdict VerifySignature(const std::vector<minisign::PublicKey>& trusted,
                                 const minisign::Signature& signature, std::string_view file) {
  InitializeOnce();
  const minisign::PublicKey* key = nullptr;
  for (const minisign::PublicKey& k : trusted) {
    if (k.id == signature.key_id) key = &k;
  }
  if (key == nullptr) return SignatureVerdict::kUnknownKey;
  if (!signature.prehashed && file.size() > kLargestLegacySigned) {
    return SignatureVerdict::kLegacyTooLarge;
  }
  bool file_matches = false;
  if (signature.prehashed) {
    uint8_t hash[64];
    gcry_md_hash_buffer(GCRY_MD_BLAKE2B_512, hash, file.data(), file.size());
    file_matches = Ed25519Verify(key->key, signature.signature, hash, sizeof hash);
  } else {
    file_matches = Ed25519Verify(key->key, signature.signature, file.data(), file.size());
  }
  if (!file_matches) return SignatureVerdict::kFileDoesNotMatch;
  std::string signed_text(signature.signature.begin(), signature.signature.end());
  signed_text += signature.trusted_comment;
  if (!Ed25519Verify(key->key, signature.global_signature, signed_text.data(),
                     signed_text.size())) {
    return SignatureVerdict::kCommentAltered;
  }
  return SignatureVerdict::kGood;
}

std::optional<std::vector<minisign::PublicKey>> ParseTrustedKeys(
    const std::vector<std::string>& texts) {
  std::vector<minisign::PublicKey> keys;
  for (const std::string& text : texts) {
    const std::optional<minisign::PublicKey> key = minisign::ParsePublicKey(text);
    if (!key) return std::nullopt;
    keys.push_back(*key);
  }
  return keys;
}

}  // namespace netvane::updater
