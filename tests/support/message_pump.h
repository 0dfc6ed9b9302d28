// tests/support/message_pump.h: handling this thread's messages while a test
// waits. The saver's windows, and dialogs owned by one of ours, send this
// thread messages and wait for the answers, so every wait here keeps handling
// them, and every wait has a deadline.
#pragma once
#include <windows.h>

#include <functional>

// Handles what is queued for this thread now.
void PumpPendingMessages();

// Handles this thread's messages for ms milliseconds.
void PumpFor(DWORD ms);

// Handles messages until done() holds; false when timeoutMs ran out first.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// A visible dialog (class "#32770") of the process that `accept` takes, found
// while handling messages; null after timeoutMs.
HWND WaitForDialogWhere(DWORD processId, const std::function<bool(HWND)>& accept, DWORD timeoutMs);

// The same for the dialog with exactly this caption.
HWND WaitForDialog(DWORD processId, const char* caption, DWORD timeoutMs);
