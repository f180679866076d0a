#include "updater/minisign.h"

#include <cstring>

namespace netvane::updater::minisign {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::string_view kUntrusted = "untrusted comment: ";
constexpr std::string_view kTrusted = "trusted comment: ";
constexpr size_t kLongestComment = 1024;

int Sextet(char c) {
  const char* at = c == '\0' ? nullptr : std::strchr(kAlphabet, c);
  return at == nullptr ? -1 : static_cast<int>(at - kAlphabet);
}

// The file's lines without their line ends ("\n" or "\r\n"); a last line end is optional.
std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

template <size_t N>
void Take(const std::vector<uint8_t>& bytes, size_t at, std::array<uint8_t, N>* out) {
  std::memcpy(out->data(), bytes.data() + at, N);
}

bool IsText(std::string_view text) {
  for (const char c : text) {
    if (c == '\0' || c == '\r' || c == '\n') return false;
  }
  return true;
}

}  // namespace

std::optional<std::vector<uint8_t>> Base64Decode(std::string_view text) {
  if (text.empty() || text.size() % 4 != 0) return std::nullopt;
  std::vector<uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const int pad = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
    if (pad == 1 && text[i + 2] == '=') return std::nullopt;
    int v[4];
    for (int k = 0; k < 4 - pad; ++k) {
      v[k] = Sextet(text[i + static_cast<size_t>(k)]);
      if (v[k] < 0) return std::nullopt;
    }
    out.push_back(static_cast<uint8_t>(v[0] << 2 | v[1] >> 4));
    if (pad < 2) out.push_back(static_cast<uint8_t>((v[1] & 15) << 4 | v[2] >> 2));
    if (pad < 1) out.push_back(static_cast<uint8_t>((v[2] & 3) << 6 | v[3]));
    // The bits a padded group leaves over must be zero, as encoders write them.
    if ((pad == 2 && (v[1] & 15) != 0) || (pad == 1 && (v[2] & 3) != 0)) return std::nullopt;
  }
  return out;
}

std::string Base64Encode(const uint8_t* data, size_t size) {
  std::string out;
  for (size_t i = 0; i < size; i += 3) {
    const uint32_t b = static_cast<uint32_t>(data[i]) << 16 |
                       (i + 1 < size ? static_cast<uint32_t>(data[i + 1]) << 8 : 0) |
                       (i + 2 < size ? data[i + 2] : 0);
    out += kAlphabet[b >> 18];
    out += kAlphabet[(b >> 12) & 63];
    out += i + 1 < size ? kAlphabet[(b >> 6) & 63] : '=';
    out += i + 2 < size ? kAlphabet[b & 63] : '=';
  }
  return out;
}

std::optional<PublicKey> ParsePublicKey(std::string_view text) {
  std::vector<std::string_view> lines = Lines(text);
  if (lines.size() == 2 && lines[0].substr(0, kUntrusted.size()) == kUntrusted) {
    lines.erase(lines.begin());
  }
  if (lines.size() != 1) return std::nullopt;
  const std::optional<std::vector<uint8_t>> bytes = Base64Decode(lines[0]);
  if (!bytes || bytes->size() != 42 || (*bytes)[0] != 'E' || (*bytes)[1] != 'd') {
    return std::nullopt;
  }
  PublicKey key;
  Take(*bytes, 2, &key.id);
  Take(*bytes, 10, &key.key);
  return key;
}

std::optional<Signature> ParseSignature(std::string_view text) {
  if (text.size() > kLargestSignatureFile) return std::nullopt;
  const std::vector<std::string_view> lines = Lines(text);
  if (lines.size() != 4 || lines[0].substr(0, kUntrusted.size()) != kUntrusted ||
      lines[2].substr(0, kTrusted.size()) != kTrusted) {
    return std::nullopt;
  }
  const std::optional<std::vector<uint8_t>> sig = Base64Decode(lines[1]);
  const std::optional<std::vector<uint8_t>> global = Base64Decode(lines[3]);
  if (!sig || sig->size() != 74 || (*sig)[0] != 'E' || ((*sig)[1] != 'd' && (*sig)[1] != 'D') ||
      !global || global->size() != 64) {
    return std::nullopt;
  }
  Signature s;
  s.prehashed = (*sig)[1] == 'D';
  Take(*sig, 2, &s.key_id);
  Take(*sig, 10, &s.signature);
  s.trusted_comment = std::string(lines[2].substr(kTrusted.size()));
  if (s.trusted_comment.size() > kLongestComment || !IsText(s.trusted_comment)) return std::nullopt;
  Take(*global, 0, &s.global_signature);
  return s;
}

std::string KeyIdText(const KeyId& id) {
  // minisign prints the id as a little-endian number.
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (size_t i = id.size(); i-- > 0;) {
    text += kHex[id[i] >> 4];
    text += kHex[id[i] & 15];
  }
  return text;
}

}  // namespace netvane::updater::minisign
