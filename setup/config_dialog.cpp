#include "setup/config_dialog.h"

#include "common/entry_lookup.h"
#include "common/handles.h"
#include "common/text.h"
#include "game/language.h"
#include "game/settings_file.h"
#include "res/resource.h"
#include "setup/layout_catalogue.h"
#include "system/dpi_awareness.h"

namespace {
struct ButtonFace {
    HBITMAP bitmap;
    int width;   // pixels, as GetObjectA reports them
    int height;
};

// The dialog's drawing objects: made at set-up, released on every way out.
// Only this file writes them; the process shows one dialog at most.
ButtonFace g_normalFace;
ButtonFace g_pressedFace;
ButtonFace g_disabledFace;
HBRUSH g_backgroundBrush;
HBITMAP g_titlePicture;  // the title picture scaled for the DPI, or null while the control shows its own
HFONT g_scaledFont;      // the dialog's font made again for another DPI, or null

// Where the controls stood at set-up, to lay the dialog out again for another
// DPI from there rather than from the last layout, whose rounding would add up.
struct SetupLayout {
    int dpi;             // the DPI the dialog manager laid the dialog out for
    HFONT font;          // the font it made for that DPI (the dialog's, not ours)
    RECT controls[7];    // each control's rectangle in the dialog's client area
};
SetupLayout g_setupLayout;

// The controls in the order of the template; -1 is the title picture.
constexpr int kTitlePictureId = -1;
const int kControlIds[] = {IDOK, IDCANCEL, IDC_RANDOM, IDC_MUTE, IDC_LAYOUT_LABEL, IDC_LAYOUT_LIST, kTitlePictureId};
static_assert(sizeof kControlIds / sizeof kControlIds[0] == sizeof g_setupLayout.controls / sizeof(RECT),
              "one rectangle per control");

// SetDialogDpiChangeBehavior (Windows 10 1703 on): DDC_DISABLE_ALL leaves a
// DPI change wholly to the dialog itself.
using SetDialogDpiChangeFn = BOOL(WINAPI*)(HWND, int, int);
constexpr int kDialogDpiChangeDisableAll = 1;
constexpr int kTemplateFontPoints = 12;  // the template's font, Arial 12

constexpr COLORREF kDisabledTextColour = RGB(92, 92, 92);
constexpr int kDialogTextSize = 128;
constexpr int kButtonTextSize = 512;
const char kSection[] = "ScreenSaver";

void LoadFace(ButtonFace& face, int bitmapId)
{
    face.bitmap = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(bitmapId));
    BITMAP info = {};
    if (face.bitmap && GetObjectA(face.bitmap, sizeof info, &info)) {
        face.width = info.bmWidth;
        face.height = info.bmHeight;
    } else {
        face.width = 0;
        face.height = 0;
    }
}

void ReleaseFace(ButtonFace& face)
{
    if (face.bitmap)
        DeleteObject(face.bitmap);
    face = ButtonFace{};
}

void ReleaseDrawingObjects()
{
    if (g_backgroundBrush) {
        DeleteObject(g_backgroundBrush);
        g_backgroundBrush = nullptr;
    }
    if (g_titlePicture) {
        DeleteObject(g_titlePicture);
        g_titlePicture = nullptr;
    }
    if (g_scaledFont) {
        DeleteObject(g_scaledFont);
        g_scaledFont = nullptr;
    }
    ReleaseFace(g_normalFace);
    ReleaseFace(g_pressedFace);
    ReleaseFace(g_disabledFace);
}

const ButtonFace& FaceFor(int faceId)
{
    switch (faceId) {
    case IDB_BUTTON_PRESSED: return g_pressedFace;
    case IDB_BUTTON_DISABLED: return g_disabledFace;
    default: return g_normalFace;
    }
}

// Bitmap 111 drawn for `dpi`: scaled smoothly from the 96 DPI it was made
// for. Null when it cannot be made.
HBITMAP MakeTitlePicture(HWND dialog, int dpi)
{
    GdiObject original(LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_TITLE)));
    BITMAP info = {};
    if (!original.Get() || !GetObjectA(original.Get(), sizeof info, &info))
        return nullptr;
    const int width = ScaleForDpi(info.bmWidth, dpi, kDesignDpi);
    const int height = ScaleForDpi(info.bmHeight, dpi, kDesignDpi);
    WindowDC screen(dialog);
    if (!screen.Get() || width <= 0 || height <= 0)
        return nullptr;
    MemoryDC source(screen.Get());
    MemoryDC target(screen.Get());
    HBITMAP scaled = source.Get() && target.Get() ? CreateCompatibleBitmap(screen.Get(), width, height) : nullptr;
    if (!scaled)
        return nullptr;
    SelectedObject from(source.Get(), original.Get());
    SelectedObject to(target.Get(), scaled);
    // HALFTONE averages the pixels (Windows 95/98 take the nearest instead)
    // and asks for the brush origin to be set again after it.
    SetStretchBltMode(target.Get(), HALFTONE);
    SetBrushOrgEx(target.Get(), 0, 0, nullptr);
    StretchBlt(target.Get(), 0, 0, width, height, source.Get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    return scaled;  // `to` selects it out of the memory DC first
}

// The control sizes its window to its picture, so its frame would cover the
// picture's right and bottom edges: its client area is made the picture's
// size instead, the top left corner staying where it is.
void FitPictureFrame(HWND dialog)
{
    HWND control = GetDlgItem(dialog, kTitlePictureId);
    const HGDIOBJ picture = reinterpret_cast<HGDIOBJ>(SendMessageA(control, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP info = {};
    RECT window;
    RECT client;
    if (!picture || !GetObjectA(picture, sizeof info, &info) || !GetWindowRect(control, &window) ||
        !GetClientRect(control, &client))
        return;
    const int frameWidth = (window.right - window.left) - client.right;
    const int frameHeight = (window.bottom - window.top) - client.bottom;
    SetWindowPos(control, nullptr, 0, 0, info.bmWidth + frameWidth, info.bmHeight + frameHeight,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Gives the title picture control the picture for `dpi`, and the size to show
// it whole. Where the picture cannot be made, the control keeps the one it
// shows.
void ShowTitlePicture(HWND dialog, int dpi)
{
    HBITMAP picture = MakeTitlePicture(dialog, dpi);
    if (!picture)
        return;
    const LRESULT previous = SendDlgItemMessageA(dialog, kTitlePictureId, STM_SETIMAGE, IMAGE_BITMAP,
                                                 reinterpret_cast<LPARAM>(picture));
    // The control hands back what it showed: ours from before, or the one it
    // loaded from the template itself, which nothing else uses.
    if (previous)
        DeleteObject(reinterpret_cast<HGDIOBJ>(previous));
    g_titlePicture = picture;
    FitPictureFrame(dialog);
}

RECT ScaleRectForDpi(const RECT& rect, int toDpi, int fromDpi)
{
    return {ScaleForDpi(rect.left, toDpi, fromDpi), ScaleForDpi(rect.top, toDpi, fromDpi),
            ScaleForDpi(rect.right, toDpi, fromDpi), ScaleForDpi(rect.bottom, toDpi, fromDpi)};
}

// Notes the DPI and where each control stands, once set-up has placed them.
void RecordSetupLayout(HWND dialog, int dpi)
{
    g_setupLayout.dpi = dpi;
    g_setupLayout.font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    for (size_t i = 0; i < sizeof kControlIds / sizeof kControlIds[0]; ++i) {
        HWND control = GetDlgItem(dialog, kControlIds[i]);
        RECT& rect = g_setupLayout.controls[i];
        GetWindowRect(control, &rect);
        if (kControlIds[i] == IDC_LAYOUT_LIST) {
            // The combo box's window is its edit field; the height it was
            // given includes the list that drops down.
            RECT dropped = {};
            if (SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped)))
                rect.bottom = rect.top + (dropped.bottom - dropped.top);
        }
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    }
}

// Lays the dialog out again for a new DPI: the set-up's font made for it,
// the title picture drawn for it, every control where the set-up placed it,
// scaled, and the dialog moved to the rectangle the system suggests.
void FollowDpiChange(HWND dialog, int dpi, const RECT& suggested)
{
    HFONT font = g_setupLayout.font;
    HFONT made = nullptr;
    LOGFONTA face = {};
    if (dpi != g_setupLayout.dpi && font && GetObjectA(font, sizeof face, &face)) {
        face.lfHeight = ScaleForDpi(face.lfHeight, dpi, g_setupLayout.dpi);
        face.lfWidth = ScaleForDpi(face.lfWidth, dpi, g_setupLayout.dpi);
        made = CreateFontIndirectA(&face);
        if (made)
            font = made;
    }
    ShowTitlePicture(dialog, dpi);
    for (size_t i = 0; i < sizeof kControlIds / sizeof kControlIds[0]; ++i) {
        HWND control = GetDlgItem(dialog, kControlIds[i]);
        const RECT rect = ScaleRectForDpi(g_setupLayout.controls[i], dpi, g_setupLayout.dpi);
        if (font)
            SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        // The picture's size is the picture's own.
        const UINT keepSize = kControlIds[i] == kTitlePictureId ? SWP_NOSIZE : 0;
        SetWindowPos(control, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                     SWP_NOZORDER | SWP_NOACTIVATE | keepSize);
    }
    // No control uses the font from before any more.
    if (g_scaledFont)
        DeleteObject(g_scaledFont);
    g_scaledFont = made;
    SetWindowPos(dialog, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(dialog, nullptr, TRUE);
}

// Drawn for the DPI the dialog has: the title picture where it is not the
// resources' own, and the layout noted for a later change of DPI, which this
// dialog follows itself (the system would lay out again only where it has
// per-monitor v2, and not the picture).
void FitToDpi(HWND dialog)
{
    // The DPI the dialog manager laid the template out for, read from the
    // font it made: the screen's on Windows 95 to 8.1 (XP's large fonts are
    // 120 DPI) and on 10 before 1703, even on a display of another scale;
    // with per monitor v2, that of the dialog's display.
    LOGFONTA face = {};
    const HFONT font = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    int dpi = font && GetObjectA(font, sizeof face, &face) ? DpiOfFontHeight(face.lfHeight, kTemplateFontPoints) : 0;
    if (dpi <= 0)
        dpi = ScreenDpi(dialog);
    if (dpi != kDesignDpi)
        ShowTitlePicture(dialog, dpi);
    else
        FitPictureFrame(dialog);
    RecordSetupLayout(dialog, dpi);
    auto setDpiChange = LookUpEntry<SetDialogDpiChangeFn>(GetModuleHandleA("USER32.DLL"),
                                                          "SetDialogDpiChangeBehavior");
    if (setDpiChange)
        setDpiChange(dialog, kDialogDpiChangeDisableAll, kDialogDpiChangeDisableAll);
}

void SetLocalizedText(HWND window, int baseId)
{
    char text[kDialogTextSize] = "";
    LoadLocalizedString(baseId, text, sizeof text);
    SetWindowTextA(window, text);
}

// Adds a layout's name without its ".sav" (cut in place), tagged with its
// folder. The combo box sorts it in; the answer is its index, or below 0
// when it could not be added.
LRESULT AddLayout(HWND list, char* name, LayoutFolder folder)
{
    const size_t length = TextLength(name);
    if (length >= 4)
        name[length - 4] = '\0';
    const LRESULT index = SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    if (index == CB_ERR || index == CB_ERRSPACE)
        return index;
    SendMessageA(list, CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(folder));
    return index;
}

// Adds one folder's layouts in list order, freeing each node once used.
void AddLayouts(HWND list, LayoutEntry* entry, LayoutFolder folder)
{
    while (entry) {
        AddLayout(list, entry->name, folder);
        LayoutEntry* next = entry->next;
        delete entry;
        entry = next;
    }
}

LayoutEntry* Reversed(LayoutEntry* head)
{
    LayoutEntry* reversed = nullptr;
    while (head) {
        LayoutEntry* next = head->next;
        head->next = reversed;
        reversed = head;
        head = next;
    }
    return reversed;
}

void FreeLayouts(LayoutEntry* entry)
{
    while (entry) {
        LayoutEntry* next = entry->next;
        delete entry;
        entry = next;
    }
}

// Whether two names might compare equal in the sorted list. Looser than the
// list's own test (accents, symbols and widths are ignored besides case), so
// it can only err towards "yes". The names are converted as the list and the
// directory search convert them, with the system's code page: CompareStringA
// would take the user's, and where the two differ, bytes from 0x80 up stand
// for other characters. Windows 95/98 have CompareStringW only as a stub that
// fails with ERROR_CALL_NOT_IMPLEMENTED; there CompareStringA compares, with
// the same flags, and loses nothing, as those systems have one ANSI code page
// for system and user alike. Whatever cannot be compared counts as a yes: a
// name too long to convert, and any other failure.
bool MayCompareEqual(const char* first, const char* second)
{
    const DWORD kLooseEquality = NORM_IGNORECASE | NORM_IGNORENONSPACE | NORM_IGNORESYMBOLS |
                                 NORM_IGNOREKANATYPE | NORM_IGNOREWIDTH;
    WCHAR wideFirst[kPathBufferSize];
    WCHAR wideSecond[kPathBufferSize];
    if (!MultiByteToWideChar(CP_ACP, 0, first, -1, wideFirst, kPathBufferSize) ||
        !MultiByteToWideChar(CP_ACP, 0, second, -1, wideSecond, kPathBufferSize))
        return true;
    int order = CompareStringW(LOCALE_USER_DEFAULT, kLooseEquality, wideFirst, -1, wideSecond, -1);
    if (order == 0 && GetLastError() == ERROR_CALL_NOT_IMPLEMENTED)
        order = CompareStringA(LOCALE_USER_DEFAULT, kLooseEquality, first, -1, second, -1);
    return order != CSTR_LESS_THAN && order != CSTR_GREATER_THAN;
}

// Reads the list's item at `index`; false when it does not fit.
bool ReadItem(HWND list, LRESULT index, char (&text)[kPathBufferSize])
{
    const LRESULT length = SendMessageA(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0 || length >= static_cast<LRESULT>(sizeof text))
        return false;
    SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    return true;
}

// What the quick fill remembers of the list: a folder's names mostly land one
// after the other, each in front of the same item, so both neighbours of a new
// name are usually known without reading them back.
struct FillTrail {
    LRESULT count;              // items in the list
    LRESULT lastIndex;          // where the previous name landed; -1: none yet
    char last[kPathBufferSize]; // that name
    bool hasNext;               // whether an item follows it
    char next[kPathBufferSize]; // that item
};

// Whether `name`, just added at `index`, might equal either neighbour. The
// list is sorted, so any item equal to it would be one of them. An item too
// long to read counts as a yes.
bool MayEqualNeighbour(HWND list, LRESULT index, const char* name, FillTrail& trail)
{
    bool mayEqual = false;
    if (trail.lastIndex >= 0 && index == trail.lastIndex + 1) {
        // Right after the previous name, in front of the item that followed it.
        mayEqual = MayCompareEqual(trail.last, name) || (trail.hasNext && MayCompareEqual(trail.next, name));
    } else {
        char before[kPathBufferSize];
        if (index > 0)
            mayEqual = !ReadItem(list, index - 1, before) || MayCompareEqual(before, name);
        trail.hasNext = index + 1 < trail.count;
        if (trail.hasNext && !mayEqual)
            mayEqual = !ReadItem(list, index + 1, trail.next) || MayCompareEqual(trail.next, name);
    }
    trail.lastIndex = index;
    CopyText(trail.last, name);
    return mayEqual;
}

// Adds names like AddLayouts, but stops at the first one that may equal an
// item already listed: then it frees the rest and returns false.
bool AddUnlessEqual(HWND list, LayoutEntry* entry, LayoutFolder folder, FillTrail& trail)
{
    while (entry) {
        const LRESULT index = AddLayout(list, entry->name, folder);
        if (index >= 0) {
            ++trail.count;
            if (MayEqualNeighbour(list, index, entry->name, trail)) {
                FreeLayouts(entry);
                return false;
            }
        }
        LayoutEntry* next = entry->next;
        delete entry;
        entry = next;
    }
    return true;
}

// Fills the list with both folders' layouts: ScrSaver's, then SaveGame's, each
// in the catalogue's order. That order is the reverse of the system's, which
// lists names sorted, so every name would go in at the top of the sorted list
// and the list would move all the others down for each: slow for thousands.
// While no two names compare equal, the sorted list ends up the same whatever
// order they arrive in, so they are first added in the system's order. At the
// first equal pair, whose order depends on the order of arrival, the list is
// filled again in the catalogue's order.
void FillLayoutList(HWND list)
{
    // With redrawing on, the list box would also repaint its visible page and
    // its scroll bar for every name. It is redrawn once, before the
    // preselection, which must show in the edit field.
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    FillTrail trail = {};
    trail.lastIndex = -1;
    if (!AddUnlessEqual(list, Reversed(FindLayouts(LayoutFolder::ScrSaver)), LayoutFolder::ScrSaver, trail) ||
        !AddUnlessEqual(list, Reversed(FindLayouts(LayoutFolder::SaveGame)), LayoutFolder::SaveGame, trail)) {
        SendMessageA(list, CB_RESETCONTENT, 0, 0);
        AddLayouts(list, FindLayouts(LayoutFolder::ScrSaver), LayoutFolder::ScrSaver);
        AddLayouts(list, FindLayouts(LayoutFolder::SaveGame), LayoutFolder::SaveGame);
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
}

void SetCheck(HWND dialog, int controlId, int value)
{
    SendDlgItemMessageA(dialog, controlId, BM_SETCHECK, value != 0 ? BST_CHECKED : BST_UNCHECKED, 0);
}

INT_PTR OnInitDialog(HWND dialog)
{
    if (!LoadGameSettings()) {
        // No game installed: the dialog ends before it is ever shown.
        ReleaseGameSettings();
        EndDialog(dialog, 1);
        return 0;
    }
    SettingsFile* settings = CurrentSettings();

    LoadFace(g_normalFace, IDB_BUTTON_NORMAL);
    LoadFace(g_pressedFace, IDB_BUTTON_PRESSED);
    LoadFace(g_disabledFace, IDB_BUTTON_DISABLED);
    g_backgroundBrush = CreateSolidBrush(kSetupBackgroundColour);

    SelectLanguage();
    SetLocalizedText(dialog, IDS_SETUP_CAPTION);
    SetLocalizedText(GetDlgItem(dialog, IDC_RANDOM), IDS_RANDOM);
    SetLocalizedText(GetDlgItem(dialog, IDC_LAYOUT_LABEL), IDS_LAYOUT_LABEL);
    SetLocalizedText(GetDlgItem(dialog, IDOK), IDS_OK);
    SetLocalizedText(GetDlgItem(dialog, IDCANCEL), IDS_CANCEL);
    SetLocalizedText(GetDlgItem(dialog, IDC_MUTE), IDS_MUTE);
    FitToDpi(dialog);

    HWND list = GetDlgItem(dialog, IDC_LAYOUT_LIST);
    FillLayoutList(list);

    // The buffer starts all zero, so a short stored value reads as empty past
    // its end. wParam 0, not -1: the search starts at the second item and
    // wraps round to the first, matching a prefix in any case.
    char stored[kStoredLayoutSize] = {};
    settings->GetString(kSection, "Layout", kDefaultStoredLayout, stored, sizeof stored);
    if (const char* searchText = StoredLayoutSearchText(stored))
        SendMessageA(list, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(searchText));

    SetCheck(dialog, IDC_RANDOM, settings->GetInt(kSection, "Random", 1));
    SetCheck(dialog, IDC_MUTE, settings->GetInt(kSection, "Sound", 0));
    return 0;  // no initial focus from the dialog manager
}

// The stored form of the selected item; 0 when nothing is selected or its
// name is too long to be stored whole (kubo.ini then keeps its old value).
int SelectedStoredLayout(HWND list, char (&stored)[kStoredLayoutSize])
{
    const LRESULT index = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return 0;
    const LRESULT length = SendMessageA(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0 || length >= kDialogTextSize)
        return 0;  // would overrun the text buffer
    char name[kDialogTextSize] = "";
    SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(name));
    const LRESULT tag = SendMessageA(list, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
    // Any tag but ScrSaver's (CB_ERR too) stores the SaveGame folder.
    const LayoutFolder folder = tag == static_cast<LRESULT>(LayoutFolder::ScrSaver) ? LayoutFolder::ScrSaver
                                                                                   : LayoutFolder::SaveGame;
    return ComposeStoredLayout(folder, name, stored, sizeof stored);
}

void ReportWriteFailure(HWND dialog, DWORD error)
{
    // A profile write that fails without a code still lost the user's choice.
    if (error == ERROR_SUCCESS)
        error = ERROR_WRITE_FAULT;
    char text[512];
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                        sizeof text, nullptr))
        wsprintfA(text, "Error %lu", error);  // at most 16 characters
    MessageBoxA(dialog, text, "KUBO TRAX", MB_OK | MB_ICONERROR);
}

void EndSetupDialog(HWND dialog, INT_PTR endCode)
{
    // The control lets go of our picture before it is deleted.
    if (g_titlePicture)
        SendDlgItemMessageA(dialog, kTitlePictureId, STM_SETIMAGE, IMAGE_BITMAP, 0);
    ReleaseDrawingObjects();
    ReleaseGameSettings();
    EndDialog(dialog, endCode);
}

INT_PTR OnOk(HWND dialog)
{
    SettingsFile* settings = CurrentSettings();
    const LRESULT muted = SendDlgItemMessageA(dialog, IDC_MUTE, BM_GETCHECK, 0, 0);
    if (settings) {
        // Stop at the first write that fails and keep the dialog open, so the
        // user learns the choices were not saved and can retry or cancel.
        char stored[kStoredLayoutSize];
        BOOL written = TRUE;
        if (SelectedStoredLayout(GetDlgItem(dialog, IDC_LAYOUT_LIST), stored))
            written = settings->PutString(kSection, "Layout", stored);
        if (written) {
            const LRESULT random = SendDlgItemMessageA(dialog, IDC_RANDOM, BM_GETCHECK, 0, 0);
            written = settings->PutInt(kSection, "Random", random == BST_CHECKED ? 1 : 0);
        }
        if (written)
            written = settings->PutInt(kSection, "Sound", muted == BST_CHECKED ? 1 : 0);
        if (!written) {
            ReportWriteFailure(dialog, GetLastError());
            return TRUE;
        }
    }
    // The end code is the mute box's state, not IDOK.
    EndSetupDialog(dialog, muted);
    return TRUE;
}

INT_PTR DrawButton(const DRAWITEMSTRUCT& item)
{
    if (item.CtlType != ODT_BUTTON)
        return FALSE;
    char text[kButtonTextSize] = "";
    const int length = GetWindowTextA(item.hwndItem, text, sizeof text);
    const ButtonLook look = ChooseButtonLook(item.itemState);
    const ButtonFace& face = FaceFor(look.faceId);

    // The 150 x 75 face is stretched to whatever size the button has;
    // HALFTONE keeps its bevel smooth when it shrinks.
    if (face.bitmap) {
        MemoryDC memory(item.hDC);
        if (memory.Get()) {
            SelectedObject selected(memory.Get(), face.bitmap);
            const int oldStretchMode = SetStretchBltMode(item.hDC, HALFTONE);
            StretchBlt(item.hDC, item.rcItem.left, item.rcItem.top, item.rcItem.right - item.rcItem.left,
                       item.rcItem.bottom - item.rcItem.top, memory.Get(), 0, 0, face.width, face.height,
                       SRCCOPY);
            SetStretchBltMode(item.hDC, oldStretchMode);
        }
    }

    const COLORREF oldColour = SetTextColor(item.hDC, look.textColour);
    const int oldBackgroundMode = SetBkMode(item.hDC, TRANSPARENT);
    RECT textRect = item.rcItem;
    textRect.top += look.textOffset;
    DrawTextA(item.hDC, text, length, &textRect, DT_SINGLELINE | DT_VCENTER | DT_CENTER);
    SetTextColor(item.hDC, oldColour);
    SetBkMode(item.hDC, oldBackgroundMode);
    return TRUE;
}
}  // namespace

ButtonLook ChooseButtonLook(UINT itemState)
{
    // Disabled wins over pressed; focus and every other bit change nothing.
    if (itemState & ODS_DISABLED)
        return {IDB_BUTTON_DISABLED, kDisabledTextColour, 0};
    if (itemState & ODS_SELECTED)
        return {IDB_BUTTON_PRESSED, RGB(0, 0, 0), 1};
    return {IDB_BUTTON_NORMAL, RGB(0, 0, 0), 0};
}

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_COMMAND:
        // The notification code is not looked at: only the control's id.
        switch (LOWORD(wParam)) {
        case IDOK:
            return OnOk(dialog);
        case IDCANCEL:
            EndSetupDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    case WM_DRAWITEM:
        return DrawButton(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    case kDpiChangedMessage:
        // Moved to a display of another scale: the new DPI, and the window
        // rectangle the system suggests for it.
        if (!lParam || LOWORD(wParam) == 0 || g_setupLayout.dpi == 0)
            return FALSE;  // nothing set up to lay out again
        FollowDpiChange(dialog, LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: {
        // The dialog, its label and its check boxes; the combo box keeps the
        // system's colours.
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(g_backgroundBrush);
    }
    }
    return FALSE;
}

int RunConfigDialog(HWND owner)
{
    // The template is a resource of the running program itself (in the tests
    // too, which link the same resources).
    return static_cast<int>(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETUP),
                                            owner, SetupDialogProc, 0));
}

void ResetConfigDialogForTest()
{
    ReleaseDrawingObjects();
    g_setupLayout = SetupLayout{};
}
