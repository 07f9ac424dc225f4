// The resources compiled into vistrel.exe: dialog templates, context menu, strings, icon and
// manifest, read back from the built program.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "input/key_table.h"
#include "resource.h"
#include "version.h"
#include "support/test_paths.h"
#include "support/viewer_driver.h"

namespace {

// vistrel.exe loaded as data only, for reading its resources.
class ProgramResources {
 public:
  ProgramResources()
      : module_(LoadLibraryExW((BinaryDir() + L"\\vistrel.exe").c_str(), nullptr,
                               LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
  ~ProgramResources() {
    if (module_ != nullptr) FreeLibrary(module_);
  }
  ProgramResources(const ProgramResources&) = delete;
  ProgramResources& operator=(const ProgramResources&) = delete;

  HMODULE Module() const { return module_; }
  std::vector<uint8_t> Raw(const wchar_t* type, UINT id) const {
    HRSRC info = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
    if (info == nullptr) return {};
    HGLOBAL data = LoadResource(module_, info);
    const auto* bytes = static_cast<const uint8_t*>(LockResource(data));
    return std::vector<uint8_t>(bytes, bytes + SizeofResource(module_, info));
  }

 private:
  HMODULE module_;
};

// Reads a DLGTEMPLATEEX: WORDs, DWORDs and strings-or-ordinals in sequence.
class TemplateReader {
 public:
  explicit TemplateReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  uint16_t Word() {
    uint16_t v = 0;
    if (pos_ + 2 <= bytes_.size()) v = static_cast<uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
    pos_ += 2;
    return v;
  }
  uint32_t Dword() {
    uint32_t lo = Word();
    return lo | (static_cast<uint32_t>(Word()) << 16);
  }
  uint8_t Byte() { return pos_ < bytes_.size() ? bytes_[pos_++] : 0; }
  // A string, or "#n" for an ordinal, or "" for none.
  std::wstring StringOrOrdinal() {
    uint16_t first = Word();
    if (first == 0) return L"";
    if (first == 0xFFFF) return L"#" + std::to_wstring(Word());
    std::wstring s(1, static_cast<wchar_t>(first));
    for (uint16_t c = Word(); c != 0 && pos_ <= bytes_.size(); c = Word()) s += static_cast<wchar_t>(c);
    return s;
  }
  void AlignDword() { pos_ = (pos_ + 3) & ~static_cast<size_t>(3); }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t pos_ = 0;
};

// A control class as the template stores it: an ordinal or the class name, either way.
std::wstring ClassOf(const std::wstring& stored) {
  if (stored == L"#128") return L"button";
  if (stored == L"#130") return L"static";
  std::wstring lower = stored;
  for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
  return lower;
}

struct TemplateItem {
  uint32_t exStyle, style;
  int16_t x, y, cx, cy;
  uint32_t id;
  std::wstring windowClass, title;
};

struct DialogTemplate {
  uint16_t signature;
  uint32_t exStyle, style;
  int16_t x, y, cx, cy;
  std::wstring caption, font;
  uint16_t pointSize;
  std::vector<TemplateItem> items;
};

DialogTemplate ParseTemplate(const std::vector<uint8_t>& bytes) {
  TemplateReader r(bytes);
  DialogTemplate t{};
  r.Word();  // version
  t.signature = r.Word();
  r.Dword();  // help id
  t.exStyle = r.Dword();
  t.style = r.Dword();
  uint16_t count = r.Word();
  t.x = static_cast<int16_t>(r.Word());
  t.y = static_cast<int16_t>(r.Word());
  t.cx = static_cast<int16_t>(r.Word());
  t.cy = static_cast<int16_t>(r.Word());
  r.StringOrOrdinal();  // menu
  r.StringOrOrdinal();  // class
  t.caption = r.StringOrOrdinal();
  if (t.style & DS_SETFONT) {
    t.pointSize = r.Word();
    r.Word();
    r.Byte();
    r.Byte();
    t.font = r.StringOrOrdinal();
  }
  for (uint16_t i = 0; i < count; ++i) {
    r.AlignDword();
    TemplateItem item{};
    r.Dword();  // help id
    item.exStyle = r.Dword();
    item.style = r.Dword();
    item.x = static_cast<int16_t>(r.Word());
    item.y = static_cast<int16_t>(r.Word());
    item.cx = static_cast<int16_t>(r.Word());
    item.cy = static_cast<int16_t>(r.Word());
    item.id = r.Dword();
    item.windowClass = r.StringOrOrdinal();
    item.title = r.StringOrOrdinal();
    uint16_t extra = r.Word();
    for (uint16_t k = 0; k < extra; ++k) r.Byte();
    t.items.push_back(item);
  }
  return t;
}

TEST(ProgramResources, ViewerDialogTemplate) {
  ProgramResources res;
  ASSERT_NE(res.Module(), nullptr) << "vistrel.exe not found beside the tests";
  DialogTemplate t = ParseTemplate(res.Raw(RT_DIALOG, IDD_VIEWER));
  ASSERT_EQ(t.signature, 0xFFFF) << "expected an extended template";
  EXPECT_EQ(t.style, 0x90CF0048u);
  EXPECT_EQ(t.exStyle, 0x00040010u);
  EXPECT_EQ(t.cx, 467);
  EXPECT_EQ(t.cy, 266);
  EXPECT_EQ(t.caption, L"Vistrel");
  EXPECT_EQ(t.font, L"MS Shell Dlg");
  EXPECT_EQ(t.pointSize, 8);
  ASSERT_EQ(t.items.size(), 3u);

  const TemplateItem& ok = t.items[0];
  EXPECT_EQ(ok.id, 1u);
  EXPECT_EQ(ClassOf(ok.windowClass), L"button");
  EXPECT_EQ(ok.title, L"OK");
  EXPECT_EQ(ok.style, 0x40010001u);
  EXPECT_EQ(ok.x, 311);
  EXPECT_EQ(ok.y, 252);
  EXPECT_EQ(ok.cx, 50);
  EXPECT_EQ(ok.cy, 14);

  const TemplateItem& cancel = t.items[1];
  EXPECT_EQ(cancel.id, 2u);
  EXPECT_EQ(cancel.title, L"Cancel");
  EXPECT_EQ(cancel.style, 0x40010000u);
  EXPECT_EQ(cancel.x, 367);
  EXPECT_EQ(cancel.y, 252);

  const TemplateItem& picture = t.items[2];
  EXPECT_EQ(picture.id, static_cast<uint32_t>(IDC_PICTURE));
  EXPECT_EQ(ClassOf(picture.windowClass), L"static");
  EXPECT_EQ(picture.title, L"");
  EXPECT_EQ(picture.style, 0x5000030Du);
  EXPECT_EQ(picture.x, 0);
  EXPECT_EQ(picture.y, 0);
  EXPECT_EQ(picture.cx, 467);
  EXPECT_EQ(picture.cy, 266);
}

TEST(ProgramResources, AboutDialogTemplate) {
  ProgramResources res;
  ASSERT_NE(res.Module(), nullptr);
  DialogTemplate t = ParseTemplate(res.Raw(RT_DIALOG, IDD_ABOUT));
  EXPECT_EQ(t.style, 0x80C800C8u);
  EXPECT_EQ(t.cx, 187);
  EXPECT_EQ(t.cy, 48);
  EXPECT_EQ(t.caption, L" About Vistrel");
  EXPECT_EQ(t.font, L"MS Shell Dlg");
  ASSERT_EQ(t.items.size(), 3u);
  EXPECT_EQ(ClassOf(t.items[0].windowClass), L"static");
  EXPECT_EQ(t.items[0].title, L"#128") << "the icon static shows IDI_APP";
  EXPECT_EQ(t.items[0].style & 0x1F, static_cast<uint32_t>(SS_ICON));
  EXPECT_EQ(t.items[0].x, 7);
  EXPECT_EQ(t.items[0].y, 8);
  EXPECT_EQ(t.items[1].title, L"Vistrel");
  EXPECT_NE(t.items[1].style & SS_NOPREFIX, 0u);
  EXPECT_NE(t.items[1].style & WS_GROUP, 0u);
  EXPECT_EQ(t.items[1].x, 34);
  EXPECT_EQ(t.items[1].cx, 139);
  EXPECT_EQ(t.items[2].id, 1u);
  EXPECT_EQ(t.items[2].title, L"OK");
  EXPECT_EQ(t.items[2].style & 0xF, static_cast<uint32_t>(BS_DEFPUSHBUTTON));
  EXPECT_NE(t.items[2].style & WS_VISIBLE, 0u);
  EXPECT_NE(t.items[2].style & WS_GROUP, 0u);
  EXPECT_NE(t.items[2].style & WS_TABSTOP, 0u);
  EXPECT_EQ(t.items[2].x, 123);
  EXPECT_EQ(t.items[2].y, 27);
}

// The virtual key a menu text names in its "( X )" hint; 0 when it names none.
UINT KeyNamedIn(const std::wstring& text) {
  const size_t open = text.find(L"( ");
  const size_t close = text.find(L" )");
  if (open == std::wstring::npos || close == std::wstring::npos) return 0;
  const std::wstring name = text.substr(open + 2, close - open - 2);
  if (name == L"Right") return VK_RIGHT;
  if (name == L"Left") return VK_LEFT;
  if (name == L"Up") return VK_UP;
  if (name == L"Down") return VK_DOWN;
  if (name == L"del") return VK_DELETE;
  return name.size() == 1 ? static_cast<UINT>(name[0]) : 0;
}

// The menu's items in order, and the key table checked against the keys the menu names: each
// named key issues exactly its item's command, and no other key issues one (Esc only leaves
// full screen).
TEST(ProgramResources, ContextMenuItemsInOrderAndTheKeysTheyName) {
  ProgramResources res;
  ASSERT_NE(res.Module(), nullptr);
  MenuHandle menu(LoadMenuW(res.Module(), MAKEINTRESOURCEW(IDR_CONTEXT_MENU)));
  ASSERT_TRUE(menu);
  wchar_t name[64] = {};
  GetMenuStringW(menu.Get(), 0, name, 64, MF_BYPOSITION);
  EXPECT_STREQ(name, L"Menu");
  HMENU popup = GetSubMenu(menu.Get(), 0);
  ASSERT_NE(popup, nullptr);

  struct Expected {
    UINT id;
    const wchar_t* text;  // null for a separator
  };
  const Expected expected[] = {
      {ID_FULLSCREEN, L"Full Screen Toggle  ( F )"}, {0, nullptr},
      {ID_ROTATE_LEFT, L"Rotate Left  ( L )"},       {ID_ROTATE_RIGHT, L"Rotate Right  ( R )"},
      {0, nullptr},
      {ID_NEXT, L"Next  ( Right )"},                 {ID_PREVIOUS, L"Previous  ( Left )"},
      {0, nullptr},
      {ID_ZOOM_IN, L"Zoom In  ( Up )"},              {ID_ZOOM_OUT, L"Zoom Out  ( Down )"},
      {0, nullptr},
      {ID_DELETE, L"Delete  ( del )"},               {ID_OPEN_WITH, L"Open With...  ( O )"},
      {0, nullptr},
      {ID_SLIDESHOW, L"Slideshow Toggle ( S )"},     {ID_BACKGROUND, L"BG Color Toggle  ( C )"},
      {0, nullptr},
      {ID_PROPERTIES, L"Properties  ( P )"},         {ID_PRINT, L"Print"},
      {0, nullptr},
      {ID_WEBSITE, L"Website"},
  };
  ASSERT_EQ(GetMenuItemCount(popup), static_cast<int>(sizeof(expected) / sizeof(expected[0])));
  std::vector<UINT> namedKeys;
  for (int i = 0; i < GetMenuItemCount(popup); ++i) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    wchar_t text[64] = {};
    info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_STATE;
    info.dwTypeData = text;
    info.cch = 64;
    ASSERT_TRUE(GetMenuItemInfoW(popup, static_cast<UINT>(i), TRUE, &info));
    if (expected[i].text == nullptr) {
      EXPECT_NE(info.fType & MFT_SEPARATOR, 0u) << "item " << i << " should be a separator";
      continue;
    }
    EXPECT_EQ(info.wID, expected[i].id) << "item " << i;
    EXPECT_STREQ(text, expected[i].text) << "item " << i;
    EXPECT_EQ(info.fState & (MFS_GRAYED | MFS_CHECKED), 0u) << "item " << i;
    if (UINT key = KeyNamedIn(text)) {
      namedKeys.push_back(key);
      for (bool fullScreen : {false, true}) {
        EXPECT_EQ(CommandForKey(key, fullScreen), info.wID) << "key of \"" << Narrow(text) << "\"";
      }
    }
  }
  EXPECT_EQ(namedKeys.size(), 12u) << "every item but Print and Website names its key";
  for (UINT key = 1; key < 256; ++key) {
    if (std::find(namedKeys.begin(), namedKeys.end(), key) != namedKeys.end()) continue;
    const uint32_t expectedWindowed = 0;
    const uint32_t expectedFullScreen = key == VK_ESCAPE ? ID_FULLSCREEN : 0;
    EXPECT_EQ(CommandForKey(key, false), expectedWindowed) << "key " << key << " while windowed";
    EXPECT_EQ(CommandForKey(key, true), expectedFullScreen) << "key " << key << " in full screen";
  }
}

TEST(ProgramResources, AboutItemTextIconAndManifest) {
  ProgramResources res;
  ASSERT_NE(res.Module(), nullptr);
  wchar_t text[64] = {};
  LoadStringW(res.Module(), IDS_ABOUT_ITEM, text, 64);
  EXPECT_STREQ(text, L" &About Vistrel...");

  // The icon group holds several sizes, so the caption, the task switcher and the about box
  // each get a drawn one rather than a scaled one.
  std::vector<uint8_t> group = res.Raw(RT_GROUP_ICON, IDI_APP);
  ASSERT_GE(group.size(), 6u);
  int count = group[4] | (group[5] << 8);
  EXPECT_GE(count, 4) << "expected a multi-size icon";

  std::vector<uint8_t> manifest = res.Raw(RT_MANIFEST, 1);
  std::string xml(manifest.begin(), manifest.end());
  EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(xml.find("version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(xml.find("level=\"asInvoker\""), std::string::npos);
  // Per-monitor aware (v2, else v1), with the older systems' per-monitor declaration beside it:
  // the system never stretches the window's pixels.
  EXPECT_NE(xml.find("<dpiAwareness xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">"
                     "PerMonitorV2, PerMonitor</dpiAwareness>"),
            std::string::npos)
      << "expected the PerMonitorV2 declaration in the manifest, got:\n" << xml;
  EXPECT_NE(xml.find("<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm</dpiAware>"),
            std::string::npos)
      << "expected the true/pm fallback in the manifest, got:\n" << xml;
  EXPECT_NE(xml.find("<longPathAware xmlns=\"http://schemas.microsoft.com/SMI/2016/WindowsSettings\">true"
                     "</longPathAware>"),
            std::string::npos)
      << "the viewer declares itself aware of paths beyond 260 characters";

  // The version resource carries the CMake project version, as the installer does.
  std::vector<uint8_t> version = res.Raw(RT_VERSION, VS_VERSION_INFO);
  ASSERT_GE(version.size(), 40u + sizeof(VS_FIXEDFILEINFO));
  // The fixed part follows the L"VS_VERSION_INFO" key and its padding, 40 bytes in.
  const auto* fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(version.data() + 40);
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, static_cast<DWORD>(MAKELONG(VISTREL_VERSION_MINOR, VISTREL_VERSION_MAJOR)));
  EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(MAKELONG(0, VISTREL_VERSION_PATCH)));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  const std::wstring strings(reinterpret_cast<const wchar_t*>(version.data()), version.size() / sizeof(wchar_t));
  const std::wstring expected = L"" VISTREL_VERSION_TEXT;
  EXPECT_NE(strings.find(expected), std::wstring::npos) << "expected the FileVersion text " << VISTREL_VERSION_TEXT;
}

}  // namespace
