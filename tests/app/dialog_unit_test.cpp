// The dialog procedure and template inside the test process, with a worker starter that
// always fails (linked in place of the real one).
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

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

TEST_F(DialogInProcess, TemplateHasTheControlsWhereTheyBelong) {
    const LONG style = GetWindowLongW(dialog, GWL_STYLE);
    for (LONG bit : {LONG(WS_POPUP), LONG(WS_CAPTION), LONG(WS_SYSMENU), LONG(DS_MODALFRAME)})
        EXPECT_EQ(style & bit, bit);
    EXPECT_EQ(Text(dialog), L"Quorvane - 安装程序");

    struct Expected {
        int id;
        const wchar_t* className;
        RECT units;  // left, top, right, bottom in dialog units
        const wchar_t* text;
    };
    const Expected controls[] = {
        {IDC_STATUS, L"Static", {20, 20, 300, 28}, L"准备就绪，点击开始安装"},
        {IDC_PROGRESS, L"msctls_progress32", {20, 40, 300, 54}, L""},
        {IDC_DETAIL, L"Static", {20, 65, 300, 125}, L""},
        {IDC_ACTION, L"Button", {219, 85, 299, 110}, L"开始安装"},
    };
    for (const Expected& expected : controls) {
        SCOPED_TRACE(expected.id);
        HWND control = GetDlgItem(dialog, expected.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(ClassOf(control), expected.className);
        EXPECT_EQ(Text(control), expected.text);
        RECT pixels = expected.units;
        MapDialogRect(dialog, &pixels);
        RECT actual{};
        GetWindowRect(control, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, pixels.left);
        EXPECT_EQ(actual.top, pixels.top);
        EXPECT_EQ(actual.right, pixels.right);
        EXPECT_EQ(actual.bottom, pixels.bottom);
    }
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
