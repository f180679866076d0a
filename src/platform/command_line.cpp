#include "platform/command_line.h"

namespace netvane::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::vector<std::string> SplitArguments(std::string_view s) {
  std::vector<std::string> args;
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  if (i >= s.size()) return args;
  std::string current;
  bool have_arg = false;
  int quotes = 0;  // 1 inside quotes
  size_t backslashes = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (IsBlank(c) && quotes == 0) {
      current.append(backslashes, '\\');
      backslashes = 0;
      args.push_back(current);
      current.clear();
      have_arg = false;
      while (i < s.size() && IsBlank(s[i])) ++i;
      continue;
    }
    have_arg = true;
    if (c == '\\') {
      ++backslashes;
      ++i;
      continue;
    }
    if (c == '"') {
      current.append(backslashes / 2, '\\');
      if (backslashes % 2 == 1) {
        current.push_back('"');
      } else {
        ++quotes;
      }
      backslashes = 0;
      ++i;
      // A run of further quotes: every third one stands for a literal quote.
      while (i < s.size() && s[i] == '"') {
        if (++quotes == 3) {
          current.push_back('"');
          quotes = 0;
        }
        ++i;
      }
      if (quotes == 2) quotes = 0;
      continue;
    }
    current.append(backslashes, '\\');
    backslashes = 0;
    current.push_back(c);
    ++i;
  }
  current.append(backslashes, '\\');
  if (have_arg || !current.empty()) args.push_back(current);
  return args;
}

std::vector<std::string> SplitCommandLine(std::string_view s) {
  std::vector<std::string> args;
  size_t i = 0;
  std::string program;
  if (i < s.size() && s[i] == '"') {
    ++i;
    while (i < s.size() && s[i] != '"') program.push_back(s[i++]);
    if (i < s.size()) ++i;
  } else {
    while (i < s.size() && !IsBlank(s[i])) program.push_back(s[i++]);
  }
  args.push_back(program);
  std::vector<std::string> rest = SplitArguments(s.substr(i));
  args.insert(args.end(), rest.begin(), rest.end());
  return args;
}

std::string QuoteArgument(std::string_view arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string_view::npos) {
    return std::string(arg);
  }
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      out.append(backslashes * 2 + 1, '\\');
    } else {
      out.append(backslashes, '\\');
    }
    backslashes = 0;
    out.push_back(c);
  }
  out.append(backslashes * 2, '\\');
  out.push_back('"');
  return out;
}

}  // namespace netvane::platform
