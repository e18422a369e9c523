// player STEP...
// Plays the player's part while the launcher runs in the same Wine prefix: finds the launcher's windows
// and reads and clicks them through Win32 alone, as the desktop would show them. Steps, in order:
//   box         waits for a message box; reports its caption, text, icon, buttons and owner; presses OK
//   pick PATH   waits for the file-open dialog; reports its title and file types; types PATH, presses Open
//   cancel      waits for the file-open dialog; reports it; presses Cancel
//   shot FILE   saves the next step's window as the screen shows it (activated first) to FILE, a PNG
// Every window read is one JSON line (ASCII, other characters escaped) on standard output. Exit code 0
// when every step was done, 1 when a window did not appear or close in time, 2 for a bad script.
#include <windows.h>
#include <objidl.h>  // before GDI+, which needs it and which WIN32_LEAN_AND_MEAN leaves out
#include <gdiplus.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/JsonText.h"

namespace {

// How long a window may take to appear or close: half a minute, times the tests' time scale
// (QUORVANE_TIME_SCALE, where Wine runs under emulation).
DWORD waitLimit() {
    const char* const scale = std::getenv("QUORVANE_TIME_SCALE");
    return 30000 * static_cast<DWORD>(std::max(1, scale ? std::atoi(scale) : 1));
}
const DWORD kWaitMilliseconds = waitLimit();
constexpr int kMessageTextId = 0xffff;  // the text of a message box, under Windows and Wine alike
constexpr int kFileTypeId = 0x470;      // cmb1: the file-type combo box of the open dialog
constexpr int kFileNameEditId = 0x480;  // edt1: the file-name field of Wine's dialog
constexpr int kFileNameComboId = 0x47c; // cmb13: the file-name field of Windows' dialog

void report(const std::string& line) {
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

[[noreturn]] void giveUp(const std::wstring& why) {
    report("{\"error\": " + jsonString(why) + "}");
    std::exit(1);
}

std::wstring textOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring classOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK collect(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::vector<HWND> children(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool isMessageBox(HWND window) {
    return GetDlgItem(window, kMessageTextId) != nullptr && GetDlgItem(window, kFileTypeId) == nullptr;
}

bool isFileDialog(HWND window) {
    return GetDlgItem(window, kFileTypeId) != nullptr && GetDlgItem(window, IDOK) != nullptr;
}

void waitUntilShown(HWND window);

// The first visible dialog window of another process that `wanted` accepts, once one appears.
HWND waitForWindow(bool (*wanted)(HWND), const wchar_t* what) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < kWaitMilliseconds; Sleep(50)) {
        std::vector<HWND> windows;
        EnumWindows(collect, reinterpret_cast<LPARAM>(&windows));
        for (const HWND window : windows) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process != GetCurrentProcessId() && IsWindowVisible(window) && classOf(window) == L"#32770" &&
                wanted(window)) {
                waitUntilShown(window);
                return window;
            }
        }
    }
    giveUp(std::wstring(L"no ") + what + L" appeared");
}

void waitUntilClosed(HWND window) {
    for (const DWORD start = GetTickCount(); GetTickCount() - start < kWaitMilliseconds; Sleep(50)) {
        if (!IsWindow(window) || !IsWindowVisible(window)) {
            return;
        }
    }
    giveUp(L"the window \"" + textOf(window) + L"\" did not close");
}

// A 32-bit top-down DIB the size of a screen area, with a memory DC to draw into it.
class Canvas {
public:
    explicit Canvas(const RECT& area) : area_(area), width_(area.right - area.left), height_(area.bottom - area.top) {
        info_.biSize = sizeof(info_);
        info_.biWidth = width_;
        info_.biHeight = -height_;
        info_.biPlanes = 1;
        info_.biBitCount = 32;
        info_.biCompression = BI_RGB;
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateDIBSection(dc_, reinterpret_cast<const BITMAPINFO*>(&info_), DIB_RGB_COLORS,
                                   reinterpret_cast<void**>(&bits_), nullptr, 0);
        if (dc_ == nullptr || bitmap_ == nullptr) {
            giveUp(L"no bitmap for a picture");
        }
        old_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    // Copies what the screen shows of the area.
    void grabScreen() {
        const HDC screen = GetDC(nullptr);
        BitBlt(dc_, 0, 0, width_, height_, screen, area_.left, area_.top, SRCCOPY | CAPTUREBLT);
        ReleaseDC(nullptr, screen);
        GdiFlush();
    }

    // Fills the canvas with `color` (0xRRGGBB, as pixel() gives it), then draws `icon` at its own size.
    void drawIcon(DWORD color, HICON icon) {
        const HBRUSH brush = CreateSolidBrush(RGB(color >> 16, (color >> 8) & 0xff, color & 0xff));
        const RECT all{0, 0, width_, height_};
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
        if (icon != nullptr) {
            DrawIconEx(dc_, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL);
        }
        GdiFlush();
    }

    DWORD pixel(int index) const { return bits_[index] & 0xffffff; }
    std::vector<DWORD> pixels() const { return std::vector<DWORD>(bits_, bits_ + size()); }
    int size() const { return width_ * height_; }

    // Writes the pixels as a PNG file (RGB), through GDI+.
    void save(const std::wstring& path) const {
        static const CLSID png{0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
        const Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        Gdiplus::Status status = Gdiplus::GdiplusStartup(&token, &input, nullptr);
        if (status == Gdiplus::Ok) {
            Gdiplus::Bitmap picture(width_, height_, width_ * 4, PixelFormat32bppRGB, reinterpret_cast<BYTE*>(bits_));
            status = picture.Save(path.c_str(), &png, nullptr);
        }
        Gdiplus::GdiplusShutdown(token);
        if (status != Gdiplus::Ok) {
            giveUp(L"could not write " + path);
        }
    }

private:
    BITMAPINFOHEADER info_{};
    RECT area_;
    int width_;
    int height_;
    HDC dc_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr;
    DWORD* bits_ = nullptr;
};

// Whether `window` or one of its controls has yet to paint something.
bool paintPending(HWND window) {
    bool pending = GetUpdateRect(window, nullptr, FALSE);
    for (const HWND child : children(window)) {
        pending = pending || GetUpdateRect(child, nullptr, FALSE);
    }
    return pending;
}

// Waits, up to two seconds, until `window` has nothing left to paint and two looks at the screen, 50 ms
// apart, show the same of it: what its process drew has reached the display.
void waitUntilShown(HWND window) {
    RECT area{};
    GetWindowRect(window, &area);
    Canvas shown(area);
    std::vector<DWORD> last;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < 2000; Sleep(50)) {
        shown.grabScreen();
        std::vector<DWORD> now = shown.pixels();
        if (!paintPending(window) && now == last) {
            return;
        }
        last = std::move(now);
    }
}

// Which of the system's icons the box shows. The icon handle belongs to the launcher's process, where
// another process cannot read it under Wine; the screen can be read. Each candidate is drawn over the
// control's own background and compared with what the screen shows; the nearest wins, if it is near.
std::string iconOf(HWND box) {
    HWND control = nullptr;
    for (const HWND child : children(box)) {
        if (classOf(child) == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON &&
            IsWindowVisible(child)) {
            control = child;
        }
    }
    if (control == nullptr) {
        return "none";
    }
    RECT area{};
    GetWindowRect(control, &area);
    Canvas shown(area);
    shown.grabScreen();
    const struct {
        const char* name;
        const wchar_t* icon;
    } candidates[] = {{"none", nullptr},
                      {"information", IDI_INFORMATION},
                      {"warning", IDI_WARNING},
                      {"error", IDI_ERROR},
                      {"question", IDI_QUESTION}};
    std::string best = "unknown";
    int fewest = shown.size() / 10;  // more differing pixels than this is no match
    for (const auto& candidate : candidates) {
        Canvas drawn(area);
        drawn.drawIcon(shown.pixel(0), candidate.icon ? LoadIconW(nullptr, candidate.icon) : nullptr);
        int differing = 0;
        for (int index = 0; index < shown.size(); ++index) {
            differing += shown.pixel(index) != drawn.pixel(index);
        }
        if (differing <= fewest) {
            fewest = differing;
            best = candidate.name;
        }
    }
    return best;
}

void saveShot(HWND window, std::wstring& shot) {
    if (shot.empty()) {
        return;
    }
    // Activated as a click would. Without a window manager, Wine may still draw the caption of the
    // foreground window inactive (it asks whether the window is the foreground one before that change
    // has arrived): the caption is then told, as activation tells it, to draw itself active.
    const auto await = [](HWND window, bool foreground) {
        for (const DWORD start = GetTickCount();
             (GetForegroundWindow() == window) != foreground && GetTickCount() - start < 2000; Sleep(50)) {
        }
    };
    SetForegroundWindow(GetDesktopWindow());
    await(window, false);
    SetForegroundWindow(window);
    await(window, true);
    SendMessageTimeoutW(window, WM_NCACTIVATE, TRUE, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    waitUntilShown(window);
    RECT area{};
    GetWindowRect(window, &area);
    Canvas picture(area);
    picture.grabScreen();
    picture.save(shot);
    shot.clear();
}

void press(HWND dialog, int button) {
    const HWND control = GetDlgItem(dialog, button);
    if (control == nullptr) {
        giveUp(L"no button " + std::to_wstring(button) + L" in " + textOf(dialog));
    }
    // Posted: the click may open a box of the dialog's own, which waits for a click in turn.
    PostMessageW(control, BM_CLICK, 0, 0);
}

void answerBox(std::wstring& shot) {
    const HWND box = waitForWindow(isMessageBox, L"message box");
    std::string buttons;
    for (const HWND child : children(box)) {
        if (classOf(child) == L"Button" && IsWindowVisible(child)) {
            buttons += (buttons.empty() ? "" : ", ") + std::to_string(GetDlgCtrlID(child));
        }
    }
    const HWND owner = GetWindow(box, GW_OWNER);
    report("{\"window\": \"box\", \"caption\": " + jsonString(textOf(box)) + ", \"text\": " +
           jsonString(textOf(GetDlgItem(box, kMessageTextId))) + ", \"icon\": \"" + iconOf(box) + "\", \"buttons\": [" +
           buttons + "], \"owner\": " + (owner ? jsonString(textOf(owner)) : "null") + "}");
    saveShot(box, shot);
    press(box, IDOK);
    waitUntilClosed(box);
}

HWND readDialog(std::wstring& shot) {
    const HWND dialog = waitForWindow(isFileDialog, L"file dialog");
    const HWND types = GetDlgItem(dialog, kFileTypeId);
    std::string filters;
    const LRESULT count = SendMessageW(types, CB_GETCOUNT, 0, 0);
    for (LRESULT index = 0; index < count; ++index) {
        std::wstring item(static_cast<std::size_t>(SendMessageW(types, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
        item.resize(static_cast<std::size_t>(
            SendMessageW(types, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(item.data()))));
        filters += (filters.empty() ? "" : ", ") + jsonString(item);
    }
    report("{\"window\": \"dialog\", \"caption\": " + jsonString(textOf(dialog)) + ", \"filters\": [" + filters +
           "], \"selected\": " + std::to_string(SendMessageW(types, CB_GETCURSEL, 0, 0)) + "}");
    saveShot(dialog, shot);
    return dialog;
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** const vector = CommandLineToArgvW(GetCommandLineW(), &count);
    const std::vector<std::wstring> steps(vector + 1, vector + count);
    LocalFree(vector);

    std::wstring shot;
    for (std::size_t index = 0; index < steps.size(); ++index) {
        const std::wstring& step = steps[index];
        const bool hasArgument = index + 1 < steps.size();
        if (step == L"box") {
            answerBox(shot);
        } else if (step == L"cancel") {
            const HWND dialog = readDialog(shot);
            press(dialog, IDCANCEL);
            waitUntilClosed(dialog);
        } else if (step == L"pick" && hasArgument) {
            const HWND dialog = readDialog(shot);
            HWND field = GetDlgItem(dialog, kFileNameEditId);
            field = field ? field : GetDlgItem(dialog, kFileNameComboId);
            SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(steps[++index].c_str()));
            press(dialog, IDOK);
        } else if (step == L"shot" && hasArgument) {
            shot = steps[++index];
        } else {
            report("{\"error\": " + jsonString(L"bad step " + step) + "}");
            return 2;
        }
    }
    return 0;
}
