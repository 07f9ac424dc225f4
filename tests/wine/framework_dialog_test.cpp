// The dialog framework: message-map dispatch, the modal loop with its pre-translation hook,
// default processing and the Cancel path.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/dialog.h"

namespace {

constexpr UINT kChildId = 1000;
constexpr UINT WM_TEST_PING = WM_APP + 1;
constexpr UINT WM_TEST_UNMAPPED = WM_APP + 2;

// A classic dialog template in memory: a visible popup with a default OK button and a static
// child, built as the WORD stream the dialog manager reads.
class MemoryTemplate {
 public:
  MemoryTemplate() {
    Dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT);
    Dword(0);
    Word(2);
    Word(10), Word(10), Word(200), Word(100);
    Word(0), Word(0), Text(L"Framework test");
    Word(8), Text(L"MS Shell Dlg");
    Item(BS_DEFPUSHBUTTON | WS_TABSTOP | WS_VISIBLE | WS_CHILD, IDOK, 0x0080, L"OK");
    Item(SS_NOTIFY | WS_VISIBLE | WS_CHILD, kChildId, 0x0082, L"child");
  }
  const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Word(uint16_t w) { words_.push_back(w); }
  void Dword(uint32_t d) { Word(static_cast<uint16_t>(d)), Word(static_cast<uint16_t>(d >> 16)); }
  void Text(const wchar_t* s) {
    for (; *s; ++s) Word(static_cast<uint16_t>(*s));
    Word(0);
  }
  void Item(uint32_t style, uint16_t id, uint16_t classOrdinal, const wchar_t* text) {
    if (words_.size() % 2) Word(0);  // items start on a DWORD boundary
    Dword(style), Dword(0);
    Word(5), Word(70), Word(50), Word(14);
    Word(id), Word(0xFFFF), Word(classOrdinal), Text(text), Word(0);
  }
  std::vector<uint16_t> words_;
};

class TestDialog : public CDialog {
 public:
  explicit TestDialog(const MemoryTemplate& t) : CDialog(t.Get()) {}

  const MessageMap* GetMessageMap() const override {
    static const MessageMapEntry entries[] = {
        OnMessage<&TestDialog::OnPing>(WM_TEST_PING),
        OnCommand<&TestDialog::OnCommandCode5>(77, 5),
        OnCommand<&TestDialog::OnChildClicked>(kChildId, STN_CLICKED),
    };
    static const MessageMap map = MakeMessageMap(CDialog::GetMessageMap(), entries);
    return &map;
  }

  BOOL OnInitDialog() override {
    initialised = true;
    if (script) script(*this);
    return TRUE;
  }

  BOOL PreTranslateMessage(MSG* msg) override {
    if (msg->message == WM_KEYDOWN) keyTargets.push_back(msg->hwnd);
    return filterLikeViewer ? FALSE : CDialog::PreTranslateMessage(msg);
  }

  LRESULT OnPing(WPARAM wParam, LPARAM) {
    pings.push_back(static_cast<int>(wParam));
    return 1000 + static_cast<LRESULT>(wParam);
  }
  LRESULT OnCommandCode5(WPARAM, LPARAM) {
    ++code5Commands;
    return 0;
  }
  LRESULT OnChildClicked(WPARAM, LPARAM) {
    ++childClicks;
    return 0;
  }

  HWND Hwnd() const { return hwnd_; }

  void (*script)(TestDialog&) = nullptr;
  bool filterLikeViewer = false;
  bool initialised = false;
  std::vector<int> pings;
  std::vector<HWND> keyTargets;
  int code5Commands = 0;
  int childClicks = 0;
};

TEST(FrameworkDialog, MessageMapDispatchesByMessageCodeAndId) {
  MemoryTemplate t;
  TestDialog dialog(t);
  ASSERT_TRUE(dialog.CreateModeless(nullptr));
  ASSERT_TRUE(dialog.initialised);
  HWND hwnd = dialog.Hwnd();

  EXPECT_EQ(SendMessageW(hwnd, WM_TEST_PING, 7, 0), 1007) << "the handler's result is the message result";
  ASSERT_EQ(dialog.pings.size(), 1u);
  EXPECT_EQ(dialog.pings[0], 7);

  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(77, 5), 0);
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(77, 4), 0);  // other code: not this entry
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(78, 5), 0);  // other id: not this entry
  EXPECT_EQ(dialog.code5Commands, 1);

  // Unmapped messages get the dialog manager's default processing.
  wchar_t caption[64] = {};
  SendMessageW(hwnd, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(caption));
  EXPECT_STREQ(caption, L"Framework test");
  EXPECT_EQ(SendMessageW(hwnd, WM_TEST_UNMAPPED, 0, 0), 0);

  // The base class's entries are inherited: Cancel ends the dialog.
  EXPECT_FALSE(dialog.Ended());
  SendMessageW(hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  EXPECT_TRUE(dialog.Ended());
}

TEST(FrameworkDialog, CloseBecomesCancelAndEndsTheModalLoop) {
  MemoryTemplate t;
  TestDialog dialog(t);
  dialog.script = [](TestDialog& d) {
    PostMessageW(d.Hwnd(), WM_TEST_PING, 1, 0);
    PostMessageW(d.Hwnd(), WM_CLOSE, 0, 0);
  };
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(dialog.pings, std::vector<int>{1}) << "queued messages are dispatched by the loop";
  EXPECT_EQ(dialog.GetSafeHwnd(), nullptr) << "the window is destroyed when the loop ends";
}

TEST(FrameworkDialog, HookSeesChildMessagesAndViewerStyleFilterKeepsEnterAndEsc) {
  MemoryTemplate t;
  TestDialog dialog(t);
  dialog.filterLikeViewer = true;
  dialog.script = [](TestDialog& d) {
    HWND child = GetDlgItem(d.Hwnd(), kChildId);
    PostMessageW(child, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageW(d.Hwnd(), WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(d.Hwnd(), WM_TEST_PING, 2, 0);
    PostMessageW(d.Hwnd(), WM_CLOSE, 0, 0);
  };
  EXPECT_EQ(dialog.DoModal(), IDCANCEL) << "neither Enter nor Esc may produce OK or Cancel";
  ASSERT_EQ(dialog.keyTargets.size(), 2u);
  EXPECT_NE(dialog.keyTargets[0], dialog.keyTargets[1]) << "the child's key went through the hook";
  EXPECT_EQ(dialog.pings, std::vector<int>{2});
}

TEST(FrameworkDialog, BaseHookLetsTheDialogManagerTurnEnterIntoOk) {
  MemoryTemplate t;
  TestDialog dialog(t);
  dialog.script = [](TestDialog& d) {
    SetFocus(GetDlgItem(d.Hwnd(), IDOK));
    PostMessageW(GetDlgItem(d.Hwnd(), IDOK), WM_KEYDOWN, VK_RETURN, 0);
  };
  EXPECT_EQ(dialog.DoModal(), IDOK);
}

}  // namespace
