// Installation of the carried USB library into the system directory and of the carried
// driver package into a new directory of its own below the Windows directory's Temp, whose
// installer is then started.
#pragma once
#include "usb/usb_library.h"
#include "usb/usb_paths.h"

#include <cstdint>

inline constexpr char kDriverInstallerFileName[] = "NorvUSBInstaller.exe";
inline constexpr std::uint32_t kDriverPackageBufferSize = 500000;

inline constexpr std::int32_t InstallLibraryNotWritten = -4;
inline constexpr std::int32_t InstallLibraryNotDecoded = -7;
inline constexpr std::int32_t InstallerNotStarted = -11;
inline constexpr std::int32_t InstallNoMemory = -12;
inline constexpr std::int32_t InstallDirectoryNotCreated = -13;
inline constexpr std::int32_t InstallDirectoryTaken = -14; // from CreatePackageDirectory only

// The package's directory below the temporary directory: this prefix, then eight hex digits.
inline constexpr char kPackageDirectoryPrefix[] = "zandacore-driver-";
// The installer's TEMP and TMP: this directory of the package's directory, made as that is.
inline constexpr char kInstallerTempName[] = "temp\\";

#ifdef _WIN32
// Who may do what in the package's directory and everything below it: Administrators and
// SYSTEM everything, Users and the owner read and execute (so an owner who is not an
// administrator cannot widen it); protected, so nothing of the temporary directory's
// permissions is inherited.
inline constexpr wchar_t kPackageDirectorySecurity[] =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)(A;OICI;0x1200a9;;;S-1-3-4)";
#endif

// Writes the carried library as the system directory's "SiUSBXp.dll". Returns 0,
// InstallLibraryNotDecoded, or InstallLibraryNotWritten (also for a short write or a
// failing close: a truncated library never counts as installed).
std::int32_t InstallUsbLibrary();

// InstallUsbLibrary with the library taken from the bzip2 stream COMPRESSED.
std::int32_t InstallUsbLibraryFrom(const std::uint8_t* compressed, std::uint32_t length);

// Unpacks the carried driver package into a new directory below the Windows directory's
// Temp that only administrators may change, and starts its installer there without waiting
// for it. Returns 0, the decoder's or the extractor's negative result, InstallNoMemory,
// InstallDirectoryNotCreated, or InstallerNotStarted.
std::int32_t InstallDriverPackage();

// The directory the last InstallDriverPackage created (ending in a backslash), empty when
// it created none; for the support log.
extern char driver_package_directory[kPathSize];

// InstallDriverPackage with the package taken from the bzip2 stream COMPRESSED.
std::int32_t InstallDriverPackageFrom(const std::uint8_t* compressed, std::uint32_t length);

// Creates the directory PATH (ending in a backslash) with kPackageDirectorySecurity, checks
// that the directory made is the one asked for (no reparse point; its final path is PATH),
// and holds it open until ReleasePackageDirectory (two at a time: the package's and its
// installer's temporary directory). Returns 0, InstallDirectoryTaken when PATH exists
// (whoever made it, it is never used), or InstallDirectoryNotCreated.
// Windows only; native tests link their own.
std::int32_t CreatePackageDirectory(const char* path);
void ReleasePackageDirectory();

// Starts the installer at INSTALLER_PATH in DIRECTORY, with TEMP and TMP naming
// TEMP_DIRECTORY and otherwise the system's environment alone; true when it was started.
// Windows: CreateProcessW by the full path; native tests link a recorder instead.
bool StartDriverInstaller(const char* installer_path, const char* directory,
                          const char* temp_directory);
