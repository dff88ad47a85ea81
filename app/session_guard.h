// Keeps the session and the machine up while an update writes the module's flash: a
// shutdown, log-off or sleep in the middle would leave the module half written.
#pragma once
#include <windows.h>

// Sent by the worker to the dialog when the update procedure has returned, whatever its
// result. The guard is lifted on the dialog's thread, which owns the block reason.
inline constexpr UINT kUpdateEndedMessage = WM_APP + 1;

// Main thread, as an update starts and once it has ended: the end of the session is
// refused, with a reason the system shows the user, while the guard is up.
void RaiseSessionGuard(HWND dialog);
void LowerSessionGuard(HWND dialog);

// The dialog's answer to WM_QUERYENDSESSION; a dialog procedure answers through
// DWLP_MSGRESULT and returns TRUE.
INT_PTR AnswerQueryEndSession(HWND dialog);

// Worker thread: the system stays out of sleep while it runs the update. The state
// belongs to the calling thread.
void KeepSystemAwake(bool awake);
