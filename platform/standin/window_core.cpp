// The stand-in's windows: classes, window records, the posted queue and the messages sent at
// the next message call, painting, the cursor, focus and the system's stock handles. One queue
// serves the process (the program has one window thread); the window back end feeds it.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>

#include "platform/standin/kernel.h"
#include "platform/standin/window_internal.h"

using namespace qzplat::detail;

namespace {

// Stand-ins for the handles of system resources: only their being non-null matters.
HICON const applicationIcon = reinterpret_cast<HICON>(std::uintptr_t(0x7F00));
HCURSOR const arrowCursor = reinterpret_cast<HCURSOR>(std::uintptr_t(0x7F10));
HGDIOBJ const blackBrush = reinterpret_cast<HGDIOBJ>(std::uintptr_t(0x7F20));
HMODULE const moduleHandle = reinterpret_cast<HMODULE>(std::uintptr_t(0x400000));
HDC const paintContext = reinterpret_cast<HDC>(std::uintptr_t(0x7F30));
constexpr int stockObjectCount = 20;

// Windows shown nowhere: the core alone keeps them, and injectMessage stands for the user.
class HeadlessWindows final : public WindowBackEnd {
  public:
    bool createWindow(HWND, WindowRecord&, std::string&) override { return true; }
    void destroyWindow(WindowRecord&) override {}
    void focus(const WindowRecord&) override {}
    void showCursor(bool) override {}
    void service() override {}
    bool waitBetweenLooks() override { return false; }
    bool screenSize(int&, int&) override { return false; }
    void fitWindow(WindowRecord&, const RECT&) override {}
    void stop() override {}
};

HeadlessWindows headlessWindows;
// Read by any thread that asks for the screen's size; changed on the window thread.
std::atomic<WindowBackEnd*> activeBackEnd{&headlessWindows};

WindowBackEnd& backEnd() {
    return *activeBackEnd.load();
}

struct ClassRecord {
    WNDCLASSA wc{};
    std::string name;
};

struct WindowSystem {
    std::mutex mutex;
    std::condition_variable posted;
    std::map<std::string, ClassRecord> classes;
    std::map<HWND, std::unique_ptr<WindowRecord>> windows;
    std::deque<MSG> queue;
    std::deque<MSG> sent;
    std::uintptr_t nextHandle = 0x10010;
    ATOM nextAtom = 0xC000;
    HWND focus = nullptr;
    HCURSOR cursor = nullptr;
    bool cursorHidden = false;
    int headlessWidth = 640;
    int headlessHeight = 480;
    std::string error;
};

WindowSystem& windowSystem() {
    static WindowSystem instance;
    return instance;
}

MSG makeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    return msg;
}

WNDPROC procedureOf(HWND window) {
    WindowSystem& ws = windowSystem();
    std::lock_guard lock(ws.mutex);
    auto found = ws.windows.find(window);
    return found == ws.windows.end() ? nullptr : found->second->procedure;
}

bool matches(const MSG& msg, HWND window, UINT low, UINT high) {
    if (window != nullptr && msg.hwnd != window) return false;
    if (low == 0 && high == 0) return true;
    return msg.message >= low && msg.message <= high;
}

// Hands every waiting sent message to its window procedure, without the lock held.
void deliverSent() {
    WindowSystem& ws = windowSystem();
    for (;;) {
        MSG msg;
        {
            std::lock_guard lock(ws.mutex);
            if (ws.sent.empty()) return;
            msg = ws.sent.front();
            ws.sent.pop_front();
        }
        SendMessageA(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    }
}

// The character a key gives when translated, or 0.
char characterOf(WPARAM key) {
    if (key >= 'A' && key <= 'Z') return char(key - 'A' + 'a');
    if (key >= '0' && key <= '9') return char(key);
    if (key >= VK_NUMPAD0 && key <= VK_NUMPAD0 + 9) return char('0' + (key - VK_NUMPAD0));
    switch (key) {
    case VK_SPACE:
        return ' ';
    case VK_RETURN:
        return '\r';
    case VK_ESCAPE:
        return 0x1B;
    case VK_BACK:
        return 0x08;
    case VK_TAB:
        return '\t';
    case VK_ADD:
        return '+';
    case VK_SUBTRACT:
        return '-';
    case VK_MULTIPLY:
        return '*';
    case VK_DIVIDE:
        return '/';
    case VK_DECIMAL:
        return '.';
    default:
        return 0;
    }
}

} // namespace

namespace qzplat::detail {

void deliverFromWindowSystem(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowSystem& ws = windowSystem();
    {
        std::lock_guard lock(ws.mutex);
        MSG msg = makeMessage(window, message, wParam, lParam);
        bool sentNow = message == WM_ACTIVATEAPP || message == WM_SETCURSOR ||
                       message == WM_CLOSE || message == WM_DESTROY;
        (sentNow ? ws.sent : ws.queue).push_back(msg);
    }
    ws.posted.notify_all();
}

void useWindowBackEnd(WindowBackEnd& chosen) {
    activeBackEnd.store(&chosen);
}

void setWindowError(const std::string& error) {
    std::lock_guard lock(windowSystem().mutex);
    windowSystem().error = error;
}

void fitWindow(HWND window, const RECT& picture) {
    WindowSystem& ws = windowSystem();
    std::lock_guard lock(ws.mutex);
    auto found = ws.windows.find(window);
    if (found != ws.windows.end()) backEnd().fitWindow(*found->second, picture);
}

void coverScreen(HWND window) {
    WindowSystem& ws = windowSystem();
    std::lock_guard lock(ws.mutex);
    auto found = ws.windows.find(window);
    if (found != ws.windows.end()) backEnd().coverScreen(*found->second);
}

HWND mainWindow() {
    WindowSystem& ws = windowSystem();
    std::lock_guard lock(ws.mutex);
    return ws.windows.empty() ? nullptr : ws.windows.begin()->first;
}

} // namespace qzplat::detail

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    if (windowClass == nullptr || windowClass->lpszClassName == nullptr ||
        windowClass->lpfnWndProc == nullptr)
        return 0;
    WindowSystem& ws = windowSystem();
    std::lock_guard lock(ws.mutex);
    std::string name = windowClass->lpszClassName;
    if (ws.classes.count(name) != 0) return 0; // already registered
    ClassRecord& record = ws.classes[name];
    record.name = name;
    record.wc = *windowClass;
    record.wc.lpszClassName = record.name.c_str();
    record.wc.lpszMenuName = nullptr;
    return ws.nextAtom++;
}

HWND CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                     int width, int height, HWND, HMENU, HINSTANCE, LPVOID) {
    WindowSystem& ws = windowSystem();
    HWND handle;
    {
        std::lock_guard lock(ws.mutex);
        auto found = className ? ws.classes.find(className) : ws.classes.end();
        if (found == ws.classes.end()) {
            ws.error = "window class not registered";
            return nullptr;
        }
        auto record = std::make_unique<WindowRecord>();
        record->procedure = found->second.wc.lpfnWndProc;
        record->classCursor = found->second.wc.hCursor;
        record->style = style;
        record->title = windowName ? windowName : "";
        record->x = x;
        record->y = y;
        record->width = std::max(width, 1);
        record->height = std::max(height, 1);
        handle = reinterpret_cast<HWND>(ws.nextHandle);
        ws.nextHandle += 0x10;
        if (!backEnd().createWindow(handle, *record, ws.error)) return nullptr;
        ws.windows[handle] = std::move(record);
    }
    if (SendMessageA(handle, WM_CREATE, 0, 0) == -1) {
        std::lock_guard lock(ws.mutex);
        ws.error = "window procedure refused WM_CREATE";
        backEnd().destroyWindow(*ws.windows[handle]);
        ws.windows.erase(handle);
        return nullptr;
    }
    return handle;
}

BOOL DestroyWindow(HWND window) {
    if (procedureOf(window) == nullptr) return FALSE;
    SendMessageA(window, WM_DESTROY, 0, 0);
    WindowSystem& ws = windowSystem();
    std::lock_guard lock(ws.mutex);
    auto found = ws.windows.find(window);
    if (found == ws.windows.end()) return TRUE;
    backEnd().destroyWindow(*found->second);
    ws.windows.erase(found);
    if (ws.focus == window) ws.focus = nullptr;
    std::erase_if(ws.queue, [&](const MSG& m) { return m.hwnd == window; });
    return TRUE;
}

BOOL UpdateWindow(HWND window) {
    WNDPROC procedure = procedureOf(window);
    if (procedure == nullptr) return FALSE;
    bool paint;
    {
        std::lock_guard lock(windowSystem().mutex);
        paint = windowSystem().windows[window]->needsPaint;
    }
    if (paint) procedure(window, WM_PAINT, 0, 0);
    return TRUE;
}

HWND SetFocus(HWND window) {
    WindowSystem& ws = windowSystem();
    std::lock_guard lock(ws.mutex);
    HWND previous = ws.focus;
    auto found = ws.windows.find(window);
    if (window != nullptr && found == ws.windows.end()) return nullptr;
    ws.focus = window;
    if (found != ws.windows.end()) backEnd().focus(*found->second);
    return previous;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
    WindowSystem& ws = windowSystem();
    std::lock_guard lock(ws.mutex);
    auto found = ws.windows.find(window);
    if (found == ws.windows.end()) return FALSE;
    found->second->title = text != nullptr ? text : "";
    backEnd().showTitle(*found->second);
    return TRUE;
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount) {
    WindowSystem& ws = windowSystem();
    std::lock_guard lock(ws.mutex);
    auto found = ws.windows.find(window);
    if (text == nullptr || maxCount <= 0) return 0;
    text[0] = '\0';
    if (found == ws.windows.end()) return 0;
    const std::string& title = found->second->title;
    const std::size_t count = std::min(title.size(), std::size_t(maxCount - 1));
    title.copy(text, count);
    text[count] = '\0';
    return int(count);
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM, LPARAM) {
    WindowSystem& ws = windowSystem();
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_PAINT: {
        std::lock_guard lock(ws.mutex);
        auto found = ws.windows.find(window);
        if (found != ws.windows.end()) found->second->needsPaint = false;
        return 0;
    }
    case WM_ERASEBKGND: {
        std::lock_guard lock(ws.mutex);
        auto found = ws.windows.find(window);
        if (found != ws.windows.end()) found->second->needsErase = false;
        return 1;
    }
    case WM_SETCURSOR: {
        HCURSOR cursor = nullptr;
        {
            std::lock_guard lock(ws.mutex);
            auto found = ws.windows.find(window);
            if (found != ws.windows.end()) cursor = found->second->classCursor;
        }
        if (cursor != nullptr) SetCursor(cursor);
        return 0;
    }
    default:
        return 0;
    }
}

void PostQuitMessage(int exitCode) {
    WindowSystem& ws = windowSystem();
    {
        std::lock_guard lock(ws.mutex);
        ws.queue.push_back(makeMessage(nullptr, WM_QUIT, WPARAM(exitCode), 0));
    }
    ws.posted.notify_all();
}

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    WindowSystem& ws = windowSystem();
    bool erase;
    RECT area{};
    {
        std::lock_guard lock(ws.mutex);
        auto found = ws.windows.find(window);
        if (found == ws.windows.end() || paint == nullptr) return nullptr;
        erase = found->second->needsErase;
        found->second->needsPaint = false;
        area = RECT{0, 0, found->second->width, found->second->height};
    }
    *paint = PAINTSTRUCT{};
    // The background is erased first; a procedure that handles WM_ERASEBKGND keeps it.
    paint->fErase = erase && SendMessageA(window, WM_ERASEBKGND, WPARAM(paintContext), 0) == 0;
    {
        std::lock_guard lock(ws.mutex);
        auto found = ws.windows.find(window);
        if (found != ws.windows.end()) found->second->needsErase = false;
    }
    paint->hdc = paintContext;
    paint->rcPaint = area;
    return paintContext;
}

BOOL EndPaint(HWND, const PAINTSTRUCT*) {
    return TRUE;
}

HCURSOR SetCursor(HCURSOR cursor) {
    WindowSystem& ws = windowSystem();
    std::lock_guard lock(ws.mutex);
    HCURSOR previous = ws.cursor;
    ws.cursor = cursor;
    ws.cursorHidden = cursor == nullptr;
    backEnd().showCursor(cursor != nullptr);
    return previous;
}

BOOL PeekMessageA(LPMSG msg, HWND window, UINT low, UINT high, UINT removeFlags) {
    if (msg == nullptr) return FALSE;
    backEnd().service();
    deliverSent();
    WindowSystem& ws = windowSystem();
    std::lock_guard lock(ws.mutex);
    auto found = std::find_if(ws.queue.begin(), ws.queue.end(),
                              [&](const MSG& m) { return matches(m, window, low, high); });
    if (found != ws.queue.end()) {
        *msg = *found;
        if (removeFlags & PM_REMOVE) ws.queue.erase(found);
        return TRUE;
    }
    // A window that needs painting gets WM_PAINT once nothing else waits; it stays until the
    // window is painted.
    for (const auto& [handle, record] : ws.windows) {
        MSG paint = makeMessage(handle, WM_PAINT, 0, 0);
        if (record->needsPaint && matches(paint, window, low, high)) {
            *msg = paint;
            return TRUE;
        }
    }
    return FALSE;
}

BOOL GetMessageA(LPMSG msg, HWND window, UINT low, UINT high) {
    if (msg == nullptr) return -1;
    while (!PeekMessageA(msg, window, low, high, PM_REMOVE)) {
        if (backEnd().waitBetweenLooks()) continue;
        WindowSystem& ws = windowSystem();
        std::unique_lock lock(ws.mutex);
        ws.posted.wait_for(lock, std::chrono::milliseconds(50),
                           [&] { return !ws.queue.empty() || !ws.sent.empty(); });
    }
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG* msg) {
    if (msg == nullptr || (msg->message != WM_KEYDOWN && msg->message != WM_SYSKEYDOWN))
        return FALSE;
    char character = characterOf(msg->wParam);
    if (character == 0) return FALSE;
    WindowSystem& ws = windowSystem();
    std::lock_guard lock(ws.mutex);
    // The character comes next, ahead of anything posted after its key.
    UINT kind = msg->message == WM_KEYDOWN ? WM_CHAR : WM_SYSCHAR;
    ws.queue.push_front(makeMessage(msg->hwnd, kind, WPARAM(BYTE(character)), msg->lParam));
    return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr) return 0;
    WNDPROC procedure = procedureOf(msg->hwnd);
    if (procedure == nullptr) return 0;
    return procedure(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window != nullptr && procedureOf(window) == nullptr) return FALSE;
    WindowSystem& ws = windowSystem();
    {
        std::lock_guard lock(ws.mutex);
        ws.queue.push_back(makeMessage(window, message, wParam, lParam));
    }
    ws.posted.notify_all();
    return TRUE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC procedure = procedureOf(window);
    return procedure == nullptr ? 0 : procedure(window, message, wParam, lParam);
}

int GetSystemMetrics(int index) {
    int width = 0, height = 0;
    if (!backEnd().screenSize(width, height)) {
        std::lock_guard lock(windowSystem().mutex);
        width = windowSystem().headlessWidth;
        height = windowSystem().headlessHeight;
    }
    if (index == SM_CXSCREEN) return width;
    if (index == SM_CYSCREEN) return height;
    return 0;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    // Only the system's own icons exist here.
    return instance == nullptr && name == IDI_APPLICATION ? applicationIcon : nullptr;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    return instance == nullptr && name == IDC_ARROW ? arrowCursor : nullptr;
}

HGDIOBJ GetStockObject(int object) {
    if (object < 0 || object > stockObjectCount) return nullptr;
    return object == BLACK_BRUSH ? blackBrush
                                 : reinterpret_cast<HGDIOBJ>(std::uintptr_t(0x7E00 + object));
}

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    return moduleName == nullptr ? moduleHandle : nullptr;
}

namespace qzplat {

std::string lastWindowError() {
    std::lock_guard lock(windowSystem().mutex);
    return windowSystem().error;
}

void resetWindows() {
    WindowSystem& ws = windowSystem();
    {
        std::lock_guard lock(ws.mutex);
        for (auto& [handle, record] : ws.windows) backEnd().destroyWindow(*record);
        ws.windows.clear();
        ws.classes.clear();
        ws.queue.clear();
        ws.sent.clear();
        ws.focus = nullptr;
        ws.cursor = nullptr;
        ws.cursorHidden = false;
        ws.headlessWidth = 640;
        ws.headlessHeight = 480;
        ws.error.clear();
    }
    backEnd().stop();
    activeBackEnd.store(&headlessWindows);
}

void setHeadlessScreen(int width, int height) {
    std::lock_guard lock(windowSystem().mutex);
    windowSystem().headlessWidth = width;
    windowSystem().headlessHeight = height;
}

void injectMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    detail::deliverFromWindowSystem(window, message, wParam, lParam);
}

bool cursorHidden() {
    std::lock_guard lock(windowSystem().mutex);
    return windowSystem().cursorHidden;
}

HWND focusWindow() {
    std::lock_guard lock(windowSystem().mutex);
    return windowSystem().focus;
}

int queuedMessageCount() {
    std::lock_guard lock(windowSystem().mutex);
    return int(windowSystem().queue.size());
}

} // namespace qzplat
