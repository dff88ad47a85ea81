// The environment the vendor's installer starts with (Windows). It runs as administrator;
// the elevated program's own environment comes from the user's HKCU\Environment, so TEMP,
// TMP and PATH there are the user's to choose, and a self-extracting installer that
// unpacks into a TEMP the user can change would run what the user put there.
#pragma once
#include <string>

// The system's variables alone (CreateEnvironmentBlock without a user: HKLM's PATH,
// SystemRoot, windir, ComSpec, PATHEXT, ProgramFiles and the rest), with TEMP and TMP
// naming TEMP_DIRECTORY (a directory that ends in a backslash, which the variables drop),
// as a block for CreateProcessW: sorted by name, each entry ended by a null, the block by
// another. False, with the failure recorded, when the system's variables cannot be had.
bool BuildInstallerEnvironment(const wchar_t* temp_directory, std::wstring* block);
