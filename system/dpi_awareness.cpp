#include "system/dpi_awareness.h"

#include "common/entry_lookup.h"
#include "common/handles.h"
#include "system/decision_trace.h"

namespace {
// DPI_AWARENESS_CONTEXT is a handle whose well-known values are small
// negative numbers; the headers the build targets do not know them.
using DpiContext = HANDLE;
const DpiContext kPerMonitorAwareV2 = reinterpret_cast<DpiContext>(static_cast<INT_PTR>(-4));
const DpiContext kPerMonitorAware = reinterpret_cast<DpiContext>(static_cast<INT_PTR>(-3));
constexpr int kProcessPerMonitorDpiAware = 2;  // PROCESS_PER_MONITOR_DPI_AWARE

using SetProcessContextFn = BOOL(WINAPI*)(DpiContext);
using SetProcessAwarenessFn = HRESULT(WINAPI*)(int);
using SetProcessAwareFn = BOOL(WINAPI*)();
using GetWindowContextFn = DpiContext(WINAPI*)(HWND);
using SetThreadContextFn = DpiContext(WINAPI*)(DpiContext);
using GetAwarenessFn = int(WINAPI*)(DpiContext);
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetProcessAwarenessFn = HRESULT(WINAPI*)(HANDLE, int*);
using IsProcessAwareFn = BOOL(WINAPI*)();

// Windows 8.1's per-monitor calls; loaded from the system folder by its full
// path (SystemLibrary), once for each asking of the awareness.
constexpr char kShcoreLibrary[] = "shcore.dll";

HMODULE User32() { return GetModuleHandleA("USER32.DLL"); }

const char* CallName(AwarenessCall call)
{
    switch (call) {
    case AwarenessCall::PerMonitorV2: return "per monitor v2 (SetProcessDpiAwarenessContext)";
    case AwarenessCall::PerMonitor: return "per monitor (SetProcessDpiAwareness)";
    case AwarenessCall::System: return "system (SetProcessDPIAware)";
    case AwarenessCall::None: break;
    }
    return "none";
}

// Makes one call; 0 when it took, else the error it gave. `shcore`: the
// library loaded from kShcoreLibrary, null where the system has none.
DWORD MakeAwarenessCall(AwarenessCall call, HMODULE shcore)
{
    switch (call) {
    case AwarenessCall::PerMonitorV2: {
        auto setContext = LookUpEntry<SetProcessContextFn>(User32(), "SetProcessDpiAwarenessContext");
        if (!setContext)
            return ERROR_PROC_NOT_FOUND;
        return setContext(kPerMonitorAwareV2) ? 0 : GetLastError();
    }
    case AwarenessCall::PerMonitor: {
        if (!shcore)
            return ERROR_MOD_NOT_FOUND;
        auto setAwareness = LookUpEntry<SetProcessAwarenessFn>(shcore, "SetProcessDpiAwareness");
        const HRESULT result = setAwareness ? setAwareness(kProcessPerMonitorDpiAware)
                                            : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
        if (SUCCEEDED(result))
            return 0;
        return HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : static_cast<DWORD>(result);
    }
    case AwarenessCall::System: {
        auto setAware = LookUpEntry<SetProcessAwareFn>(User32(), "SetProcessDPIAware");
        if (!setAware)
            return ERROR_PROC_NOT_FOUND;
        return setAware() ? 0 : ERROR_ACCESS_DENIED;  // it sets no error code
    }
    case AwarenessCall::None:
        break;
    }
    return ERROR_PROC_NOT_FOUND;
}

void Drop(AwarenessCalls& has, AwarenessCall call)
{
    switch (call) {
    case AwarenessCall::PerMonitorV2: has.perMonitorV2 = false; break;
    case AwarenessCall::PerMonitor: has.perMonitor = false; break;
    case AwarenessCall::System: has.system = false; break;
    case AwarenessCall::None: break;
    }
}

// The process's awareness as the system reports it: 0 unaware, 1 system,
// 2 per monitor; -1 where it cannot say (no scaling before Vista).
int ProcessAwareness(HMODULE shcore)
{
    auto awarenessOf = LookUpEntry<GetProcessAwarenessFn>(shcore, "GetProcessDpiAwareness");
    int awareness = 0;
    if (awarenessOf && SUCCEEDED(awarenessOf(nullptr, &awareness)))
        return awareness;
    auto isAware = LookUpEntry<IsProcessAwareFn>(User32(), "IsProcessDPIAware");
    return isAware ? (isAware() ? 1 : 0) : -1;
}

AwarenessCalls AvailableAwarenessCalls()
{
    AwarenessCalls has = {};
    has.perMonitorV2 = LookUpEntry<SetProcessContextFn>(User32(), "SetProcessDpiAwarenessContext") != nullptr;
    has.system = LookUpEntry<SetProcessAwareFn>(User32(), "SetProcessDPIAware") != nullptr;
    // shcore.dll came with Windows 8.1; loading it is left to the call itself.
    has.perMonitor = true;
    return has;
}
}  // namespace

AwarenessCall BestAwarenessCall(AwarenessCalls has)
{
    if (has.perMonitorV2)
        return AwarenessCall::PerMonitorV2;
    if (has.perMonitor)
        return AwarenessCall::PerMonitor;
    if (has.system)
        return AwarenessCall::System;
    return AwarenessCall::None;
}

int ScaleForDpi(int value, int toDpi, int fromDpi)
{
    if (toDpi <= 0 || fromDpi <= 0)
        return value;
    return MulDiv(value, toDpi, fromDpi);  // rounds half away from zero
}

int DpiOfFontHeight(int fontHeight, int points)
{
    // Dialogs make their font -MulDiv(points, DPI, 72) high.
    const int pixels = fontHeight < 0 ? -fontHeight : fontHeight;
    return points > 0 ? MulDiv(pixels, 72, points) : 0;
}

void DeclareDpiAwareness()
{
    AwarenessCalls has = AvailableAwarenessCalls();
    // Not per monitor (v1): such a dialog is laid out for the system's DPI
    // and hears of its own display's only once moved, so on a display of
    // another scale it would open at the wrong size, its caption and check
    // boxes unscaled. System-aware, it is sharp on the main display and the
    // system stretches it whole on the others.
    has.perMonitor = false;
    for (;;) {
        const AwarenessCall call = BestAwarenessCall(has);
        if (call == AwarenessCall::None) {
            TraceDecision({"DPI awareness: none (the system has no call for it)"});
            return;
        }
        const DWORD error = MakeAwarenessCall(call, nullptr);  // never per monitor here
        if (error == 0) {
            TraceDecision({"DPI awareness: ", CallName(call)});
            return;
        }
        // A missing call (before Windows 8.1 no shcore.dll, say) is no failure.
        if (error != ERROR_PROC_NOT_FOUND && error != ERROR_MOD_NOT_FOUND)
            TraceFailure(CallName(call), error);
        if (error == ERROR_ACCESS_DENIED) {
            TraceDecision({"DPI awareness: as already set for the process"});
            return;
        }
        Drop(has, call);  // the system has it but refused this value: try the next
    }
}

const char* TakePhysicalPixels(HANDLE* previous, bool* physical)
{
    bool ignored = false;
    if (!physical)
        physical = &ignored;
    *physical = true;
    auto setThreadContext = LookUpEntry<SetThreadContextFn>(User32(), "SetThreadDpiAwarenessContext");
    DpiContext before = setThreadContext ? setThreadContext(kPerMonitorAwareV2) : nullptr;
    if (setThreadContext && !before)
        before = setThreadContext(kPerMonitorAware);
    if (previous)
        *previous = before;
    if (before)
        return "physical pixels (per-monitor aware thread)";
    // The awareness belongs to the process; the library may go again after.
    SystemLibrary shcore(kShcoreLibrary);
    AwarenessCalls has = AvailableAwarenessCalls();
    for (AwarenessCall call; (call = BestAwarenessCall(has)) != AwarenessCall::None; Drop(has, call)) {
        const DWORD error = MakeAwarenessCall(call, shcore.Get());
        // Refused as already set: set, but not necessarily as asked.
        if (error == 0 || error == ERROR_ACCESS_DENIED)
            break;
    }
    // What the system says the process has now, whatever the calls answered.
    switch (ProcessAwareness(shcore.Get())) {
    case 2:
        return "physical pixels (per-monitor aware process)";
    case 1:
        return "physical pixels (system aware process)";
    case 0:
        *physical = false;
        return "the system's pixels (unaware process: set so before the saver asked)";
    }
    return "the system's pixels (no scaling)";
}

void RestoreThreadDpiAwareness(HANDLE previous)
{
    auto setThreadContext = LookUpEntry<SetThreadContextFn>(User32(), "SetThreadDpiAwarenessContext");
    if (previous && setThreadContext)
        setThreadContext(previous);
}

void TakeDpiAwarenessOf(HWND host)
{
    auto windowContext = LookUpEntry<GetWindowContextFn>(User32(), "GetWindowDpiAwarenessContext");
    auto setThreadContext = LookUpEntry<SetThreadContextFn>(User32(), "SetThreadDpiAwarenessContext");
    auto awarenessOf = LookUpEntry<GetAwarenessFn>(User32(), "GetAwarenessFromDpiAwarenessContext");
    if (!windowContext || !setThreadContext) {
        TraceDecision({"preview DPI awareness: the process's own (no awareness per window here)"});
        return;
    }
    const DpiContext context = windowContext(host);
    if (!context || !setThreadContext(context)) {
        TraceFailure("taking the host window's DPI awareness", GetLastError());
        return;
    }
    // 0 unaware, 1 system, 2 per monitor, as the system numbers them.
    const int awareness = awarenessOf ? awarenessOf(context) : -1;
    TraceDecision({"preview DPI awareness: the host window's (", DecimalText::Signed(awareness).Text(), ")"});
}

int WindowDpi(HWND window)
{
    auto dpiForWindow = LookUpEntry<GetDpiForWindowFn>(User32(), "GetDpiForWindow");
    return dpiForWindow ? static_cast<int>(dpiForWindow(window)) : 0;
}

int ScreenDpi(HWND window)
{
    WindowDC dc(window);
    const int dpi = dc.Get() ? GetDeviceCaps(dc.Get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : kDesignDpi;
}
