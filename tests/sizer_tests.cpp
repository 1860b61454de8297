// The Sizer on a window of its own: anchors, minimize and maximize, the grip,
// the minimum size, attaching twice, and leaving on destroy.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>

#include "tests/message_pump.h"
#include "tests/ui_test_support.h"
#include "ui/display_scale.h"
#include "ui/sizer.h"

namespace {

const int WindowWidth = 400;
const int WindowHeight = 300;

struct ChildSpec {
    int id;
    RECT rect;
};

// Ids 1 to 5 exist; 99 is in the table only.
const ChildSpec Children[] = {
    {1, {300, 200, 350, 220}}, {2, {10, 10, 210, 110}}, {3, {10, 150, 210, 180}},
    {4, {250, 10, 290, 30}},   {5, {10, 200, 40, 220}},
};
const AnchorEntry Anchors[] = {
    {1, MoveX | MoveY}, {2, GrowX | GrowY}, {3, MoveY | GrowX}, {4, MoveX | GrowX},
    {5, 0},             {99, GrowX},        {AnchorTableEnd, AnchorTableEnd},
};

// What the window's own procedure saw.
int ownMessages;
bool propertiesLeftAtDestroy;

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_APP:
        ownMessages++;
        return 0;
    case WM_DESTROY:
        propertiesLeftAtDestroy =
            GetPropW(window, SizerProperty) != nullptr || GetPropW(window, SizerWindowProcProperty) != nullptr;
        ownMessages++;
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

HWND CreateTestWindow()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = L"SizerTestWindow";
    RegisterClassW(&windowClass);
    HWND window = CreateWindowExW(0, windowClass.lpszClassName, L"Sizer test", WS_OVERLAPPEDWINDOW, 50, 50,
                                  WindowWidth, WindowHeight, nullptr, nullptr, windowClass.hInstance, nullptr);
    for (const ChildSpec& child : Children) {
        CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, child.rect.left, child.rect.top,
                        child.rect.right - child.rect.left, child.rect.bottom - child.rect.top, window,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(child.id)), windowClass.hInstance, nullptr);
    }
    ownMessages = 0;
    return window;
}

RECT Shifted(RECT rect, int left, int top, int right, int bottom)
{
    return {rect.left + left, rect.top + top, rect.right + right, rect.bottom + bottom};
}

void Resize(HWND window, int dx, int dy)
{
    RECT outer;
    GetWindowRect(window, &outer);
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

SIZE ClientSize(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    return {client.right, client.bottom};
}

POINT GripCentreOnScreen(HWND window)
{
    SIZE client = ClientSize(window);
    RECT grip = SizerGripRect(client.cx, client.cy, BaseDpi);
    POINT centre = {(grip.left + grip.right) / 2, (grip.top + grip.bottom) / 2};
    ClientToScreen(window, &centre);
    return centre;
}

LRESULT HitTest(HWND window, POINT screen)
{
    return SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(screen.x, screen.y));
}

// The number of colours the background erase leaves inside the grip area:
// one when no grip is drawn.
size_t GripAreaColours(HWND window)
{
    SIZE client = ClientSize(window);
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, client.cx, client.cy);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(memory), 0);
    RECT grip = SizerGripRect(client.cx, client.cy, BaseDpi);
    std::set<COLORREF> colours;
    for (int y = grip.top; y < grip.bottom; y++) {
        for (int x = grip.left; x < grip.right; x++)
            colours.insert(GetPixel(memory, x, y));
    }
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, screen);
    return colours.size();
}

class SizerTest : public testing::Test {
protected:
    HWND window = nullptr;
    void SetUp() override { window = CreateTestWindow(); }
    void TearDown() override
    {
        if (IsWindow(window))
            DestroyWindow(window);
    }
};

TEST_F(SizerTest, GrowingMovesAndStretchesByTheFlags)
{
    ASSERT_TRUE(SizerAttach(window, Anchors, true, nullptr));
    Resize(window, 60, 40);
    EXPECT_EQ(ChildRect(window, 1), Shifted(Children[0].rect, 60, 40, 60, 40));
    EXPECT_EQ(ChildRect(window, 2), Shifted(Children[1].rect, 0, 0, 60, 40));
    EXPECT_EQ(ChildRect(window, 3), Shifted(Children[2].rect, 0, 40, 60, 40));
    EXPECT_EQ(ChildRect(window, 4), Shifted(Children[3].rect, 60, 0, 120, 0));
    EXPECT_EQ(ChildRect(window, 5), Children[4].rect);

    Resize(window, -30, -10);
    EXPECT_EQ(ChildRect(window, 1), Shifted(Children[0].rect, 30, 30, 30, 30));
    EXPECT_EQ(ChildRect(window, 2), Shifted(Children[1].rect, 0, 0, 30, 30));
}

TEST_F(SizerTest, MinimizeAndRestoreLeaveControlsInPlace)
{
    ASSERT_TRUE(SizerAttach(window, Anchors, true, nullptr));
    ShowWindow(window, SW_SHOWNORMAL);
    Resize(window, 20, 20);
    RECT before[5];
    for (int id = 1; id <= 5; id++)
        before[id - 1] = ChildRect(window, id);
    ShowWindow(window, SW_MINIMIZE);
    PumpFor(50);
    EXPECT_TRUE(IsIconic(window));
    ShowWindow(window, SW_RESTORE);
    PumpFor(50);
    for (int id = 1; id <= 5; id++)
        EXPECT_EQ(ChildRect(window, id), before[id - 1]) << "control " << id;
}

TEST_F(SizerTest, MaximizeHidesTheGripButItStillAnswers)
{
    ASSERT_TRUE(SizerAttach(window, Anchors, true, nullptr));
    ShowWindow(window, SW_SHOWNORMAL);
    EXPECT_GT(GripAreaColours(window), 1u);
    EXPECT_EQ(HitTest(window, GripCentreOnScreen(window)), HTBOTTOMRIGHT);

    SIZE normal = ClientSize(window);
    ShowWindow(window, SW_MAXIMIZE);
    PumpFor(50);
    SIZE maximized = ClientSize(window);
    ASSERT_GT(maximized.cx, normal.cx);
    EXPECT_EQ(ChildRect(window, 1),
              Shifted(Children[0].rect, maximized.cx - normal.cx, maximized.cy - normal.cy,
                      maximized.cx - normal.cx, maximized.cy - normal.cy));
    EXPECT_EQ(GripAreaColours(window), 1u);
    EXPECT_EQ(HitTest(window, GripCentreOnScreen(window)), HTBOTTOMRIGHT);

    POINT elsewhere = {10, 10};
    ClientToScreen(window, &elsewhere);
    EXPECT_NE(HitTest(window, elsewhere), HTBOTTOMRIGHT);
}

TEST_F(SizerTest, MinimumTrackingSizeIsTheSizeAtAttach)
{
    POINT maximum = {900, 700};
    ASSERT_TRUE(SizerAttach(window, Anchors, false, &maximum));
    Resize(window, 100, 100);
    MINMAXINFO limits = {};
    SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, WindowWidth);
    EXPECT_EQ(limits.ptMinTrackSize.y, WindowHeight);
    EXPECT_EQ(limits.ptMaxTrackSize.x, 900);
    EXPECT_EQ(limits.ptMaxTrackSize.y, 700);
    // Without a grip, the corner is the window's own.
    EXPECT_NE(HitTest(window, GripCentreOnScreen(window)), HTBOTTOMRIGHT);
}

TEST_F(SizerTest, SameSizeMessageMovesAndRepaintsNothing)
{
    ASSERT_TRUE(SizerAttach(window, Anchors, true, nullptr));
    ShowWindow(window, SW_SHOWNORMAL);
    SetWindowPos(GetDlgItem(window, 1), nullptr, 5, 5, 10, 10, SWP_NOZORDER);
    ValidateRect(window, nullptr);
    SIZE client = ClientSize(window);
    SendMessageW(window, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.cx, client.cy));
    EXPECT_EQ(ChildRect(window, 1), (RECT{5, 5, 15, 15}));
    EXPECT_FALSE(GetUpdateRect(window, nullptr, FALSE));
}

TEST_F(SizerTest, TerminatorOnlyTableStillHasAGrip)
{
    const AnchorEntry empty[] = {{AnchorTableEnd, AnchorTableEnd}};
    ASSERT_TRUE(SizerAttach(window, empty, true, nullptr));
    Resize(window, 50, 50);
    for (const ChildSpec& child : Children)
        EXPECT_EQ(ChildRect(window, child.id), child.rect);
    EXPECT_EQ(HitTest(window, GripCentreOnScreen(window)), HTBOTTOMRIGHT);
}

TEST_F(SizerTest, SecondAttachDoesNotSubclassTwice)
{
    ASSERT_TRUE(SizerAttach(window, Anchors, true, nullptr));
    ASSERT_TRUE(SizerAttach(window, Anchors, true, nullptr));
    EXPECT_EQ(GetWindowLongPtrW(window, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(SizerProc));
    EXPECT_EQ(GetPropW(window, SizerWindowProcProperty), reinterpret_cast<HANDLE>(TestWindowProc));
    SendMessageW(window, WM_APP, 0, 0);
    EXPECT_EQ(ownMessages, 1);
    Resize(window, 10, 0);
    EXPECT_EQ(ChildRect(window, 1), Shifted(Children[0].rect, 10, 0, 10, 0));
}

TEST_F(SizerTest, DestroyRemovesBothPropertiesBeforeTheWindowSeesIt)
{
    ASSERT_TRUE(SizerAttach(window, Anchors, true, nullptr));
    propertiesLeftAtDestroy = true;
    DestroyWindow(window);
    EXPECT_FALSE(propertiesLeftAtDestroy);
    EXPECT_EQ(ownMessages, 1);
}

TEST_F(SizerTest, InvalidWindowIsRefused)
{
    EXPECT_FALSE(SizerAttach(nullptr, Anchors, true, nullptr));
    HWND gone = CreateTestWindow();
    DestroyWindow(gone);
    EXPECT_FALSE(SizerAttach(gone, Anchors, true, nullptr));
}

TEST(SizerGrip, SitsInTheBottomRightCorner)
{
    RECT grip = SizerGripRect(300, 200, BaseDpi);
    EXPECT_EQ(grip.right, 300);
    EXPECT_EQ(grip.bottom, 200);
    EXPECT_EQ(grip.left, 300 - GetSystemMetrics(SM_CYVSCROLL));
    EXPECT_EQ(grip.top, 200 - GetSystemMetrics(SM_CXVSCROLL));
}

}  // namespace
