// How long NVEupdate takes to check an update's signature: a 20 MB file signed as minisign
// signs it by default ("ED", over the file's BLAKE2b-512 hash), and a 60 KiB one signed the
// legacy way ("Ed", over the file itself: the largest libgcrypt takes). Prints the median of 15
// checks of each; goal for the 20 MB file: at most 200 ms.
//   build/host/bin/signature_bench
//   wine64 build/mingw/bin/signature_bench.exe   (configured with -DNETVANE_BENCHMARKS=ON)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "update_signer.h"
#include "updater/update_signature.h"

namespace {

using namespace netvane;

double MedianMs(const std::vector<updater::minisign::PublicKey>& keys,
                const updater::minisign::Signature& signature, const std::string& file) {
  std::vector<double> ms;
  for (int i = 0; i < 15; ++i) {
    const auto start = std::chrono::steady_clock::now();
    if (updater::VerifySignature(keys, signature, file) != updater::SignatureVerdict::kGood) {
      std::fputs("signature_bench: the signature did not verify\n", stderr);
      return -1;
    }
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main() {
  std::string update(20 * 1024 * 1024, '\0');
  std::mt19937_64 random(42);
  for (char& c : update) c = static_cast<char>(random());
  const testing::SigningKey key = testing::MakeSigningKey();
  const std::string comment = testing::PublisherComment("000125", "NVE20Eng-000125.exe");
  for (const bool legacy : {false, true}) {
    const std::string file = legacy ? update.substr(0, updater::kLargestLegacySigned) : update;
    const auto signature =
        updater::minisign::ParseSignature(testing::SignFile(key, file, comment, legacy));
    if (!signature) return 1;
    const double ms = MedianMs({key.public_key}, *signature, file);
    if (ms < 0) return 1;
    std::printf("check %s: %.1f ms (median of 15)\n",
                legacy ? "a 60 KiB update, \"Ed\" (legacy, over the file)"
                       : "a 20 MB update, \"ED\" (over its BLAKE2b-512 hash)",
                ms);
  }
  return 0;
}
