// The process's exit codes. Without a switch they are the start-up's own: -1 after every
// box, 0 after a normal close or once the driver installer runs, 1 without a graphic
// resource. With a switch each ending has a code of its own and only success is 0; the
// README's table lists them.
#pragma once

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = -1; // without a switch, after every box
inline constexpr int kExitNoGraphics = 1;

inline constexpr int kExitCommandLine = 2;
inline constexpr int kExitOtherVersion = 3; // /check: an update would write the module
inline constexpr int kExitNoDialog = 4;
inline constexpr int kExitStationNotStarted = 5;
inline constexpr int kExitLibraryMissing = 10;
inline constexpr int kExitLibraryNotLoading = 11;
inline constexpr int kExitNoModule = 12;
inline constexpr int kExitDriverMissing = 13;
inline constexpr int kExitDriverNotInstalled = 14;
inline constexpr int kExitVersionUnreadable = 15;
inline constexpr int kExitWrongModule = 16;
inline constexpr int kExitNoAccess = 17;
inline constexpr int kExitUpdateFailed = 20;
