#include "store/numbers.h"

namespace netvane::store {

bool ParseWholeNumber(std::string_view text, int64_t min, int64_t max, int64_t* value) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  bool negative = false;
  if (b < e && (text[b] == '-' || text[b] == '+')) {
    negative = text[b] == '-';
    ++b;
  }
  if (b == e || e - b > 18) return false;
  int64_t v = 0;
  for (size_t i = b; i < e; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  if (negative) v = -v;
  if (v < min || v > max) return false;
  *value = v;
  return true;
}

}  // namespace netvane::store
