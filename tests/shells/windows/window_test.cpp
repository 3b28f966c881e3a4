// The real window under Windows (Wine in the test run): the GL window's
// set-up, the outline and subclassing of SkinWindow, the caption press of
// skinWindowProc, and mainWindowProc's globals, zones, keys, media commands
// and close.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "core/input.h"
#include "core/shared_state.h"
#include "core/track_control.h"
#include "shells/windows/gl_window.h"
#include "shells/windows/main_window_proc.h"
#include "shells/windows/skin_window.h"
#include "support/recorded_setup_errors.h"
#include "support/recording_output.h"
#include "support/wave_bank.h"

namespace windows::test {
namespace {

using Calls = std::vector<std::string>;
using core::currentTrack;
using core::quitRequested;
using core::titleZoom;
using core::test::RecordingOutput;

// The messages the window procedure under test saw, and whether a caption
// press came before each.
std::vector<UINT> seen;
// Makes the next caption press repaint the window, as the system's move loop
// does when a window dragged past the screen's edge comes back.
bool repaintInMoveLoop = false;

// mainWindowProc, except that a caption press is noted and not carried out:
// on a hidden window the system's move loop would wait for a button that
// never comes up.
LRESULT CALLBACK notingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    seen.push_back(message);
    if (message == WM_NCLBUTTONDOWN) {
        if (repaintInMoveLoop) {
            repaintInMoveLoop = false;
            SendMessageA(window, WM_PAINT, 0, 0);
        }
        return 0;
    }
    return mainWindowProc(window, message, wParam, lParam);
}

LRESULT CALLBACK refusingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) return FALSE;
    return DefWindowProcA(window, message, wParam, lParam);
}

LPARAM at(int x, int y) {
    return MAKELPARAM(x, y);
}

void setKey(int key, bool down) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[key] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

void setLeftButton(bool down) {
    setKey(VK_LBUTTON, down);
}

bool quitPosted() {
    MSG message;
    bool found = false;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) found = true;
    }
    return found;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        recordedSetupErrors().clear();
        seen.clear();
        window = createGLWindow(notingWindowProc, 256, 256, &dc, &context);
        ASSERT_NE(window, nullptr);
        bindTrackControl(window, tracks);
        currentTrack = 0;
        quitRequested = false;
        titleZoom = 5.0f;
    }
    void TearDown() override {
        skin.reset();
        wglMakeCurrent(nullptr, nullptr);
        if (context != nullptr) wglDeleteContext(context);
        if (window != nullptr) DestroyWindow(window);
        UnregisterClassA(kWindowClassName, GetModuleHandleA(nullptr));
        quitPosted();
    }

    void attachSkin() {
        skin = std::make_unique<SkinWindow>();
        ASSERT_TRUE(skin->loadRegion(kSkinRegionId));
        ASSERT_TRUE(skin->attach(window));
        seen.clear();
    }

    HWND window = nullptr;
    HDC dc = nullptr;
    HGLRC context = nullptr;
    std::unique_ptr<SkinWindow> skin;
    std::unique_ptr<ahx::Player> player = std::make_unique<ahx::Player>();
    RecordingOutput output;
    core::TrackControl tracks{*player, test_support::sharedBank(), output};
};

TEST_F(WindowTest, GLWindowIsAHiddenCentredPopupWithItsContextCurrent) {
    EXPECT_FALSE(IsWindowVisible(window));
    auto style = DWORD(GetWindowLongPtrA(window, GWL_STYLE));
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_BORDER | WS_SYSMENU), DWORD(WS_POPUP));
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ(rect.left, (GetSystemMetrics(SM_CXSCREEN) - 256) / 2);
    EXPECT_EQ(rect.top, (GetSystemMetrics(SM_CYSCREEN) - 256) / 2);
    EXPECT_EQ(rect.right - rect.left, 256);
    EXPECT_EQ(rect.bottom - rect.top, 256);
    EXPECT_EQ(dc, GetDC(window));
    EXPECT_EQ(wglGetCurrentContext(), context);
    EXPECT_EQ(GetClassLongPtrA(window, GCL_STYLE) & CS_OWNDC, ULONG_PTR(CS_OWNDC));
    EXPECT_NE(GetClassLongPtrA(window, GCLP_HICON), 0u);
    char title[64] = {};
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ(title, "veltrane::music");
    PIXELFORMATDESCRIPTOR format{};
    DescribePixelFormat(dc, GetPixelFormat(dc), sizeof format, &format);
    EXPECT_NE(format.dwFlags & PFD_DOUBLEBUFFER, 0u);
    EXPECT_NE(format.dwFlags & PFD_SUPPORT_OPENGL, 0u);
    EXPECT_TRUE(recordedSetupErrors().empty());
}

TEST_F(WindowTest, AWindowThatCannotBeCreatedIsReportedAndGivesNoWindow) {
    // The fixture's window holds the class; this attempt needs it free.
    DestroyWindow(window);
    window = nullptr;
    UnregisterClassA(kWindowClassName, GetModuleHandleA(nullptr));
    HDC refusedDC = nullptr;
    HGLRC refusedContext = nullptr;
    EXPECT_EQ(createGLWindow(refusingWindowProc, 256, 256, &refusedDC, &refusedContext), nullptr);
    EXPECT_EQ(recordedSetupErrors(), std::vector<std::string>{"Can't Create The Window."});
    // A second class registration fails quietly: there is nothing to show.
    recordedSetupErrors().clear();
    EXPECT_EQ(createGLWindow(refusingWindowProc, 256, 256, &refusedDC, &refusedContext), nullptr);
    EXPECT_TRUE(recordedSetupErrors().empty());
}

TEST_F(WindowTest, OutlineLeavesTheCornersOutAndHoldsEveryZone) {
    attachSkin();
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    ASSERT_EQ(GetWindowRgn(window, region), COMPLEXREGION);
    RECT box;
    GetRgnBox(region, &box);
    EXPECT_EQ(box.left, 3);
    EXPECT_EQ(box.top, 4);
    EXPECT_EQ(box.right, 250);
    EXPECT_EQ(box.bottom, 251);
    EXPECT_FALSE(PtInRegion(region, 0, 0));
    EXPECT_FALSE(PtInRegion(region, 255, 255));
    const POINT insideEachZone[] = {{81, 41}, {105, 71}, {120, 56}, {155, 56}, {190, 56}, {33, 59}, {40, 66}};
    for (POINT p : insideEachZone) EXPECT_TRUE(PtInRegion(region, p.x, p.y)) << p.x << ", " << p.y;
    DeleteObject(region);
}

TEST_F(WindowTest, AttachAndDetachTwiceNeverSubclassTwice) {
    auto procedure = [&] { return reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC)); };
    SkinWindow record;
    EXPECT_FALSE(record.detach());
    ASSERT_TRUE(record.loadRegion(kSkinRegionId));
    for (int round = 0; round < 2; ++round) {
        EXPECT_TRUE(record.attach(window));
        EXPECT_TRUE(record.attach(window)) << "attaching again detaches first";
        EXPECT_EQ(procedure(), skinWindowProc);
        EXPECT_EQ(record.previousProc, notingWindowProc);
        EXPECT_EQ(GetPropA(window, kSkinProperty), &record);
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(GetWindowRgn(window, region), COMPLEXREGION) << "round " << round;
        DeleteObject(region);

        EXPECT_TRUE(record.detach());
        EXPECT_FALSE(record.detach());
        EXPECT_EQ(procedure(), notingWindowProc);
        EXPECT_EQ(GetPropA(window, kSkinProperty), nullptr);
        region = CreateRectRgn(0, 0, 0, 0);
        EXPECT_EQ(GetWindowRgn(window, region), ERROR);
        DeleteObject(region);
    }
    SkinWindow missing;
    EXPECT_FALSE(missing.loadRegion(999));
}

TEST_F(WindowTest, CaptionPressComesFromTheThirdCountedMessageOnAndOnlyWithTheButtonDown) {
    attachSkin();
    int32_t before = skinMessageCount;
    skinMessageCount = 0;
    setLeftButton(true);
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, at(10, 200));
    SendMessageA(window, WM_PAINT, 0, 0);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_LBUTTONDOWN, WM_PAINT}));
    seen.clear();
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, at(10, 200));
    EXPECT_EQ(seen, (std::vector<UINT>{WM_NCLBUTTONDOWN, WM_LBUTTONDOWN}));
    EXPECT_EQ(skinMessageCount, 3);

    // A repaint inside the move loop starts no second loop within the first.
    seen.clear();
    repaintInMoveLoop = true;
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, at(10, 200));
    EXPECT_EQ(seen, (std::vector<UINT>{WM_NCLBUTTONDOWN, WM_PAINT, WM_LBUTTONDOWN}));
    EXPECT_EQ(skinMessageCount, 5);

    // A repaint with the button up must not enter the move loop.
    setLeftButton(false);
    seen.clear();
    auto start = std::chrono::steady_clock::now();
    SendMessageA(window, WM_PAINT, 0, 0);
    SendMessageA(window, WM_LBUTTONDOWN, 0, at(10, 200));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(seen, (std::vector<UINT>{WM_PAINT, WM_LBUTTONDOWN}));
    EXPECT_EQ(skinMessageCount, 7);
    // Other messages are passed on without being counted.
    SendMessageA(window, WM_MOUSEMOVE, 0, at(1, 2));
    EXPECT_EQ(skinMessageCount, 7);
    skinMessageCount = before;
}

TEST_F(WindowTest, WithoutTheSkinPropertyMessagesGoToTheDefaultProcedure) {
    int32_t before = skinMessageCount;
    SetWindowTextA(window, "unchanged");
    seen.clear();
    EXPECT_EQ(skinWindowProc(window, WM_PAINT, 0, 0), DefWindowProcA(window, WM_PAINT, 0, 0));
    EXPECT_EQ(skinWindowProc(window, WM_GETTEXTLENGTH, 0, 0), 9);
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(skinMessageCount, before);
}

TEST_F(WindowTest, MouseMessagesSetTheGlobalsAndPressesActOnTheirZone) {
    attachSkin();
    SendMessageA(window, WM_MOUSEMOVE, 0, at(100, 120));
    SendMessageA(window, WM_MOUSEMOVE, 0, at(110, 120));
    EXPECT_EQ(core::mouseX - core::prevMouseX, 10);
    EXPECT_EQ(core::mouseY - core::prevMouseY, 0);

    SendMessageA(window, WM_LBUTTONDOWN, 0, at(80, 41));
    SendMessageA(window, WM_LBUTTONDOWN, 0, at(81, 40));
    SendMessageA(window, WM_LBUTTONDOWN, 0, at(106, 71));
    EXPECT_TRUE(output.takeCalls().empty());
    EXPECT_EQ(currentTrack, 0);
    EXPECT_EQ(core::mouseX, 106);
    EXPECT_EQ(core::prevMouseX, 81);

    SendMessageA(window, WM_LBUTTONDOWN, 0, at(105, 71));
    EXPECT_EQ(currentTrack, 9);
    EXPECT_EQ(titleZoom, 0.0f);
    EXPECT_TRUE(tracks.playSelectedTrack());
    EXPECT_EQ(output.takeCalls().front(), "stop");
    SendMessageA(window, WM_LBUTTONDOWN, 0, at(173, 41));
    EXPECT_EQ(currentTrack, 0);
    EXPECT_TRUE(tracks.playSelectedTrack());
    output.takeCalls();

    titleZoom = 5.0f;
    SendMessageA(window, WM_LBUTTONDOWN, 0, at(108, 50));
    SendMessageA(window, WM_LBUTTONDOWN, 0, at(139, 50));
    SendMessageA(window, WM_LBUTTONDOWN, 0, at(140, 50));
    EXPECT_EQ(output.takeCalls(), (Calls{"pause", "resume"}));
    EXPECT_EQ(titleZoom, 5.0f);
    EXPECT_FALSE(quitPosted());

    SendMessageA(window, WM_LBUTTONDOWN, 0, at(41, 59));
    EXPECT_FALSE(quitRequested);
    SendMessageA(window, WM_LBUTTONDOWN, 0, at(40, 66));
    EXPECT_TRUE(quitRequested);
    EXPECT_TRUE(quitPosted());
    // The right button does nothing.
    quitRequested = false;
    SendMessageA(window, WM_RBUTTONDOWN, 0, at(36, 62));
    EXPECT_FALSE(quitRequested);
}

TEST_F(WindowTest, KeysChangeTracksAndEscapeQuits) {
    SendMessageA(window, WM_KEYDOWN, VK_DOWN, 0);
    SendMessageA(window, WM_KEYDOWN, VK_DOWN, 0x40000000);  // a repeat
    EXPECT_EQ(currentTrack, 2);
    SendMessageA(window, WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(currentTrack, 1);
    EXPECT_EQ(titleZoom, 0.0f);
    EXPECT_FALSE(quitPosted());
    SendMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(quitRequested);
    EXPECT_TRUE(quitPosted());
}

TEST_F(WindowTest, MediaKeysAndAppCommandsActOncePerPress) {
    const auto command = [&](int which, int device) {
        return SendMessageA(window, WM_APPCOMMAND, WPARAM(window), MAKELPARAM(0, which | device));
    };
    // The key down acts, and is not passed on to come back as a command.
    setKey(VK_MEDIA_NEXT_TRACK, true);
    EXPECT_EQ(SendMessageA(window, WM_KEYDOWN, VK_MEDIA_NEXT_TRACK, 0), 0);
    EXPECT_EQ(currentTrack, 1);
    EXPECT_EQ(titleZoom, 0.0f);
    // A keyboard's command for the key held is that same press.
    EXPECT_EQ(command(APPCOMMAND_MEDIA_NEXTTRACK, FAPPCOMMAND_KEY), TRUE);
    EXPECT_EQ(currentTrack, 1);
    // A remote's command is a press of its own, though the key is down.
    command(APPCOMMAND_MEDIA_NEXTTRACK, FAPPCOMMAND_OEM);
    EXPECT_EQ(currentTrack, 2);
    setKey(VK_MEDIA_NEXT_TRACK, false);
    // So is a keyboard's command with its key neither down nor queued: the
    // keyboard sent no key.
    command(APPCOMMAND_MEDIA_NEXTTRACK, FAPPCOMMAND_KEY);
    EXPECT_EQ(currentTrack, 3);
    SendMessageA(window, WM_KEYDOWN, VK_MEDIA_PREV_TRACK, 0x40000000);  // a repeat steps too
    command(APPCOMMAND_MEDIA_PREVIOUSTRACK, FAPPCOMMAND_KEY);
    EXPECT_EQ(currentTrack, 1);
    // Wine sends the command as it takes the key down from the queue, before
    // the key state changes.
    PostMessageA(window, WM_KEYDOWN, VK_MEDIA_PREV_TRACK, 0);
    command(APPCOMMAND_MEDIA_PREVIOUSTRACK, FAPPCOMMAND_KEY);
    EXPECT_EQ(currentTrack, 1);
    MSG queued;
    while (PeekMessageA(&queued, window, 0, 0, PM_REMOVE)) DispatchMessageA(&queued);
    EXPECT_EQ(currentTrack, 0);
    SendMessageA(window, WM_KEYDOWN, VK_MEDIA_NEXT_TRACK, 0);
    EXPECT_EQ(currentTrack, 1);
    EXPECT_TRUE(tracks.playSelectedTrack());
    output.takeCalls();

    setKey(VK_MEDIA_PLAY_PAUSE, true);
    SendMessageA(window, WM_KEYDOWN, VK_MEDIA_PLAY_PAUSE, 0);
    command(APPCOMMAND_MEDIA_PLAY_PAUSE, FAPPCOMMAND_KEY);
    SendMessageA(window, WM_KEYDOWN, VK_MEDIA_PLAY_PAUSE, 0x40000000);
    EXPECT_EQ(output.takeCalls(), Calls{"pause"});
    setKey(VK_MEDIA_PLAY_PAUSE, false);
    command(APPCOMMAND_MEDIA_PLAY_PAUSE, FAPPCOMMAND_MOUSE);
    SendMessageA(window, WM_KEYDOWN, VK_MEDIA_STOP, 0);
    SendMessageA(window, WM_KEYDOWN, VK_SPACE, 0);
    SendMessageA(window, WM_KEYDOWN, VK_SPACE, 0x40000000);
    command(APPCOMMAND_MEDIA_PAUSE, FAPPCOMMAND_OEM);
    command(APPCOMMAND_MEDIA_PLAY, FAPPCOMMAND_OEM);
    command(APPCOMMAND_MEDIA_STOP, FAPPCOMMAND_KEY);
    EXPECT_EQ(output.takeCalls(), (Calls{"resume", "pause", "resume", "pause", "resume", "pause"}));
    EXPECT_EQ(std::count(seen.begin(), seen.end(), UINT(WM_APPCOMMAND)), 10)
        << "a key came back as a command";
    // Commands and keys that are not the player's are the system's.
    command(APPCOMMAND_VOLUME_UP, FAPPCOMMAND_KEY);
    SendMessageA(window, WM_KEYDOWN, VK_VOLUME_UP, 0);
    EXPECT_TRUE(output.takeCalls().empty());
    EXPECT_EQ(currentTrack, 1);
    EXPECT_FALSE(quitPosted());
}

TEST_F(WindowTest, CloseRequestPostsQuitAndLeavesTheWindowToTheFrameLoop) {
    EXPECT_EQ(SendMessageA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_FALSE(quitRequested);
    EXPECT_TRUE(quitPosted());
}

}  // namespace
}  // namespace windows::test
