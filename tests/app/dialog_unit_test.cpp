// The dialog procedure and template inside the test process, with a worker starter that
// always fails (linked in place of the real one).
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cwchar>

#include "app/dialog.h"
#include "app/resource.h"
#include "status/shared_state.h"
#include "status/status.h"

namespace {

std::wstring Text(HWND window) {
    wchar_t buffer[512] = {};
    GetWindowTextW(window, buffer, 512);
    return buffer;
}

std::wstring ClassOf(HWND window) {
    wchar_t buffer[64] = {};
    GetClassNameW(window, buffer, 64);
    return buffer;
}

// Runs first (declaration order): nothing is initialised yet.
TEST(StatusChannel, CallsBeforeTheDialogExistsDoNothing) {
    ASSERT_EQ(StatusLabel, nullptr);
    SetStatusText(L"x");
    SetDetailText(L"y");
    SetProgress(50);
    SUCCEED();
}

struct DialogInProcess : testing::Test {
    HWND dialog = nullptr;
    void SetUp() override {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_INSTALLER),
                                    nullptr, InstallerDialogProc, 0);
        ASSERT_NE(dialog, nullptr);
    }
    void TearDown() override { DestroyWindow(dialog); }
};

// Where the control lies in the dialog's client area, in pixels.
RECT PlaceOf(HWND dialog, int id) {
    RECT place{};
    GetWindowRect(GetDlgItem(dialog, id), &place);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

bool Inside(const RECT& inner, const RECT& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// Width and height of text in the dialog's font.
SIZE TextSize(HWND dialog, const wchar_t* text) {
    HDC dc = GetDC(dialog);
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32W(dc, text, static_cast<int>(wcslen(text)), &size);
    SelectObject(dc, previous);
    ReleaseDC(dialog, dc);
    return size;
}

TEST_F(DialogInProcess, ControlsShowTheirTextsUncutInsideTheWindow) {
    const LONG style = GetWindowLongW(dialog, GWL_STYLE);
    for (LONG bit : {LONG(WS_POPUP), LONG(WS_CAPTION), LONG(WS_SYSMENU), LONG(DS_MODALFRAME)})
        EXPECT_EQ(style & bit, bit);
    EXPECT_EQ(Text(dialog), L"Quorvane - 安装程序");
    RECT client{};
    GetClientRect(dialog, &client);
    const struct {
        int id;
        const wchar_t* className;
        const wchar_t* text;
    } controls[] = {
        {IDC_STATUS, L"Static", L"准备就绪，点击开始安装"},
        {IDC_PROGRESS, L"msctls_progress32", L""},
        {IDC_DETAIL, L"Static", L""},
        {IDC_ACTION, L"Button", L"开始安装"},
    };
    for (const auto& expected : controls) {
        SCOPED_TRACE(expected.id);
        HWND control = GetDlgItem(dialog, expected.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(ClassOf(control), expected.className);
        EXPECT_EQ(Text(control), expected.text);
        EXPECT_TRUE(GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE);
        EXPECT_TRUE(Inside(PlaceOf(dialog, expected.id), client));
    }
    const RECT status = PlaceOf(dialog, IDC_STATUS);
    const RECT bar = PlaceOf(dialog, IDC_PROGRESS);
    const RECT detail = PlaceOf(dialog, IDC_DETAIL);
    const RECT button = PlaceOf(dialog, IDC_ACTION);
    // One column, top to bottom: the status line, the bar, the detail area.
    EXPECT_LE(status.bottom, bar.top);
    EXPECT_LE(bar.bottom, detail.top);
    for (const RECT& below : {bar, detail}) {
        EXPECT_EQ(below.left, status.left);
        EXPECT_EQ(below.right, status.right);
    }
    // The button lies inside the lower right of the detail area.
    EXPECT_TRUE(Inside(button, detail));
    EXPECT_GT(button.left + button.right, detail.left + detail.right);
    EXPECT_GT(button.top + button.bottom, detail.top + detail.bottom);
    // Nothing is cut: the longest status lines, the six lines of the parse summary, every caption.
    for (const wchar_t* line :
         {L"安装完成！桌面快捷方式已创建。", L"安装完成，但创建快捷方式失败。",
          L"错误：安装过程中发生未知错误"}) {
        const SIZE size = TextSize(dialog, line);
        EXPECT_LE(size.cx, status.right - status.left);
        EXPECT_LE(size.cy, status.bottom - status.top);
    }
    const LONG lineHeight = TextSize(dialog, L"包名").cy;
    ASSERT_GT(lineHeight, 0) << "no text measured";
    EXPECT_LE(6 * lineHeight, detail.bottom - detail.top);
    for (const wchar_t* caption : {L"开始安装", L"安装中...", L"打开程序", L"重新安装"})
        EXPECT_LT(TextSize(dialog, caption).cx, button.right - button.left) << caption;

    EXPECT_EQ(GetWindowLongW(GetDlgItem(dialog, IDC_ACTION), GWL_STYLE) & 0xF, BS_DEFPUSHBUTTON);
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_PROGRESS), PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(SendMessageW(GetDlgItem(dialog, IDC_PROGRESS), PBM_GETPOS, 0, 0), 0);
}

TEST_F(DialogInProcess, AFailedThreadStartHandsTheButtonBack) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_ACTION, BN_CLICKED), 0);
    EXPECT_FALSE(InstallInProgress.load());
    EXPECT_EQ(Text(StatusLabel), L"错误：安装过程中发生未知错误");
    EXPECT_EQ(Text(DetailLabel), L"请重新运行安装程序");
    EXPECT_EQ(Text(ActionButton), L"重新安装");
    EXPECT_TRUE(IsWindowEnabled(ActionButton));
}

TEST_F(DialogInProcess, DetailTextKeepsLineBreaks) {
    SetDetailText(L"第一行\n第二行");
    EXPECT_EQ(Text(DetailLabel), L"第一行\n第二行");
}

}  // namespace
