#include "update_signer.h"

#include <algorithm>

#include <gcrypt.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "updater/update_signature.h"

namespace netvane::testing {
namespace {

using updater::minisign::Base64Decode;
using updater::minisign::Base64Encode;

void Initialize() {
  if (gcry_control(GCRYCTL_INITIALIZATION_FINISHED_P)) return;
  gcry_check_version(nullptr);
  gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
  gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
}

// The bytes of the token `name` in `sexp`, `size` of them.
void Token(gcry_sexp_t sexp, const char* name, uint8_t* out, size_t size) {
  gcry_sexp_t found = gcry_sexp_find_token(sexp, name, 0);
  size_t length = 0;
  const char* data = found != nullptr ? gcry_sexp_nth_data(found, 1, &length) : nullptr;
  if (data == nullptr || length != size) throw std::runtime_error(std::string("no ") + name);
  std::memcpy(out, data, size);
  gcry_sexp_release(found);
}

std::array<uint8_t, 64> Ed25519Sign(const SigningKey& key, const void* message, size_t size) {
  Initialize();
  gcry_sexp_t secret = nullptr, data = nullptr, sig = nullptr;
  if (gcry_sexp_build(&secret, nullptr,
                      "(private-key (ecc (curve Ed25519) (flags eddsa) (q %b) (d %b)))", 32,
                      key.public_key.key.data(), 32, key.seed.data()) != 0 ||
      gcry_sexp_build(&data, nullptr, "(data (flags eddsa) (hash-algo sha512) (value %b))",
                      static_cast<int>(size), message) != 0 ||
      gcry_pk_sign(&sig, data, secret) != 0) {
    throw std::runtime_error("libgcrypt could not sign");
  }
  std::array<uint8_t, 64> out{};
  Token(sig, "r", out.data(), 32);
  Token(sig, "s", out.data() + 32, 32);
  gcry_sexp_release(secret);
  gcry_sexp_release(data);
  gcry_sexp_release(sig);
  return out;
}

}  // namespace

std::string SigningKey::PublicFile() const {
  std::vector<uint8_t> bytes = {'E', 'd'};
  bytes.insert(bytes.end(), public_key.id.begin(), public_key.id.end());
  bytes.insert(bytes.end(), public_key.key.begin(), public_key.key.end());
  return "untrusted comment: minisign public key " + updater::minisign::KeyIdText(public_key.id) +
         "\n" + Base64Encode(bytes.data(), bytes.size()) + "\n";
}

SigningKey MakeSigningKey() {
  Initialize();
  gcry_sexp_t params = nullptr, pair = nullptr;
  if (gcry_sexp_build(&params, nullptr, "(genkey (ecc (curve Ed25519) (flags eddsa)))") != 0 ||
      gcry_pk_genkey(&pair, params) != 0) {
    throw std::runtime_error("libgcrypt could not make a key");
  }
  SigningKey key;
  gcry_sexp_t secret = gcry_sexp_find_token(pair, "private-key", 0);
  Token(secret, "q", key.public_key.key.data(), 32);
  Token(secret, "d", key.seed.data(), 32);
  gcry_randomize(key.public_key.id.data(), key.public_key.id.size(), GCRY_STRONG_RANDOM);
  gcry_sexp_release(secret);
  gcry_sexp_release(pair);
  gcry_sexp_release(params);
  return key;
}

SigningKey SigningKeyOfSecretFile(std::string_view text) {
  const size_t end = text.find('\n');
  std::string_view line = text.substr(end + 1);
  line = line.substr(0, line.find_first_of("\r\n"));
  const std::optional<std::vector<uint8_t>> bytes = Base64Decode(line);
  // "Ed", no key derivation (no password), "B2", salt, limits, then the key id and the
  // secret key (seed and public key).
  if (end == std::string_view::npos || !bytes || bytes->size() != 158 || (*bytes)[0] != 'E' ||
      (*bytes)[1] != 'd' || (*bytes)[2] != 0 || (*bytes)[3] != 0) {
    throw std::runtime_error("not a minisign secret key without a password");
  }
  SigningKey key;
  std::memcpy(key.public_key.id.data(), bytes->data() + 54, 8);
  std::memcpy(key.seed.data(), bytes->data() + 62, 32);
  std::memcpy(key.public_key.key.data(), bytes->data() + 94, 32);
  return key;
}

std::string SignFile(const SigningKey& key, std::string_view file, const std::string& comment,
                     bool legacy) {
  std::array<uint8_t, 64> signature{};
  if (legacy) {
    signature = Ed25519Sign(key, file.data(), std::min(file.size(), updater::kLargestLegacySigned));
  } else {
    uint8_t hash[64];
    gcry_md_hash_buffer(GCRY_MD_BLAKE2B_512, hash, file.data(), file.size());
    signature = Ed25519Sign(key, hash, sizeof hash);
  }
  std::vector<uint8_t> line = {'E', static_cast<uint8_t>(legacy ? 'd' : 'D')};
  line.insert(line.end(), key.public_key.id.begin(), key.public_key.id.end());
  line.insert(line.end(), signature.begin(), signature.end());
  std::string global_text(signature.begin(), signature.end());
  global_text += comment;
  const std::array<uint8_t, 64> global = Ed25519Sign(key, global_text.data(), global_text.size());
  return "untrusted comment: signature from the tests' key\n" +
         Base64Encode(line.data(), line.size()) + "\ntrusted comment: " + comment + "\n" +
         Base64Encode(global.data(), global.size()) + "\n";
}

std::string PublisherComment(const std::string& build, const std::string& file) {
  return "netvane build " + build + " file " + file;
}

}  // namespace netvane::testing
