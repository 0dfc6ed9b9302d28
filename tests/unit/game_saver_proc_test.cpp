#include <gtest/gtest.h>
#include <windows.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/startup.h"
#include "game/language.h"
#include "game/saver_proc.h"
#include "game/settings_file.h"
#include "res/resource.h"
#include "shell/password.h"
#include "shell/saver_window.h"
#include "tests/support/debug_capture.h"
#include "tests/support/fake_install.h"
#include "tests/support/import_hook.h"
#include "tests/support/pixels.h"

namespace {

TEST(CenterRect, HalvesEachSideSeparately)
{
    struct Case { LONG containerW, containerH, w, h, left, top; } cases[] = {
        {152, 112, 151, 111, 1, 1},     // not (0, 0), as halving the difference would give
        {100, 80, 151, 111, -25, -15},
        {151, 111, 151, 111, 0, 0},
        {1, 1, 3, 3, -1, -1},
        {0, 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        RECT moved = {7, 9, 7 + c.w, 9 + c.h};
        CenterRect(RECT{0, 0, c.containerW, c.containerH}, &moved);
        EXPECT_EQ(c.left, moved.left) << c.containerW << "x" << c.containerH << " " << c.w;
        EXPECT_EQ(c.top, moved.top) << c.containerW << "x" << c.containerH << " " << c.h;
        EXPECT_EQ(c.w, moved.right - moved.left);
        EXPECT_EQ(c.h, moved.bottom - moved.top);
    }
    // An offset container, and a negative-sized rectangle, whose halves round toward zero.
    RECT moved = {0, 0, 10, 10};
    CenterRect(RECT{-30, 20, -21, 31}, &moved);
    EXPECT_EQ(-30 + 4 - 5, moved.left);
    EXPECT_EQ(20 + 5 - 5, moved.top);
    RECT inverted = {0, 0, -3, -5};
    CenterRect(RECT{0, 0, 10, 10}, &inverted);
    EXPECT_EQ(5 - (-1), inverted.left);
    EXPECT_EQ(-3, inverted.right - inverted.left);
    EXPECT_EQ(5 - (-2), inverted.top);
}

void ExpectRect(const RECT& expected, const RECT& actual)
{
    EXPECT_EQ(expected.left, actual.left);
    EXPECT_EQ(expected.top, actual.top);
    EXPECT_EQ(expected.right, actual.right);
    EXPECT_EQ(expected.bottom, actual.bottom);
}

TEST(CenterRect, SpansOfTheWholeCoordinateRangeDoNotOverflow)
{
    // A container from one end of the range to the other: its size does not
    // fit a LONG, yet the centre is plain.
    RECT picture = {0, 0, 100, 60};
    CenterRect(RECT{LONG_MIN, LONG_MIN, LONG_MAX, LONG_MAX}, &picture);
    ExpectRect(RECT{-51, -31, 49, 29}, picture);
    // The same in the other role: the moved rectangle keeps its size as far
    // as the range allows, and its far end stops at the limit.
    RECT huge = {LONG_MIN, LONG_MIN, LONG_MAX, LONG_MAX};
    CenterRect(RECT{0, 0, 100, 60}, &huge);
    ExpectRect(RECT{50 - LONG_MAX, 30 - LONG_MAX, LONG_MAX, LONG_MAX}, huge);
    // Right at the edge of the range, a real-sized picture lands where it would anywhere.
    RECT edge = {0, 0, 151, 111};
    CenterRect(RECT{LONG_MAX - 152, LONG_MAX - 112, LONG_MAX, LONG_MAX}, &edge);
    ExpectRect(RECT{LONG_MAX - 151, LONG_MAX - 111, LONG_MAX, LONG_MAX}, edge);
}

TEST(BuildGameCommandLine, QuotesTheProgramPath)
{
    char line[kPathBufferSize];
    ASSERT_EQ(1, BuildGameCommandLine("C:\\Games\\Trax", "TRAX.exe", line, sizeof line));
    EXPECT_STREQ("\"C:\\Games\\Trax\\TRAX.exe\" -s", line);
    ASSERT_EQ(1, BuildGameCommandLine("C:\\Program Files\\Kubo Trax", "Kubo Game.exe", line, sizeof line));
    EXPECT_STREQ("\"C:\\Program Files\\Kubo Trax\\Kubo Game.exe\" -s", line);

    char small[16];
    EXPECT_EQ(0, BuildGameCommandLine("C:\\Games\\Trax", "TRAX.exe", small, sizeof small));
    EXPECT_EQ(sizeof small - 1, std::string(small).size());
}

TEST(ExeNameRefusal, ANameThatMayBeCutOrEndsTheQuoteIsRefused)
{
    const std::string filling(127, 'A');
    struct Case { std::string name; DWORD refusal; } cases[] = {
        {"TRAX.exe", 0},
        {"bin\\TRAX.exe", 0},
        {filling.substr(1), 0},                          // one short of the buffer's end
        {filling, ERROR_FILENAME_EXCED_RANGE},           // may have been cut
        {"TRAX.exe\" \"C:\\Other.exe", ERROR_INVALID_NAME},  // would end the quoted path
        {"\"", ERROR_INVALID_NAME},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.refusal, ExeNameRefusal(c.name.c_str(), static_cast<DWORD>(c.name.size()), 128)) << c.name;
}

TEST(IsFullScreenSaverWindow, TopLevelOnAnyMonitorArrangementChildNever)
{
    // The window's rectangle is the screen's clip box, which spans every
    // monitor; the desktop window keeps the primary monitor's rectangle.
    struct Case { const char* arrangement; bool child; RECT window; RECT desktop; bool fullScreen; } cases[] = {
        {"one monitor", false, {0, 0, 1920, 1080}, {0, 0, 1920, 1080}, true},
        {"two side by side", false, {0, 0, 3840, 1080}, {0, 0, 1920, 1080}, true},
        {"second left of the primary", false, {-1920, 0, 1920, 1080}, {0, 0, 1920, 1080}, true},
        {"second above the primary", false, {0, -1080, 1920, 1080}, {0, 0, 1920, 1080}, true},
        {"second below the primary", false, {0, 0, 1920, 2160}, {0, 0, 1920, 1080}, true},
        {"2560x1440 beside 1280x1024", false, {-1280, 0, 2560, 1440}, {0, 0, 2560, 1440}, true},
        {"150 % scaled, clip box virtualised", false, {0, 0, 1280, 720}, {0, 0, 1920, 1080}, true},
        {"150 % scaled, desktop virtualised", false, {0, 0, 1920, 1080}, {0, 0, 1280, 720}, true},
        {"preview child as large as the desktop", true, {0, 0, 1920, 1080}, {0, 0, 1920, 1080}, false},
        {"preview child spanning two monitors", true, {-1920, 0, 1920, 1080}, {-1920, 0, 1920, 1080}, false},
        {"preview child in the display settings", true, {400, 300, 552, 412}, {0, 0, 1920, 1080}, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.fullScreen, IsFullScreenSaverWindow(c.child, c.window, c.desktop)) << c.arrangement;
}

// Paints into a 32-bit DIB of the window's client size and returns the pixels.
class PaintedPicture : public testing::Test {
protected:
    void Paint(int width, int height)
    {
        window_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, window_);
        canvas_.reset(new DibCanvas(width, height));
        ASSERT_NE(nullptr, canvas_->Bits());
        for (int i = 0; i < width * height; ++i)
            canvas_->Bits()[i] = 0x00FF00FF;  // magenta: anything left unpainted shows
        PaintTitlePicture(canvas_->Dc(), window_);
        GdiFlush();
    }
    void TearDown() override
    {
        canvas_.reset();
        if (window_)
            DestroyWindow(window_);
    }
    DWORD Pixel(int x, int y) const { return canvas_->Pixel(x, y); }
    static DWORD PictureCorner() { return BitmapResourcePixel(GetModuleHandleA(nullptr), IDB_TITLE, 0, 0); }

    HWND window_ = nullptr;
    std::unique_ptr<DibCanvas> canvas_;
};

TEST_F(PaintedPicture, SitsAtOneOneOnBlackInThePreviewSize)
{
    Paint(152, 112);
    EXPECT_EQ(0u, Pixel(0, 0));
    EXPECT_EQ(0u, Pixel(151, 0));   // the picture covers 1..151 by 1..111,
    EXPECT_EQ(0u, Pixel(0, 111));   // leaving the top row and left column black
    EXPECT_EQ(PictureCorner(), Pixel(1, 1));
    EXPECT_NE(0x00FF00FFu, Pixel(76, 56));
}

// The saver procedure as a class's own procedure, on windows of this process.
class SaverProcWindow : public testing::Test {
protected:
    void SetUp() override
    {
        ResetGameSettingsForTest();
        ResetLanguageForTest();
        ResetPasswordStateForTest();
        ResetSaverWindowForTest();
        SetStartupStateForTest(GetModuleHandleA(nullptr), 0);
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = SaverWindowProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "KuboSaverProcTest";
        RegisterClassA(&windowClass);
    }
    void TearDown() override
    {
        if (window_ && IsWindow(window_))
            DestroyWindow(window_);
        if (host_)
            DestroyWindow(host_);
        ResetGameSettingsForTest();
        ResetLanguageForTest();
        ResetPasswordStateForTest();
        SetStartupStateForTest(GetModuleHandleA(nullptr), 0);
    }
    // A top-level window, as the full-screen mode makes it.
    HWND Create(const RECT& area)
    {
        window_ = CreateWindowExA(0, "KuboSaverProcTest", "", WS_POPUP, area.left, area.top,
                                  area.right - area.left, area.bottom - area.top, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        return window_;
    }
    // A child, as the preview makes it, of a borderless window of this test at
    // the screen's origin, so that its client and screen coordinates agree.
    HWND CreateChild(const RECT& area, bool visible = false)
    {
        if (!host_)
            host_ = CreateWindowExA(0, "STATIC", "", WS_POPUP | (visible ? WS_VISIBLE : 0), 0, 0, 400, 300,
                                    nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        window_ = CreateWindowExA(0, "KuboSaverProcTest", "", WS_CHILD | (visible ? WS_VISIBLE : 0), area.left,
                                  area.top, area.right - area.left, area.bottom - area.top, host_, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        return window_;
    }
    void Install(const std::string& ini)
    {
        folder_.WriteFile("kubo.ini", ini);
        key_.SetPath(folder_.Path());
    }
    static RECT Desktop()
    {
        RECT desktop;
        GetWindowRect(GetDesktopWindow(), &desktop);
        return desktop;
    }

    TempFolder folder_;
    InstallKey key_;
    HWND window_ = nullptr;
    HWND host_ = nullptr;
};

TEST_F(SaverProcWindow, TracesItsMessagesAndReleasesTheSettingsOnClose)
{
    Install("[DIRECTORIES]\r\nres=x\r\n[Locale]\r\nLanguage=German\r\n");
    DebugOutputCapture traces;
    HWND window = CreateChild(RECT{20, 20, 220, 170});
    ASSERT_NE(nullptr, window) << "a preview child is kept";
    EXPECT_NE(nullptr, CurrentSettings());
    EXPECT_EQ(LanguageId::German, CurrentLanguage()) << "the language is chosen at creation";
    // A creation that goes on answers what the default handling answers.
    CREATESTRUCTA create = {};
    EXPECT_EQ(0, SaverWindowProc(window, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)));
    EXPECT_EQ(1, SendMessageA(window, WM_ERASEBKGND, 0, 0));
    ValidateRect(window, nullptr);
    EXPECT_EQ(0, SendMessageA(window, WM_PAINT, 0, 0)) << "nothing to paint is no failure";
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(nullptr, CurrentSettings());
    EXPECT_FALSE(IsWindow(window));

    std::vector<std::string> ours;
    for (const std::string& text : traces.Strings())
        if (text.rfind("WM_", 0) == 0)
            ours.push_back(text);
    const std::vector<std::string> expected = {"WM_CREATE\n", "WM_CREATE\n", "WM_ERASEBKGND\n",
                                               "WM_PAINT\n", "WM_CLOSE\n"};
    EXPECT_EQ(expected, ours);
}

BOOL WINAPI RefusingVerifier(HWND) { return FALSE; }

TEST_F(SaverProcWindow, CloseReleasesTheMouseEvenWhenTheCloseIsRefused)
{
    // A refused password keeps the window, so only the close itself can
    // have let go of the mouse.
    SetStartupStateForTest(GetModuleHandleA(nullptr), 1);
    SetPasswordVerifierForTest(RefusingVerifier);
    HWND window = CreateChild(RECT{20, 20, 220, 170});
    ASSERT_NE(nullptr, window);
    SetCapture(window);
    ASSERT_EQ(window, GetCapture());
    EXPECT_EQ(0, SendMessageA(window, WM_CLOSE, 0, 0));
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(nullptr, GetCapture());
}

TEST_F(SaverProcWindow, EraseFillsTheScreenRectangleAsClientCoordinatesThroughItsOwnDC)
{
    HWND window = CreateChild(RECT{20, 30, 220, 180}, true);
    ASSERT_NE(nullptr, window);
    ValidateRect(window, nullptr);
    HDC dc = GetDC(window);
    RECT client;
    GetClientRect(window, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(window, dc);
    ASSERT_EQ(0xFFFFFFu, WindowPixel(window, 25, 35));

    // The device context that comes with the message stays untouched.
    HDC given = CreateCompatibleDC(nullptr);
    HBITMAP givenBits = CreateBitmap(4, 4, 1, 32, nullptr);
    HGDIOBJ old = SelectObject(given, givenBits);
    PatBlt(given, 0, 0, 4, 4, WHITENESS);
    EXPECT_EQ(1, SendMessageA(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(given), 0));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(given, 1, 1));
    SelectObject(given, old);
    DeleteObject(givenBits);
    DeleteDC(given);

    // (20, 30)-(220, 180) read as client coordinates: black from (20, 30) on,
    // white above and left of it.
    EXPECT_EQ(0xFFFFFFu, WindowPixel(window, 19, 100));
    EXPECT_EQ(0xFFFFFFu, WindowPixel(window, 100, 29));
    EXPECT_EQ(0u, WindowPixel(window, 20, 30));
    EXPECT_EQ(0u, WindowPixel(window, 199, 149));
}

HDC WINAPI NoPaintDC(HWND, PAINTSTRUCT* paint)
{
    *paint = PAINTSTRUCT{};
    return nullptr;
}
int g_endPaints;
BOOL WINAPI CountedEndPaint(HWND, const PAINTSTRUCT*)
{
    ++g_endPaints;
    return TRUE;
}

TEST_F(SaverProcWindow, PaintWithoutADeviceContextEndsThePaintAndAnswersOne)
{
    HWND window = CreateChild(RECT{20, 20, 172, 132}, true);
    ASSERT_NE(nullptr, window);
    ImportHook begin("user32.dll", "BeginPaint", reinterpret_cast<const void*>(&NoPaintDC));
    ImportHook end("user32.dll", "EndPaint", reinterpret_cast<const void*>(&CountedEndPaint));
    ASSERT_TRUE(begin.Installed() && end.Installed());
    g_endPaints = 0;
    InvalidateRect(window, nullptr, FALSE);
    EXPECT_EQ(1, SendMessageA(window, WM_PAINT, 0, 0));
    EXPECT_EQ(1, g_endPaints);
}

// What the saver asked the system for when it started the game.
struct GameStart {
    int calls = 0;
    bool applicationNameNull = false;
    std::string commandLine;
    BOOL inheritHandles = -1;
    DWORD creationFlags = 0;
    bool environmentNull = false, directoryNull = false;
    STARTUPINFOA startup = {};  // without its desktop, which is kept as text
    std::string desktop;
};
GameStart g_gameStart;

BOOL WINAPI RecordGameStart(LPCSTR application, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                            LPSECURITY_ATTRIBUTES, BOOL inherit, DWORD flags, LPVOID environment,
                            LPCSTR directory, LPSTARTUPINFOA startup, LPPROCESS_INFORMATION)
{
    GameStart& seen = g_gameStart;
    SetLastError(ERROR_SUCCESS);  // a failure without a code shows no box
    if (seen.calls++)
        return FALSE;  // the plain start after a failure inside the job: its first ask is what counts
    seen.applicationNameNull = application == nullptr;
    seen.commandLine = commandLine;
    seen.inheritHandles = inherit;
    seen.creationFlags = flags;
    seen.environmentNull = environment == nullptr;
    seen.directoryNull = directory == nullptr;
    seen.startup = *startup;
    seen.desktop = startup->lpDesktop ? startup->lpDesktop : "<none>";
    seen.startup.lpDesktop = nullptr;
    return FALSE;
}

TEST_F(SaverProcWindow, FullScreenStartsTheGameShownNormallyWithTheSystemsErrorMode)
{
    Install("[DIRECTORIES]\r\nres=x\r\n");
    ImportHook hook("kernel32.dll", "CreateProcessA", reinterpret_cast<const void*>(&RecordGameStart));
    ASSERT_TRUE(hook.Installed());
    // The game must not inherit the saver's error mode; on the NT family it
    // starts held, to be tied to the saver before it runs, and in the idle
    // class the system runs the saver in, whatever a child would inherit.
    struct Case { int windows9x; DWORD flags; } cases[] = {
        {1, CREATE_DEFAULT_ERROR_MODE},
        {0, CREATE_DEFAULT_ERROR_MODE | CREATE_SUSPENDED | IDLE_PRIORITY_CLASS},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.windows9x ? "Windows 95/98" : "NT family");
        SetStartupStateForTest(GetModuleHandleA(nullptr), c.windows9x);
        g_gameStart = GameStart();
        ASSERT_TRUE(SetPriorityClass(GetCurrentProcess(), IDLE_PRIORITY_CLASS));
        EXPECT_EQ(nullptr, Create(Desktop())) << "a full-screen window refuses to exist";
        SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);

        // On the NT family a start refused inside the job is tried once more, plainly.
        const GameStart& seen = g_gameStart;
        ASSERT_EQ(c.windows9x ? 1 : 2, seen.calls);
        EXPECT_TRUE(seen.applicationNameNull);
        EXPECT_EQ("\"" + folder_.Path() + "\\TRAX.exe\" -s", seen.commandLine);
        EXPECT_EQ(FALSE, seen.inheritHandles);
        // Whether the game asks to leave a job is the job question's alone:
        // the test program may itself run in one.
        BOOL inJob = FALSE;
        ASSERT_TRUE(IsProcessInJob(GetCurrentProcess(), nullptr, &inJob));
        // On the NT family the game is created inside the saver's job where
        // the system can (it can here), through the extended start-up block.
        const bool inItsJob = (seen.creationFlags & EXTENDED_STARTUPINFO_PRESENT) != 0;
        EXPECT_EQ(!c.windows9x, inItsJob);
        EXPECT_EQ(c.flags, seen.creationFlags & ~(CREATE_BREAKAWAY_FROM_JOB | EXTENDED_STARTUPINFO_PRESENT));
        EXPECT_EQ(!c.windows9x && inJob, (seen.creationFlags & CREATE_BREAKAWAY_FROM_JOB) != 0);
        EXPECT_TRUE(seen.environmentNull);
        EXPECT_TRUE(seen.directoryNull);
        // Shown normally, on the saver's own desktop.
        STARTUPINFOA expected = {};
        expected.cb = sizeof expected + (inItsJob ? sizeof(void*) : 0);
        expected.dwFlags = STARTF_USESHOWWINDOW;
        expected.wShowWindow = SW_SHOWNORMAL;
        EXPECT_EQ(0, memcmp(&expected, &seen.startup, sizeof expected))
            << "dwFlags " << seen.startup.dwFlags << ", wShowWindow " << seen.startup.wShowWindow;
        EXPECT_EQ("<none>", seen.desktop);
    }
}

TEST_F(SaverProcWindow, FullScreenWithoutInstallationStartsNothingAndRefuses)
{
    key_.Remove();
    ImportHook hook("kernel32.dll", "CreateProcessA", reinterpret_cast<const void*>(&RecordGameStart));
    ASSERT_TRUE(hook.Installed());
    g_gameStart = GameStart();
    const RECT desktop = Desktop();
    EXPECT_EQ(nullptr, Create(desktop));
    // Smaller than the desktop, as on a scaled display or a primary monitor
    // that is not the leftmost: still the full-screen window.
    EXPECT_EQ(nullptr, Create(RECT{0, 0, desktop.right / 2, desktop.bottom / 2}));
    EXPECT_EQ(0, g_gameStart.calls);
    // A preview child exactly as large as the desktop is kept.
    EXPECT_NE(nullptr, CreateChild(desktop));
}

}  // namespace
