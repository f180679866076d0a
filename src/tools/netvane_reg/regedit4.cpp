#include "tools/netvane_reg/regedit4.h"

#include <strings.h>

#include <cstdio>
#include <utility>

#include "platform/bytes.h"
#include "platform/text.h"

namespace netvane::tools {
namespace {

using platform::kIsSpaceOrTab;
using platform::RegHandle;
// Spaces and tabs are the file's blanks.
using platform::TrimSpacesAndTabs;

constexpr size_t kHexLineLimit = 76;

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && strncasecmp(s.data(), prefix.data(), prefix.size()) == 0;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads a quoted string starting at s[*pos] == '"'; leaves *pos after the closing quote.
bool ReadQuoted(std::string_view s, size_t* pos, std::string* out, std::string* problem) {
  size_t i = *pos + 1;
  out->clear();
  while (i < s.size()) {
    const char c = s[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= s.size()) break;
      const char next = s[i + 1];
      if (next != '\\' && next != '"') {
        *problem = std::string("unsupported escape \\") + next + " in a quoted string";
        return false;
      }
      out->push_back(next);
      i += 2;
      continue;
    }
    out->push_back(c);
    ++i;
  }
  *problem = "quoted string without its closing quote";
  return false;
}

bool ParseHexBytes(std::string_view s, std::string* out, std::string* problem) {
  out->clear();
  s = TrimSpacesAndTabs(s);
  if (s.empty()) return true;
  size_t start = 0;
  while (true) {
    const size_t comma = s.find(',', start);
    const std::string_view item = TrimSpacesAndTabs(
        s.substr(start, comma == std::string_view::npos ? s.npos : comma - start));
    if (item.empty() || item.size() > 2 || HexDigit(item[0]) < 0 ||
        (item.size() == 2 && HexDigit(item[1]) < 0)) {
      *problem = "bad hexadecimal byte \"" + std::string(item) + "\"";
      return false;
    }
    int value = HexDigit(item[0]);
    if (item.size() == 2) value = value * 16 + HexDigit(item[1]);
    out->push_back(static_cast<char>(value));
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

// The data part of a value line (after "="): fills type and data, or marks a deletion.
bool ParseData(std::string_view d, RegChange* change, std::string* problem) {
  d = TrimSpacesAndTabs(d);
  if (d == "-") {
    change->kind = RegChange::Kind::kDeleteValue;
    return true;
  }
  change->kind = RegChange::Kind::kSetValue;
  if (!d.empty() && d.front() == '"') {
    size_t pos = 0;
    std::string text;
    if (!ReadQuoted(d, &pos, &text, problem)) return false;
    if (!TrimSpacesAndTabs(d.substr(pos)).empty()) {
      *problem = "unexpected text after the closing quote";
      return false;
    }
    change->type = platform::kRegSz;
    change->data = text + '\0';
    return true;
  }
  if (StartsWithNoCase(d, "dword:")) {
    const std::string_view digits = TrimSpacesAndTabs(d.substr(6));
    if (digits.empty() || digits.size() > 8) {
      *problem = "dword: needs one to eight hexadecimal digits";
      return false;
    }
    uint32_t v = 0;
    for (char c : digits) {
      if (HexDigit(c) < 0) {
        *problem = "dword: needs one to eight hexadecimal digits";
        return false;
      }
      v = v * 16 + static_cast<uint32_t>(HexDigit(c));
    }
    change->type = platform::kRegDword;
    change->data = platform::Le32Bytes(v);
    return true;
  }
  if (StartsWithNoCase(d, "hex:")) {
    change->type = platform::kRegBinary;
    return ParseHexBytes(d.substr(4), &change->data, problem);
  }
  if (StartsWithNoCase(d, "hex(")) {
    const size_t close = d.find("):");
    if (close == std::string_view::npos || close == 4 || close > 12) {
      *problem = "hex(TYPE): expected";
      return false;
    }
    uint32_t type = 0;
    for (char c : d.substr(4, close - 4)) {
      if (HexDigit(c) < 0) {
        *problem = "hex(TYPE): the type must be hexadecimal";
        return false;
      }
      type = type * 16 + static_cast<uint32_t>(HexDigit(c));
    }
    change->type = type;
    return ParseHexBytes(d.substr(close + 2), &change->data, problem);
  }
  *problem = "value data must be \"text\", dword:, hex:, hex(TYPE): or -";
  return false;
}

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

void AppendHex(std::string& out, size_t line_start, const std::string& data) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < data.size(); ++i) {
    if (i > 0) {
      out.push_back(',');
      if (out.size() - line_start + 2 > kHexLineLimit) {
        out += "\\\r\n  ";
        line_start = out.size() - 2;
      }
    }
    const auto b = static_cast<unsigned char>(data[i]);
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 0x0F]);
  }
}

void FormatValue(std::string& out, const platform::RawValue& v) {
  const size_t line_start = out.size();
  out += v.name.empty() ? std::string("@") : Quote(v.name);
  out += '=';
  const std::string& d = v.data;
  // A text value takes the quoted form only when that form gives back exactly its bytes.
  const bool plain_text = v.type == platform::kRegSz && !d.empty() && d.back() == '\0' &&
                          d.find('\0') == d.size() - 1 &&
                          d.find_first_of("\r\n") == std::string::npos;
  if (plain_text) {
    out += Quote(std::string_view(d).substr(0, d.size() - 1));
  } else if (v.type == platform::kRegDword && d.size() == 4) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "dword:%08x", platform::GetLe32(d.data()));
    out += buf;
  } else {
    if (v.type == platform::kRegBinary) {
      out += "hex:";
    } else {
      char buf[24];
      std::snprintf(buf, sizeof buf, "hex(%x):", v.type);
      out += buf;
    }
    AppendHex(out, line_start, d);
  }
  out += "\r\n";
}

}  // namespace

std::optional<RegHandle> RootFromName(std::string_view name) {
  auto is = [&](std::string_view want) {
    return name.size() == want.size() && strncasecmp(name.data(), want.data(), want.size()) == 0;
  };
  if (is("HKEY_LOCAL_MACHINE") || is("HKLM")) return platform::kHkeyLocalMachine;
  if (is("HKEY_CURRENT_USER") || is("HKCU")) return platform::kHkeyCurrentUser;
  return std::nullopt;
}

const char* RootName(RegHandle root) {
  return root == platform::kHkeyCurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

bool SplitKeyName(std::string_view full, RegHandle* root, std::string* path) {
  const size_t slash = full.find('\\');
  const auto r = RootFromName(full.substr(0, slash));
  if (!r) return false;
  *root = *r;
  *path = slash == std::string_view::npos ? std::string() : std::string(full.substr(slash + 1));
  return true;
}

namespace {

// Physical lines without their line ends.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

// Reads a file line by line; a [key] line names the key of the value lines after it.
class Regedit4Parser {
 public:
  Regedit4Parser(std::string_view text, std::vector<RegChange>* changes, ParseError* error)
      : lines_(SplitLines(text)), changes_(changes), error_(error) {}

  bool Parse() {
    if (!ParseHeader()) return false;
    for (size_t i = 1; i < lines_.size(); ++i) {
      const int line_no = static_cast<int>(i + 1);
      const std::string_view line = TrimSpacesAndTabs(lines_[i]);
      if (line.empty() || line.front() == ';') continue;
      if (line.front() == '[') {
        if (!ParseKeyLine(line, line_no)) return false;
        continue;
      }
      if (line.front() != '"' && line.front() != '@') {
        return Fail(line_no, "expected a [key] line, a \"name\"=value line or a comment");
      }
      if (!have_key_) return Fail(line_no, "value line outside a key");
      if (!ParseValueLine(line, line_no, &i)) return false;
    }
    return true;
  }

 private:
  bool Fail(int line, std::string message) {
    error_->line = line;
    error_->message = std::move(message);
    return false;
  }

  bool ParseHeader() {
    std::string_view first = lines_.empty() ? std::string_view() : lines_[0];
    if (first.substr(0, 3) == "\xEF\xBB\xBF") first.remove_prefix(3);
    if (TrimSpacesAndTabs(first) == "REGEDIT4") return true;
    return Fail(1, "not a REGEDIT4 file: the first line must be REGEDIT4");
  }

  // [ROOT\path] creates the key, [-ROOT\path] deletes it.
  bool ParseKeyLine(std::string_view line, int line_no) {
    if (line.back() != ']') return Fail(line_no, "key line without its closing ]");
    std::string_view name = line.substr(1, line.size() - 2);
    const bool remove = !name.empty() && name.front() == '-';
    if (remove) name.remove_prefix(1);
    RegChange change;
    change.line = line_no;
    if (name.empty() || !SplitKeyName(name, &change.root, &change.path)) {
      return Fail(line_no, "unknown root key in [" + std::string(name) +
                               "] (expected HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER)");
    }
    if (!change.path.empty() && change.path.back() == '\\') change.path.pop_back();
    if (change.path.find("\\\\") != std::string::npos ||
        (!change.path.empty() && change.path.front() == '\\')) {
      return Fail(line_no, "empty key name in [" + std::string(name) + "]");
    }
    if (remove && change.path.empty()) return Fail(line_no, "a root key cannot be deleted");
    change.kind = remove ? RegChange::Kind::kDeleteKey : RegChange::Kind::kCreateKey;
    have_key_ = !remove;
    root_ = change.root;
    key_ = change.path;
    changes_->push_back(std::move(change));
    return true;
  }

  // Hexadecimal data may go on over lines ending in a backslash: they join the value line at
  // *i, and *i moves to the last of them. The probe for the data starts after the name, which
  // may itself hold "=".
  bool JoinContinuations(std::string* logical, int line_no, size_t* i) {
    size_t name_end = 1;
    if (logical->front() == '"') {
      name_end = 0;
      std::string ignored;
      std::string ignored_problem;
      if (!ReadQuoted(*logical, &name_end, &ignored, &ignored_problem)) name_end = logical->size();
    }
    const size_t eq_probe = logical->find('=', name_end);
    const bool hex =
        eq_probe != std::string::npos &&
        StartsWithNoCase(TrimSpacesAndTabs(std::string_view(*logical).substr(eq_probe + 1)), "hex");
    while (hex && !logical->empty() && logical->back() == '\\') {
      logical->pop_back();
      if (*i + 1 >= lines_.size()) return Fail(line_no, "continuation line missing at the end");
      ++*i;
      *logical += TrimSpacesAndTabs(lines_[*i]);
    }
    return true;
  }

  // "name"=data or @=data, for the current key.
  bool ParseValueLine(std::string_view line, int line_no, size_t* i) {
    std::string logical(line);
    if (!JoinContinuations(&logical, line_no, i)) return false;
    RegChange change;
    change.line = line_no;
    change.root = root_;
    change.path = key_;
    size_t pos = 0;
    std::string problem;
    if (logical.front() == '@') {
      pos = 1;
    } else if (!ReadQuoted(logical, &pos, &change.name, &problem)) {
      return Fail(line_no, problem);
    }
    while (pos < logical.size() && kIsSpaceOrTab(logical[pos])) ++pos;
    if (pos >= logical.size() || logical[pos] != '=') {
      return Fail(line_no, "= expected after the name");
    }
    if (!ParseData(std::string_view(logical).substr(pos + 1), &change, &problem)) {
      return Fail(line_no, problem);
    }
    changes_->push_back(std::move(change));
    return true;
  }

  std::vector<std::string_view> lines_;
  std::vector<RegChange>* changes_;
  ParseError* error_;
  bool have_key_ = false;
  RegHandle root_ = 0;
  std::string key_;
};

}  // namespace

bool ParseRegedit4(std::string_view text, std::vector<RegChange>* changes, ParseError* error) {
  return Regedit4Parser(text, changes, error).Parse();
}

std::string FormatKeyTree(const std::string& full_name, const platform::KeyTree& tree) {
  // A work list rather than recursion: the depth of the tree is the data's.
  std::string out;
  std::vector<std::pair<const platform::KeyTree*, std::string>> pending{{&tree, full_name}};
  while (!pending.empty()) {
    auto [key, name] = std::move(pending.back());
    pending.pop_back();
    out += "[" + name + "]\r\n";
    for (const platform::RawValue& v : key->values) FormatValue(out, v);
    out += "\r\n";
    for (auto sub = key->subkeys.rbegin(); sub != key->subkeys.rend(); ++sub) {
      pending.emplace_back(&*sub, name + "\\" + sub->name);
    }
  }
  return out;
}

}  // namespace netvane::tools
