// The player window and its messages on the headless window system: the key table, focus
// changes, gamma bounds, track keys, closing the window, the cursor, and keys that arrive after
// the movie ended on its own.
#include <SDL.h>
#include <climits>

#include "platform/standin/window_internal.h"
#include "tests/frontend/frontend_fixture.h"

namespace {

using fronttest::FrontendTest;
using fronttest::stateOf;

TEST_F(FrontendTest, WindowIsTheScreenSizedFocusWindowAndPainted) {
    qzplat::setHeadlessScreen(800, 600);
    ASSERT_TRUE(createPlayerWindow());
    EXPECT_EQ(qzplat::focusWindow(), playerWindow());
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 800);
    // UpdateWindow painted it: no WM_PAINT waits.
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
    // The class exists once; a second window of the program cannot register it again.
    EXPECT_FALSE(createPlayerWindow());
}

TEST_F(FrontendTest, ShiftTogglesPauseAndFocusPausesOnlyWhatPlays) {
    open(fronttest::writeMovie(300, 1));
    EXPECT_EQ(press(VK_SHIFT), PumpResult::carryOn);
    EXPECT_EQ(stateOf(*movie), statePaused);
    press(VK_SHIFT);
    EXPECT_EQ(stateOf(*movie), statePlaying);

    focus(false);
    EXPECT_EQ(stateOf(*movie), statePaused);
    focus(true);
    EXPECT_EQ(stateOf(*movie), statePlaying);

    // Paused with Shift: a focus change leaves it paused.
    press(VK_SHIFT);
    focus(false);
    focus(true);
    EXPECT_EQ(stateOf(*movie), statePaused);
    // A second focus gain resumes nothing either.
    focus(true);
    EXPECT_EQ(stateOf(*movie), statePaused);
}

TEST_F(FrontendTest, GammaKeysStopAtZeroAndAtTheTopOfInt) {
    FrontendSettings settings = windowSettings();
    settings.gammaSetting = 5;
    open(fronttest::writeMovie(300, 1), settings);
    press(VK_SUBTRACT);
    EXPECT_EQ(currentGamma(), 0);
    EXPECT_EQ(sharedLoad(movie->gamma), 0);
    press(VK_SUBTRACT);
    EXPECT_EQ(currentGamma(), 0);
    press(VK_ADD);
    press(VK_ADD);
    EXPECT_EQ(currentGamma(), 20);
    EXPECT_EQ(sharedLoad(movie->gamma), 20);
    // Other keys, the keyboard's own plus and minus among them, change nothing.
    press(VK_OEM_PLUS);
    press(VK_OEM_MINUS);
    press('A');
    EXPECT_EQ(currentGamma(), 20);

    settings.gammaSetting = INT_MAX - 3;
    beginPlays(settings, false);
    press(VK_ADD);
    EXPECT_EQ(currentGamma(), INT_MAX);
}

TEST_F(FrontendTest, TrackKeysBeyondTheTrackCountChangeNothing) {
    open(fronttest::writeMovie(300, 2));
    ASSERT_EQ(sharedLoad(movie->trackCount), 2);
    press(VK_F2);
    EXPECT_EQ(sharedLoad(movie->track), 2);
    press(VK_F3);
    press(VK_F4);
    EXPECT_EQ(sharedLoad(movie->track), 2);
    press(VK_F1);
    EXPECT_EQ(sharedLoad(movie->track), 1);
}

TEST_F(FrontendTest, EscapeQuitsAndSpaceAsksForAReplayBothStoppingTheMovie) {
    open(fronttest::writeMovie(300, 1));
    EXPECT_EQ(press(VK_SPACE), PumpResult::replay);
    EXPECT_EQ(playerIsPlaying(movie), 0);

    qzplat::resetWindows();
    open(fronttest::writeMovie(300, 1));
    EXPECT_EQ(press(VK_ESCAPE), PumpResult::quit);
    EXPECT_EQ(playerIsPlaying(movie), 0);
}

TEST_F(FrontendTest, KeysAfterTheMovieEndedOnItsOwnNeverReachTheEngine) {
    open(fronttest::writeMovie(6, 0));
    ASSERT_TRUE(fronttest::waitFor([&] { return playerIsPlaying(movie) == 0; }));
    const LONG gamma = sharedLoad(movie->gamma);
    const LONG track = sharedLoad(movie->track);
    press(VK_ADD);
    press(VK_F1);
    press(VK_SHIFT);
    focus(false);
    EXPECT_EQ(sharedLoad(movie->gamma), gamma);
    EXPECT_EQ(sharedLoad(movie->track), track);
    EXPECT_EQ(stateOf(*movie), stateClosed);
    // The front end's own part still happens: the gamma for a replay, quitting.
    EXPECT_EQ(currentGamma(), 110);
    EXPECT_EQ(press(VK_ESCAPE), PumpResult::quit);
}

TEST_F(FrontendTest, ClosingTheWindowStopsTheMovieAndQuits) {
    open(fronttest::writeMovie(300, 1));
    qzplat::injectMessage(playerWindow(), WM_CLOSE, 0, 0);
    EXPECT_EQ(pumpAll(), PumpResult::carryOn); // destroyed: WM_QUIT is now queued
    EXPECT_EQ(pumpMessage(movie), PumpResult::quit);
    EXPECT_EQ(playerIsPlaying(movie), 0);
}

TEST_F(FrontendTest, CursorIsHiddenOnlyInFullScreen) {
    ASSERT_TRUE(createPlayerWindow());
    beginPlays(windowSettings(), false);
    EXPECT_EQ(SendMessageA(playerWindow(), WM_SETCURSOR, 0, 0), 1);
    EXPECT_FALSE(qzplat::cursorHidden());
    beginPlays(windowSettings(), true);
    SendMessageA(playerWindow(), WM_SETCURSOR, 0, 0);
    EXPECT_TRUE(qzplat::cursorHidden());
    EXPECT_EQ(SendMessageA(playerWindow(), WM_ERASEBKGND, 0, 0), 1);
}

TEST(WindowStandIn, TranslatedKeysPostTheirCharacterNext) {
    qzplat::resetWindows();
    WNDCLASSA wc{};
    wc.lpszClassName = "probe";
    wc.lpfnWndProc = DefWindowProcA;
    ASSERT_NE(RegisterClassA(&wc), 0);
    HWND window = CreateWindowExA(0, "probe", "probe", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    UpdateWindow(window);
    PostMessageA(window, WM_KEYDOWN, VK_SPACE, 1);
    PostMessageA(window, WM_KEYUP, VK_SPACE, 1);
    MSG msg;
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_TRUE(TranslateMessage(&msg));
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, UINT(WM_CHAR));
    EXPECT_EQ(msg.wParam, WPARAM(' '));
    ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, UINT(WM_KEYUP));
    EXPECT_FALSE(TranslateMessage(&msg));
    PostQuitMessage(3);
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.wParam, WPARAM(3));
    qzplat::resetWindows();
}

TEST(WindowStandIn, SdlKeysBecomeThePlatformsVirtualKeys) {
    using qzplat::detail::virtualKeyFor;
    struct Case {
        SDL_Keycode key;
        SDL_Scancode scan;
        bool numLock;
        WPARAM expected;
    };
    const Case cases[] = {
        {SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, true, 0x10},
        {SDLK_RSHIFT, SDL_SCANCODE_RSHIFT, true, 0x10},
        {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, true, 0x1B},
        {SDLK_SPACE, SDL_SCANCODE_SPACE, true, 0x20},
        {SDLK_KP_PLUS, SDL_SCANCODE_KP_PLUS, false, 0x6B},
        {SDLK_KP_MINUS, SDL_SCANCODE_KP_MINUS, false, 0x6D},
        {SDLK_F1, SDL_SCANCODE_F1, true, 0x70},
        {SDLK_F4, SDL_SCANCODE_F4, true, 0x73},
        {SDLK_F12, SDL_SCANCODE_F12, true, 0x7B},
        {SDLK_F13, SDL_SCANCODE_F13, true, 0x7C},
        {SDLK_a, SDL_SCANCODE_A, true, 'A'},
        {SDLK_z, SDL_SCANCODE_Z, true, 'Z'},
        {SDLK_7, SDL_SCANCODE_7, true, '7'},
        {SDLK_KP_5, SDL_SCANCODE_KP_5, true, 0x65},
        {SDLK_KP_5, SDL_SCANCODE_KP_5, false, VK_CLEAR},
        {SDLK_KP_0, SDL_SCANCODE_KP_0, true, 0x60},
        {SDLK_KP_PERIOD, SDL_SCANCODE_KP_PERIOD, false, VK_DELETE},
        {SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, true, VK_RETURN},
        {SDLK_EQUALS, SDL_SCANCODE_EQUALS, true, VK_OEM_PLUS},
        {SDLK_MINUS, SDL_SCANCODE_MINUS, true, VK_OEM_MINUS},
        {SDLK_LEFT, SDL_SCANCODE_LEFT, true, VK_LEFT},
        {SDLK_PAGEDOWN, SDL_SCANCODE_PAGEDOWN, true, VK_NEXT},
        {SDLK_LALT, SDL_SCANCODE_LALT, true, VK_MENU},
        {SDLK_CAPSLOCK, SDL_SCANCODE_CAPSLOCK, true, VK_CAPITAL},
        {SDLK_UNKNOWN, SDL_SCANCODE_UNKNOWN, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(SDL_GetScancodeName(c.scan));
        EXPECT_EQ(virtualKeyFor(c.key, c.scan, c.numLock), c.expected);
    }
}

} // namespace
