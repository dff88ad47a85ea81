#include "app/session_guard.h"

#include "app/shell_state.h"

namespace {

// Short: the system shows it among other reasons for a few seconds at most.
constexpr const wchar_t* kShutdownBlockReason = L"The module's firmware is being written.";

} // namespace

void RaiseSessionGuard(HWND dialog) {
    shell_state.session_guarded = true;
    ShutdownBlockReasonCreate(dialog, kShutdownBlockReason);
}

void LowerSessionGuard(HWND dialog) {
    ShutdownBlockReasonDestroy(dialog);
    shell_state.session_guarded = false;
}

INT_PTR AnswerQueryEndSession(HWND dialog) {
    SetWindowLongPtrA(dialog, DWLP_MSGRESULT, shell_state.session_guarded ? FALSE : TRUE);
    return TRUE;
}

void KeepSystemAwake(bool awake) {
    SetThreadExecutionState(awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
}
