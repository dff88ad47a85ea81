// Where an open file or directory really lies, once every junction, mount point and link
// on the way is resolved (Windows). The elevated program checks it before it writes
// through a handle in a place a user can change.
#pragma once
#include <cstddef>

// The final path of the object open as HANDLE in its drive-letter form ("C:\dir\file",
// never ending in a backslash but for a drive's root) into FINAL_PATH (CAPACITY
// characters); false when it has none, or none that fits.
bool GetFinalDosPath(void* handle, wchar_t* final_path, std::size_t capacity);

// Whether two paths name the same place as Windows compares names: letter case aside.
bool SamePath(const wchar_t* first, const wchar_t* second);

// Whether the open DIRECTORY is a plain directory, no reparse point, whose final path is
// PATH (which ends in a backslash): no junction, mount point or link on the way led elsewhere.
bool IsDirectoryAt(void* directory, const wchar_t* path);
