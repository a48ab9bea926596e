// Win32 window calls the front end uses: window classes and windows, the window procedure,
// the message queue and pump, painting, the cursor, system metrics and stock objects, with the
// platform's names, records and values. Windows are headless (a message queue and nothing on
// screen) until a program asks for the SDL back end, which shows them and turns its keyboard,
// focus and close events into messages.
#pragma once

#include <string>

#include "platform/standin/windows_base.h"

struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
struct HMENU__;
using HMENU = HMENU__*;
using HGDIOBJ = void*;
using ATOM = WORD;

using WNDPROC = LRESULT(CALLBACK*)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};
using LPMSG = MSG*;

struct PAINTSTRUCT {
    HDC hdc;
    BOOL fErase;
    RECT rcPaint;
    BOOL fRestore;
    BOOL fIncUpdate;
    BYTE rgbReserved[32];
};
using LPPAINTSTRUCT = PAINTSTRUCT*;

#define MAKEINTRESOURCEA(i) ((LPSTR)((std::uintptr_t)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEA
#define IDI_APPLICATION MAKEINTRESOURCE(32512)
#define IDC_ARROW MAKEINTRESOURCE(32512)
#define BLACK_BRUSH 4

#define CS_DBLCLKS 0x0008
#define WS_POPUP 0x80000000L
#define WS_VISIBLE 0x10000000L
#define WS_SYSMENU 0x00080000L
#define SM_CXSCREEN 0
#define SM_CYSCREEN 1
#define PM_NOREMOVE 0x0000
#define PM_REMOVE 0x0001

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_ACTIVATEAPP 0x001C
#define WM_SETCURSOR 0x0020
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_CHAR 0x0102
#define WM_SYSKEYDOWN 0x0104
#define WM_SYSKEYUP 0x0105
#define WM_SYSCHAR 0x0106

#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_CLEAR 0x0C
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_PAUSE 0x13
#define VK_CAPITAL 0x14
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_SNAPSHOT 0x2C
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_LWIN 0x5B
#define VK_RWIN 0x5C
#define VK_APPS 0x5D
#define VK_NUMPAD0 0x60
#define VK_MULTIPLY 0x6A
#define VK_ADD 0x6B
#define VK_SEPARATOR 0x6C
#define VK_SUBTRACT 0x6D
#define VK_DECIMAL 0x6E
#define VK_DIVIDE 0x6F
#define VK_F1 0x70
#define VK_F2 0x71
#define VK_F3 0x72
#define VK_F4 0x73
#define VK_F24 0x87
#define VK_NUMLOCK 0x90
#define VK_SCROLL 0x91
#define VK_OEM_1 0xBA
#define VK_OEM_PLUS 0xBB
#define VK_OEM_COMMA 0xBC
#define VK_OEM_MINUS 0xBD
#define VK_OEM_PERIOD 0xBE
#define VK_OEM_2 0xBF
#define VK_OEM_3 0xC0
#define VK_OEM_4 0xDB
#define VK_OEM_5 0xDC
#define VK_OEM_6 0xDD
#define VK_OEM_7 0xDE
#define VK_OEM_102 0xE2

ATOM RegisterClassA(const WNDCLASSA* windowClass);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param);
BOOL DestroyWindow(HWND window);
BOOL UpdateWindow(HWND window);
HWND SetFocus(HWND window);
// The window's title: the caption of a decorated window, the task bar's name otherwise.
BOOL SetWindowTextA(HWND window, LPCSTR text);
// Copies the title into text (at most maxCount - 1 characters and a terminating zero); returns
// the characters copied.
int GetWindowTextA(HWND window, LPSTR text, int maxCount);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);
HDC BeginPaint(HWND window, LPPAINTSTRUCT paint);
BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
HCURSOR SetCursor(HCURSOR cursor);
BOOL PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
// 0 when the message taken is WM_QUIT, else nonzero. Waits for a message when none is queued.
BOOL GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* msg);
LRESULT DispatchMessageA(const MSG* msg);
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window's procedure at once and returns its result.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int GetSystemMetrics(int index);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HGDIOBJ GetStockObject(int object);
HMODULE GetModuleHandleA(LPCSTR moduleName);

namespace qzplat {

// Shows windows made from now on through SDL (video, keyboard, focus and close events) and
// takes the DirectDraw device profiles from SDL's displays, with their composed screen
// presented in the window. False, with the reason in lastWindowError(), when SDL's video
// cannot start (no display).
bool useSdlWindows();
// Screens the SDL scan-out received from the presenting thread, and how many of them it drew
// in the window (a screen replaced before it was drawn is not).
struct ScanoutCounts {
    long received = 0;
    long drawn = 0;
};
ScanoutCounts sdlScanoutCounts();
// On the SDL back end: makes window a decorated, resizable window of picture's size, centred
// on its display, showing the part picture of the screen scaled with the aspect ratio kept.
// Nothing on the headless back end.
void fitSdlWindow(HWND window, const RECT& picture);
// Undoes fitSdlWindow: window covers its display again, undecorated, showing the whole screen.
void coverSdlScreen(HWND window);
// Why the last window or back-end request failed.
std::string lastWindowError();
// Destroys every window and class, empties the queues and returns to the headless back end.
void resetWindows();
// Sets the size the headless back end reports for the screen (640x480 at start).
void setHeadlessScreen(int width, int height);

// Delivers a message as the window system would on the SDL back end: key, character and quit
// messages are posted to the queue; WM_ACTIVATEAPP, WM_SETCURSOR, WM_CLOSE (the user closing
// the window: DefWindowProcA destroys it) and WM_DESTROY are sent to the window procedure at
// the next PeekMessageA or GetMessageA.
void injectMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// True while the cursor is hidden over the program's windows (SetCursor(null)).
bool cursorHidden();
// The window that has the keyboard focus, or null.
HWND focusWindow();
// Number of messages posted and not yet taken.
int queuedMessageCount();

} // namespace qzplat
