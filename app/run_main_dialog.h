// The last step of start-up: the dialog's graphic objects, then the modal dialog.
#pragma once

// Returns the exit code: the dialog's result (0 after every close, -1 when it cannot be
// created), or 1 when a graphic object cannot be created.
int RunMainDialog();
