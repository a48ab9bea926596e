// SDL keys to the platform's virtual-key codes. Letters, digits and punctuation follow the
// keyboard layout (SDL's keycode); the keypad, function and editing keys follow the key's place
// (SDL's scancode), as the platform's codes do.
#include <SDL.h>

#include "platform/standin/window_internal.h"

namespace {

struct ScanEntry {
    SDL_Scancode scancode;
    WPARAM key;
};

// Keys named by place.
constexpr ScanEntry scanTable[] = {
    {SDL_SCANCODE_ESCAPE, VK_ESCAPE},
    {SDL_SCANCODE_RETURN, VK_RETURN},
    {SDL_SCANCODE_KP_ENTER, VK_RETURN},
    {SDL_SCANCODE_BACKSPACE, VK_BACK},
    {SDL_SCANCODE_TAB, VK_TAB},
    {SDL_SCANCODE_SPACE, VK_SPACE},
    {SDL_SCANCODE_LSHIFT, VK_SHIFT},
    {SDL_SCANCODE_RSHIFT, VK_SHIFT},
    {SDL_SCANCODE_LCTRL, VK_CONTROL},
    {SDL_SCANCODE_RCTRL, VK_CONTROL},
    {SDL_SCANCODE_LALT, VK_MENU},
    {SDL_SCANCODE_RALT, VK_MENU},
    {SDL_SCANCODE_LGUI, VK_LWIN},
    {SDL_SCANCODE_RGUI, VK_RWIN},
    {SDL_SCANCODE_APPLICATION, VK_APPS},
    {SDL_SCANCODE_PAUSE, VK_PAUSE},
    {SDL_SCANCODE_CAPSLOCK, VK_CAPITAL},
    {SDL_SCANCODE_NUMLOCKCLEAR, VK_NUMLOCK},
    {SDL_SCANCODE_SCROLLLOCK, VK_SCROLL},
    {SDL_SCANCODE_PRINTSCREEN, VK_SNAPSHOT},
    {SDL_SCANCODE_INSERT, VK_INSERT},
    {SDL_SCANCODE_DELETE, VK_DELETE},
    {SDL_SCANCODE_HOME, VK_HOME},
    {SDL_SCANCODE_END, VK_END},
    {SDL_SCANCODE_PAGEUP, VK_PRIOR},
    {SDL_SCANCODE_PAGEDOWN, VK_NEXT},
    {SDL_SCANCODE_LEFT, VK_LEFT},
    {SDL_SCANCODE_RIGHT, VK_RIGHT},
    {SDL_SCANCODE_UP, VK_UP},
    {SDL_SCANCODE_DOWN, VK_DOWN},
    {SDL_SCANCODE_KP_PLUS, VK_ADD},
    {SDL_SCANCODE_KP_MINUS, VK_SUBTRACT},
    {SDL_SCANCODE_KP_MULTIPLY, VK_MULTIPLY},
    {SDL_SCANCODE_KP_DIVIDE, VK_DIVIDE},
    {SDL_SCANCODE_KP_COMMA, VK_SEPARATOR},
    {SDL_SCANCODE_NONUSBACKSLASH, VK_OEM_102},
};

// Keypad 1-9 and 0 without Num Lock: the editing keys printed on them.
constexpr WPARAM keypadEditing[10] = {VK_END,   VK_DOWN, VK_NEXT, VK_LEFT,  VK_CLEAR,
                                      VK_RIGHT, VK_HOME, VK_UP,   VK_PRIOR, VK_INSERT};

WPARAM punctuation(int keycode) {
    switch (keycode) {
    case SDLK_SEMICOLON:
        return VK_OEM_1;
    case SDLK_EQUALS:
        return VK_OEM_PLUS;
    case SDLK_PLUS:
        return VK_OEM_PLUS;
    case SDLK_COMMA:
        return VK_OEM_COMMA;
    case SDLK_MINUS:
        return VK_OEM_MINUS;
    case SDLK_PERIOD:
        return VK_OEM_PERIOD;
    case SDLK_SLASH:
        return VK_OEM_2;
    case SDLK_BACKQUOTE:
        return VK_OEM_3;
    case SDLK_LEFTBRACKET:
        return VK_OEM_4;
    case SDLK_BACKSLASH:
        return VK_OEM_5;
    case SDLK_RIGHTBRACKET:
        return VK_OEM_6;
    case SDLK_QUOTE:
        return VK_OEM_7;
    default:
        return 0;
    }
}

} // namespace

namespace qzplat::detail {

WPARAM virtualKeyFor(int keycode, int scancode, bool numLock) {
    for (const ScanEntry& entry : scanTable) {
        if (entry.scancode == scancode) return entry.key;
    }
    if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F12)
        return VK_F1 + WPARAM(scancode - SDL_SCANCODE_F1);
    if (scancode >= SDL_SCANCODE_F13 && scancode <= SDL_SCANCODE_F24)
        return VK_F1 + 12 + WPARAM(scancode - SDL_SCANCODE_F13);
    if (scancode >= SDL_SCANCODE_KP_1 && scancode <= SDL_SCANCODE_KP_0) {
        int index = scancode - SDL_SCANCODE_KP_1; // 1..9 then 0
        int digit = index == 9 ? 0 : index + 1;
        return numLock ? VK_NUMPAD0 + WPARAM(digit) : keypadEditing[index];
    }
    if (scancode == SDL_SCANCODE_KP_PERIOD) return numLock ? VK_DECIMAL : VK_DELETE;
    if (keycode >= 'a' && keycode <= 'z') return WPARAM(keycode - 'a' + 'A');
    if (keycode >= '0' && keycode <= '9') return WPARAM(keycode);
    return punctuation(keycode);
}

bool extendedKey(int scancode) {
    switch (scancode) {
    case SDL_SCANCODE_RCTRL:
    case SDL_SCANCODE_RALT:
    case SDL_SCANCODE_KP_ENTER:
    case SDL_SCANCODE_KP_DIVIDE:
    case SDL_SCANCODE_INSERT:
    case SDL_SCANCODE_DELETE:
    case SDL_SCANCODE_HOME:
    case SDL_SCANCODE_END:
    case SDL_SCANCODE_PAGEUP:
    case SDL_SCANCODE_PAGEDOWN:
    case SDL_SCANCODE_LEFT:
    case SDL_SCANCODE_RIGHT:
    case SDL_SCANCODE_UP:
    case SDL_SCANCODE_DOWN:
    case SDL_SCANCODE_NUMLOCKCLEAR:
    case SDL_SCANCODE_LGUI:
    case SDL_SCANCODE_RGUI:
    case SDL_SCANCODE_APPLICATION:
        return true;
    default:
        return false;
    }
}

} // namespace qzplat::detail
