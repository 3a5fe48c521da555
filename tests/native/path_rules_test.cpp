// The path rules every part of the installer applies: names a manifest may
// list, roots, the dialog fields, full paths and shortened echoes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/path_rules.h"
#include "platform/headless/headless.h"

namespace {

using paths::NameProblem;

TEST(PathRulesTest, NamesAManifestMayList) {
  const struct {
    const char* name;
    bool wholeIsFolder;
    NameProblem problem;
  } cases[] = {
      {"app.exe", false, NameProblem::kNone},
      {"", false, NameProblem::kNone},
      {"data\\levels.dat", false, NameProblem::kNone},
      {"data/levels.dat", false, NameProblem::kNone},
      {"a..b.txt", false, NameProblem::kNone},
      {".hidden", false, NameProblem::kNone},
      {".\\app.exe", false, NameProblem::kNone},
      {"sub.\\x.txt", false, NameProblem::kNone},  // Windows drops the dot both when it makes and uses "sub."
      {"readme.", false, NameProblem::kNone},
      {"Read Me ", false, NameProblem::kNone},  // a last name's blank goes before ".lnk" is added
      {"console.txt", false, NameProblem::kNone},
      {"COM10", false, NameProblem::kNone},
      {"LPT", false, NameProblem::kNone},
      {"Games\\Brackenvue", true, NameProblem::kNone},
      {"..", false, NameProblem::kClimbsOut},
      {"..\\x", false, NameProblem::kClimbsOut},
      {"a\\..\\..\\x", false, NameProblem::kClimbsOut},
      {"../x", false, NameProblem::kClimbsOut},
      {"...\\x", false, NameProblem::kClimbsOut},
      {". .\\x", false, NameProblem::kClimbsOut},
      {"x\\..", false, NameProblem::kClimbsOut},
      {"\\Windows\\x.dll", false, NameProblem::kAbsolute},
      {"/Windows/x.dll", false, NameProblem::kAbsolute},
      {"\\\\server\\share\\x", false, NameProblem::kAbsolute},
      {"C:\\Windows\\x.dll", false, NameProblem::kAbsolute},
      {"C:x.dll", false, NameProblem::kAbsolute},
      {"c:", false, NameProblem::kAbsolute},
      {"app.exe:stream", false, NameProblem::kStream},
      {"1:x", false, NameProblem::kStream},
      {"data\\a:b", false, NameProblem::kStream},
      {"CON", false, NameProblem::kDevice},
      {"nul", false, NameProblem::kDevice},
      {"NUL.txt", false, NameProblem::kDevice},
      {"com1", false, NameProblem::kDevice},
      {"Com1 .log", false, NameProblem::kDevice},
      {"lpt9.dat", false, NameProblem::kDevice},
      {"aux.", false, NameProblem::kDevice},
      {"conin$", false, NameProblem::kDevice},
      {"CONOUT$.x", false, NameProblem::kDevice},
      {"data\\prn\\x", false, NameProblem::kDevice},
      {"COM\xB9", false, NameProblem::kDevice},
      {"a?b", false, NameProblem::kBadChar},
      {"a\tb", false, NameProblem::kBadChar},
      {"a|b", false, NameProblem::kBadChar},
      {"Docs \\Manual", false, NameProblem::kBadFolder},
      {"My Game ", true, NameProblem::kBadFolder},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(paths::CheckName(c.name, c.wholeIsFolder), c.problem) << "\"" << c.name << "\"";
    EXPECT_EQ(paths::DescribeNameProblem(c.problem)[0] == '\0', c.problem == NameProblem::kNone);
  }
}

TEST(PathRulesTest, RootsAreNeverStripped) {
  const struct {
    const char* path;
    size_t root;
  } cases[] = {
      {"C:\\Games", 3}, {"C:Games", 2},  {"C:", 2},
      {"\\Games", 1},   {"Games\\x", 0}, {"\\\\server\\share\\Games", 15},
      {"\\\\server\\share", 14},         {"\\\\server", 8},
  };
  for (const auto& c : cases) EXPECT_EQ(paths::RootLength(c.path), c.root) << c.path;
}

TEST(PathRulesTest, FieldTextsLoseTrailingBlanksThenOneBackslash) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"C:\\Games\\Bv ", "C:\\Games\\Bv"}, {"C:\\Games\\Bv \\", "C:\\Games\\Bv "}, {"C:\\  ", "C:"},
      {"C:\\\\", "C:\\"},                  {"   ", ""},                         {"", ""},
      {"My Game  ", "My Game"},
  };
  for (const auto& c : cases) {
    char text[paths::kPathBytes];
    std::strcpy(text, c.in);
    paths::TidyFieldText(text);
    EXPECT_STREQ(text, c.out) << "\"" << c.in << "\"";
  }
}

TEST(PathRulesTest, JoinRefusesWhatDoesNotFit) {
  char out[paths::kPathBytes];
  const std::string dir(250, 'd');
  EXPECT_TRUE(paths::Join(out, dir.c_str(), "1234", ".lnk"));  // 259 characters
  EXPECT_EQ(std::strlen(out), 259u);
  EXPECT_FALSE(paths::Join(out, dir.c_str(), "12345", ".lnk"));
  EXPECT_STREQ(out, "");
}

TEST(PathRulesTest, ShortenMiddleKeepsBothEnds) {
  char out[32];
  paths::ShortenMiddle("C:\\short", out, sizeof out);
  EXPECT_STREQ(out, "C:\\short");
  const std::string longPath = "C:\\" + std::string(100, 'm') + "\\the end";
  paths::ShortenMiddle(longPath.c_str(), out, sizeof out);
  const std::string shown = out;
  EXPECT_EQ(shown.size(), 31u);
  EXPECT_EQ(shown.substr(0, 3), "C:\\");
  EXPECT_NE(shown.find("..."), std::string::npos);
  EXPECT_EQ(shown.substr(shown.size() - 8), "\\the end");
}

TEST(PathRulesTest, InstallationDirectoryIsMadeFull) {
  // The current directory is C:\MEDIA.
  const struct {
    const char* field;
    const char* full;
  } cases[] = {
      {"foo", "C:\\MEDIA\\foo"},
      {"..", "C:"},
      {"..\\Games", "C:\\Games"},
      {"C:/Games/Bv", "C:\\Games\\Bv"},
      {"\\Games", "C:\\Games"},
      {"C:\\Games\\.\\Bv.", "C:\\Games\\Bv"},
      {"C:", "C:"},  // the drive's root, as the joined paths use it, not its current directory
      {"", ""},
      {"\\\\server\\share\\Games", "\\\\server\\share\\Games"},
  };
  for (const auto& c : cases) {
    char out[paths::kPathBytes];
    EXPECT_TRUE(paths::MakeFullDir(c.field, out)) << c.field;
    EXPECT_STREQ(out, c.full) << "\"" << c.field << "\"";
  }
  char out[paths::kPathBytes];
  for (const char* refused : {"C:\\a<b", "\\\\", "\\\\server", "\\\\server\\", "//"}) {
    EXPECT_FALSE(paths::MakeFullDir(refused, out)) << refused;
    EXPECT_STREQ(out, "");
  }
}

}  // namespace
