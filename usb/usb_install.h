// Installation of the carried USB library into the system directory and of the carried
// driver package into the temporary directory, whose installer is then started.
#pragma once
#include "usb/usb_library.h"

#include <cstdint>

inline constexpr char kDriverInstallerFileName[] = "NorvUSBInstaller.exe";
inline constexpr std::uint32_t kDriverPackageBufferSize = 500000;

inline constexpr std::int32_t InstallLibraryNotWritten = -4;
inline constexpr std::int32_t InstallLibraryNotDecoded = -7;
inline constexpr std::int32_t InstallerNotStarted = -11;
inline constexpr std::int32_t InstallNoMemory = -12;

// Writes the carried library as the system directory's "SiUSBXp.dll". Returns 0,
// InstallLibraryNotDecoded, or InstallLibraryNotWritten (also for a short write or a
// failing close: a truncated library never counts as installed).
std::int32_t InstallUsbLibrary();

// InstallUsbLibrary with the library taken from the bzip2 stream COMPRESSED.
std::int32_t InstallUsbLibraryFrom(const std::uint8_t* compressed, std::uint32_t length);

// Unpacks the carried driver package into the temporary directory and starts its
// installer without waiting for it. Returns 0, the decoder's or the extractor's negative
// result, InstallNoMemory, or InstallerNotStarted.
std::int32_t InstallDriverPackage();

// InstallDriverPackage with the package taken from the bzip2 stream COMPRESSED.
std::int32_t InstallDriverPackageFrom(const std::uint8_t* compressed, std::uint32_t length);

// Starts the installer at INSTALLER_PATH in DIRECTORY; true when it was started.
// Windows: ShellExecuteA; native tests link a recorder instead.
bool StartDriverInstaller(const char* installer_path, const char* directory);
