// The resources compiled into INSTALL.EXE, read back the way Windows reads
// them: the two dialog templates field by field, the icon group, the version
// record and the manifest.
//
// INSTALL.EXE is looked for in INSTALL_EXE if set, else at its place in the
// build tree relative to this test program (build/win32/app/INSTALL.EXE).
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::string InstallExePath() {
  if (const char* env = std::getenv("INSTALL_EXE")) return env;
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof self);
  std::string dir(self, n);
  for (int up = 0; up < 3; ++up) dir = dir.substr(0, dir.find_last_of('\\'));  // build/win32
  return dir + "\\app\\INSTALL.EXE";
}

// A little-endian reader over a resource's bytes.
class Reader {
 public:
  Reader(const void* data, size_t size) : p_(static_cast<const uint8_t*>(data)), size_(size) {}
  uint16_t Word() {
    uint16_t v = 0;
    Need(2);
    std::memcpy(&v, p_ + pos_, 2);
    pos_ += 2;
    return v;
  }
  uint32_t Dword() {
    uint32_t v = 0;
    Need(4);
    std::memcpy(&v, p_ + pos_, 4);
    pos_ += 4;
    return v;
  }
  int16_t Short() { return static_cast<int16_t>(Word()); }
  uint8_t Byte() {
    Need(1);
    return p_[pos_++];
  }
  // A name-or-ordinal field: "#n" for an ordinal, else the string (ASCII here).
  std::string SzOrOrd() {
    uint16_t first = Word();
    if (first == 0xFFFF) return "#" + std::to_string(Word());
    std::string s;
    for (uint16_t ch = first; ch != 0; ch = Word()) s += static_cast<char>(ch);
    return s;
  }
  void AlignDword() { pos_ = (pos_ + 3) & ~size_t{3}; }
  void Skip(size_t n) {
    Need(n);
    pos_ += n;
  }
  size_t Pos() const { return pos_; }

 private:
  void Need(size_t n) {
    if (pos_ + n > size_) throw std::runtime_error("resource ends early");
  }
  const uint8_t* p_;
  size_t size_;
  size_t pos_ = 0;
};

struct Control {
  std::string cls;
  int id;
  std::string text;
  uint32_t style, exStyle;
  int x, y, cx, cy;
};

struct Template {
  bool extended = false;
  uint32_t helpId = 0, style = 0, exStyle = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
  std::string menu, cls, caption, face;
  int pointSize = 0, weight = 0, italic = 0, charset = 0;
  std::vector<Control> controls;
};

Template ParseTemplate(const void* data, size_t size) {
  Reader r(data, size);
  Template t;
  uint16_t count = 0;
  if (size >= 4 && static_cast<const uint16_t*>(data)[0] == 1 && static_cast<const uint16_t*>(data)[1] == 0xFFFF) {
    t.extended = true;
    r.Word();
    r.Word();
    t.helpId = r.Dword();
    t.exStyle = r.Dword();
    t.style = r.Dword();
  } else {
    t.style = r.Dword();
    t.exStyle = r.Dword();
  }
  count = r.Word();
  t.x = r.Short();
  t.y = r.Short();
  t.cx = r.Short();
  t.cy = r.Short();
  t.menu = r.SzOrOrd();
  t.cls = r.SzOrOrd();
  t.caption = r.SzOrOrd();
  if (t.style & DS_SETFONT) {
    t.pointSize = r.Word();
    if (t.extended) {
      t.weight = r.Word();
      t.italic = r.Byte();
      t.charset = r.Byte();
    }
    t.face = r.SzOrOrd();
  }
  for (uint16_t i = 0; i < count; ++i) {
    r.AlignDword();
    Control c{};
    if (t.extended) {
      r.Dword();  // help id
      c.exStyle = r.Dword();
      c.style = r.Dword();
    } else {
      c.style = r.Dword();
      c.exStyle = r.Dword();
    }
    c.x = r.Short();
    c.y = r.Short();
    c.cx = r.Short();
    c.cy = r.Short();
    c.id = t.extended ? static_cast<int32_t>(r.Dword()) : r.Short();
    c.cls = r.SzOrOrd();
    c.text = r.SzOrOrd();
    r.Skip(r.Word());  // creation data
    t.controls.push_back(c);
  }
  return t;
}

// GetProcAddress's result as the function type it really has.
template <typename F>
F Proc(HMODULE module, const char* name) {
  return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::string Upper(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  return s;
}

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = InstallExePath();
    module_ = LoadLibraryExA(path_.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module_, nullptr) << "cannot open " << path_;
  }
  void TearDown() override {
    if (module_) FreeLibrary(module_);
  }

  // The resource in English (United States), the templates' language.
  std::string Resource(LPCSTR type, int id) {
    HRSRC found = FindResourceExA(module_, type, MAKEINTRESOURCEA(id), MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (!found) return std::string();
    HGLOBAL loaded = LoadResource(module_, found);
    const char* bytes = static_cast<const char*>(LockResource(loaded));
    return std::string(bytes, SizeofResource(module_, found));
  }

  Template Dialog(int id) {
    std::string bytes = Resource(RT_DIALOG, id);
    EXPECT_FALSE(bytes.empty()) << "dialog " << id;
    return bytes.empty() ? Template{} : ParseTemplate(bytes.data(), bytes.size());
  }

  std::string path_;
  HMODULE module_ = nullptr;
};

constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;

TEST_F(ResourcesTest, InstallDialogTemplate) {
  Template t = Dialog(102);
  EXPECT_TRUE(t.extended);
  EXPECT_EQ(t.helpId, 0u);
  EXPECT_EQ(t.style, static_cast<uint32_t>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
  EXPECT_EQ(t.exStyle, static_cast<uint32_t>(WS_EX_APPWINDOW));
  EXPECT_EQ((std::vector<int>{t.x, t.y, t.cx, t.cy}), (std::vector<int>{0, 0, 216, 162}));
  EXPECT_EQ(t.menu, "");
  EXPECT_EQ(t.cls, "");
  EXPECT_EQ(t.caption, "Brackenvue Installation");
  EXPECT_EQ(t.face, "MS Sans Serif");
  EXPECT_EQ(t.pointSize, 8);
  EXPECT_EQ(t.weight, 0);
  EXPECT_EQ(t.italic, 0);
  EXPECT_EQ(t.charset, 1);

  // Predefined classes by ordinal: 0x80 button, 0x81 edit, 0x82 static, 0x85 combo box.
  const Control expected[] = {
      {"#130", -1,
       "This program will install Brackenvue on your system and create program shortcuts in the Start menu. "
       "Enter the information below, and press the Install Brackenvue button to make it so!",
       kChild | SS_LEFT | WS_GROUP, 0, 43, 7, 165, 32},
      {"#130", -1, "1. Enter the directory you want to install Brackenvue in, or press ENTER to accept the default:",
       kChild | SS_LEFT | WS_GROUP, 0, 43, 44, 164, 24},
      {"#129", 1000, "", kChild | ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 0, 43, 68, 165, 14},
      {"#130", -1,
       "2. Select a Program folder to create the Brackenvue icons in, or type a new folder name. "
       "You can press ENTER to accept the default:",
       kChild | SS_LEFT | WS_GROUP, 0, 43, 88, 166, 27},
      {"#133", 1001, "", kChild | CBS_DROPDOWN | CBS_SORT | WS_VSCROLL | WS_TABSTOP, 0, 43, 115, 165, 67},
      {"#128", 1006, "&Install Brackenvue", kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 43, 141, 58, 14},
      {"#128", IDCANCEL, "Exit Installation", kChild | BS_PUSHBUTTON | WS_TABSTOP, 0, 150, 141, 58, 14},
      {"#130", -1, "", kChild | SS_ETCHEDHORZ | SS_SUNKEN, 0, 43, 134, 164, 1},
      {"#130", -1, "#128", kChild | SS_ICON, 0, 7, 7, 21, 20},
  };
  ASSERT_EQ(t.controls.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    SCOPED_TRACE("control " + std::to_string(i + 1));
    const Control& c = t.controls[i];
    EXPECT_EQ(c.cls, expected[i].cls);
    EXPECT_EQ(c.id, expected[i].id);
    EXPECT_EQ(c.text, expected[i].text);
    EXPECT_EQ(c.style, expected[i].style) << std::hex << c.style;
    EXPECT_EQ(c.exStyle, 0u);
    EXPECT_EQ((std::vector<int>{c.x, c.y, c.cx, c.cy}),
              (std::vector<int>{expected[i].x, expected[i].y, expected[i].cx, expected[i].cy}));
  }
}

TEST_F(ResourcesTest, ProgressWindowTemplate) {
  Template t = Dialog(129);
  EXPECT_FALSE(t.extended);
  // No WS_SYSMENU (no close box) and not visible at creation.
  EXPECT_EQ(t.style, static_cast<uint32_t>(WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT));
  EXPECT_EQ(t.exStyle, 0u);
  EXPECT_EQ((std::vector<int>{t.x, t.y, t.cx, t.cy}), (std::vector<int>{0, 0, 187, 38}));
  EXPECT_EQ(t.menu, "");
  EXPECT_EQ(t.cls, "");
  EXPECT_EQ(t.caption, "Installation Progress");
  EXPECT_EQ(t.face, "MS Sans Serif");
  EXPECT_EQ(t.pointSize, 8);

  ASSERT_EQ(t.controls.size(), 2u);
  const Control& bar = t.controls[0];
  EXPECT_EQ(Upper(bar.cls), "MSCTLS_PROGRESS32");  // class names are case-insensitive
  EXPECT_EQ(bar.id, 1004);
  EXPECT_EQ(bar.text, "Progress1");
  EXPECT_EQ(bar.style, kChild | WS_BORDER);
  EXPECT_EQ((std::vector<int>{bar.x, bar.y, bar.cx, bar.cy}), (std::vector<int>{7, 17, 173, 14}));
  const Control& status = t.controls[1];
  EXPECT_EQ(status.cls, "#130");
  EXPECT_EQ(status.id, 1005);
  EXPECT_EQ(status.text, "");
  EXPECT_EQ(status.style, kChild | WS_GROUP | SS_LEFT);
  EXPECT_EQ((std::vector<int>{status.x, status.y, status.cx, status.cy}), (std::vector<int>{7, 7, 173, 8}));
}

// 32 x 32 and 16 x 16 in 16 colours for every Windows; 48 x 48 (16 colours)
// and 256 x 256 (a PNG, entered as 32 bits and size 0) for high DPI and
// Explorer's large views.
TEST_F(ResourcesTest, IconHas32And16PixelImagesOf16ColoursAndLargerOnesForHighDpi) {
  std::string group = Resource(RT_GROUP_ICON, 128);
  ASSERT_GE(group.size(), 6u);
  Reader r(group.data(), group.size());
  r.Word();
  EXPECT_EQ(r.Word(), 1);  // icon
  uint16_t count = r.Word();
  ASSERT_EQ(count, 4);
  std::vector<std::pair<int, int>> sizes;
  for (int i = 0; i < count; ++i) {
    int width = r.Byte(), height = r.Byte(), colours = r.Byte();
    r.Byte();
    r.Word();               // planes
    int bits = r.Word();    // bits per pixel
    r.Dword();              // bytes
    int id = r.Word();
    if (width == 0) width = 256;
    if (height == 0) height = 256;
    SCOPED_TRACE("image " + std::to_string(width));
    std::string image = Resource(RT_ICON, id);
    ASSERT_FALSE(image.empty());
    const bool isPng = image.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
    if (width == 256) {
      EXPECT_TRUE(isPng);
      EXPECT_EQ(colours, 0);
      EXPECT_EQ(bits, 32);
    } else {
      EXPECT_FALSE(isPng);
      EXPECT_EQ(colours, 16);
      EXPECT_EQ(bits, 4);
    }
    sizes.push_back({width, height});
    // The image loads as an icon of that size.
    HICON icon = CreateIconFromResourceEx(reinterpret_cast<PBYTE>(&image[0]), static_cast<DWORD>(image.size()), TRUE,
                                          0x00030000, width, height, 0);
    EXPECT_NE(icon, nullptr);
    if (icon) {
      ICONINFO info = {};
      BITMAP bm = {};
      if (GetIconInfo(icon, &info)) {
        GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
        EXPECT_EQ(bm.bmWidth, width);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
      }
      DestroyIcon(icon);
    }
  }
  EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{32, 32}, {16, 16}, {48, 48}, {256, 256}}));
}

TEST_F(ResourcesTest, VersionRecord) {
  // Through version.dll, as Explorer's properties page reads it.
  HMODULE version = LoadLibraryA("version.dll");
  ASSERT_NE(version, nullptr);
  auto getSize = Proc<DWORD(WINAPI*)(LPCSTR, LPDWORD)>(version, "GetFileVersionInfoSizeA");
  auto getInfo = Proc<BOOL(WINAPI*)(LPCSTR, DWORD, DWORD, LPVOID)>(version, "GetFileVersionInfoA");
  auto query = Proc<BOOL(WINAPI*)(LPCVOID, LPCSTR, LPVOID*, PUINT)>(version, "VerQueryValueA");
  ASSERT_TRUE(getSize && getInfo && query);

  DWORD handle = 0;
  DWORD size = getSize(path_.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> info(size);
  ASSERT_TRUE(getInfo(path_.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(query(info.data(), "\\", reinterpret_cast<LPVOID*>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));

  struct {
    const char* name;
    const char* value;
  } const strings[] = {
      {"FileDescription", "Brackenvue Installation"},
      {"FileVersion", "1.0.0.1"},
      {"InternalName", "INSTALL"},
      {"OriginalFilename", "INSTALL.EXE"},
      {"ProductName", "Brackenvue INSTALL Application"},
      {"ProductVersion", "1.0.0.1"},
  };
  for (const auto& s : strings) {
    SCOPED_TRACE(s.name);
    char* value = nullptr;
    std::string key = std::string("\\StringFileInfo\\040904b0\\") + s.name;
    ASSERT_TRUE(query(info.data(), key.c_str(), reinterpret_cast<LPVOID*>(&value), &length));
    EXPECT_STREQ(value, s.value);
  }
  char* company = nullptr;
  EXPECT_FALSE(query(info.data(), "\\StringFileInfo\\040904b0\\CompanyName", reinterpret_cast<LPVOID*>(&company), &length));
  FreeLibrary(version);
}

TEST_F(ResourcesTest, ManifestDeclaresTheExecutionLevelSystemDpiAwarenessAndNoCommonControls6) {
  std::string manifest = Resource(MAKEINTRESOURCEA(24), 1);  // RT_MANIFEST, CREATEPROCESS_MANIFEST_RESOURCE_ID
  ASSERT_FALSE(manifest.empty());
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"highestAvailable\""), std::string::npos);
  EXPECT_NE(manifest.find("8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"), std::string::npos);  // Windows 10 and 11
  EXPECT_EQ(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  // System DPI awareness: "true" in the 2005 settings namespace, and no
  // per-monitor level (the newer dpiAwareness element), which a dialog-template
  // program would have to handle itself on every move between screens.
  EXPECT_NE(manifest.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true</dpiAware>"),
            std::string::npos);
  EXPECT_EQ(manifest.find("dpiAwareness"), std::string::npos);
  EXPECT_EQ(manifest.find("PerMonitor"), std::string::npos);
}

}  // namespace
