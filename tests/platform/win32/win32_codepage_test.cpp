// Text conversion through the running system's ANSI code page. The cases that depend on the
// code page skip themselves elsewhere; ctest runs this program under several of them.
#include "platform/win32/win32_codepage.h"

#include <gtest/gtest.h>

#include <string>

namespace netvane::platform {
namespace {

using namespace std::string_literals;

TEST(Win32CodePageTest, AsciiWithEmbeddedNulsPassesThroughUnchanged) {
  Win32CodePage cp;
  const std::string multi = "first\0second\0\0"s;
  EXPECT_EQ(cp.ToAnsi(multi), multi);
  EXPECT_EQ(cp.FromAnsi(multi), multi);
  EXPECT_EQ(cp.ToAnsi(""), "");
  EXPECT_EQ(cp.FromAnsi(std::string(3, '\0')), std::string(3, '\0'));
}

TEST(Win32CodePageTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  Win32CodePage cp;
  if (cp.IsUtf8()) GTEST_SKIP() << "the ANSI code page is UTF-8: every character fits";
  // No ANSI code page holds the Georgian script.
  const std::string georgian = "x\xE1\x82\xA0y\0z"s;
  EXPECT_EQ(cp.ToAnsi(georgian), "x?y\0z"s);
  // Broken UTF-8 from the program side is not passed on as raw bytes either.
  EXPECT_EQ(cp.ToAnsi("a\xC3"s), "a?");
}

TEST(Win32CodePageTest, UnicodeCodePageKeepsBytes) {
  Win32CodePage cp;
  if (!cp.IsUtf8()) GTEST_SKIP() << "needs a system whose ANSI code page is UTF-8";
  const std::string bytes = "\xE1\x82\xA0\0\xFF"s;
  EXPECT_EQ(cp.ToAnsi(bytes), bytes);
  EXPECT_EQ(cp.FromAnsi(bytes), bytes);
}

TEST(Win32CodePageTest, DoubleByteTextRoundTripsAndACutCharacterBecomesQuestionMark) {
  Win32CodePage cp;
  const std::string hangul = "\xED\x95\x9C\xEA\xB8\x80"s;  // two Hangul syllables
  const std::string ansi = cp.ToAnsi(hangul);
  if (cp.IsUtf8() || ansi.size() != 4) {
    GTEST_SKIP() << "needs a double-byte ANSI code page with Hangul (949)";
  }
  EXPECT_EQ(cp.FromAnsi(ansi), hangul);
  EXPECT_EQ(cp.FromAnsi("a\0"s + ansi), "a\0"s + hangul);
  // Cut after the first lead byte of the second character, at the end and mid-text.
  EXPECT_EQ(cp.FromAnsi(ansi.substr(0, 3)), "\xED\x95\x9C?");
  EXPECT_EQ(cp.FromAnsi(ansi.substr(0, 3) + " end"), "\xED\x95\x9C? end");
}

TEST(Win32CodePageTest, WesternTextRoundTrips) {
  Win32CodePage cp;
  const std::string text = "Caf\xC3\xA9 \xC3\x9F";  // "Café ß"
  const std::string ansi = cp.ToAnsi(text);
  if (cp.IsUtf8() || ansi != "Caf\xE9 \xDF") GTEST_SKIP() << "needs code page 1252";
  EXPECT_EQ(cp.FromAnsi(ansi), text);
  EXPECT_EQ(cp.FromAnsi("\x80"), "\xE2\x82\xAC");  // the euro sign
}

}  // namespace
}  // namespace netvane::platform
