// Libraries of the system, loaded from the system directory alone (Windows). The program
// runs as administrator from the user's own folders: a DLL of the same name beside it, in
// the current directory or on the PATH must never be taken. It imports at load time only
// libraries that Windows always takes from the system directory (its known DLLs) and loads
// every other one here.
#pragma once

// Limits the library search of the process to the system directory where Windows can
// (SetDefaultDllDirectories: Windows 8 on, Vista and 7 with KB2533623), and takes the
// current directory out of it everywhere. Then, on every Windows, loads from the system
// directory by full path the DLLs that Windows itself loads by name later on (kLoadedLater):
// a load by name finds a DLL of that name already loaded and searches no folder, so neither
// the search order of a Windows without SetDefaultDllDirectories, which still starts in the
// program's own folder, nor a loader that resolves delayed imports by that order can take
// a copy from the download folder. Called first thing at start-up.
void RestrictLibrarySearch();

// The address of SetDefaultDllDirectories, null where Windows lacks it. Alone in its file:
// a test build links one that answers null, as such a Windows would.
void* LookUpSetDefaultDllDirectories();

// Loads FILE_NAME from the system directory by its full path; null when it cannot. The
// library stays loaded for the rest of the process unless the caller frees it.
void* LoadSystemLibrary(const char* file_name);

// The address of the entry NAME of MODULE, or null.
void* LookUpEntry(void* module, const char* name);

// *ENTRY = the entry NAME of MODULE; false when MODULE lacks it.
template <typename Entry> bool ResolveEntry(void* module, const char* name, Entry* entry) {
    void* const address = LookUpEntry(module, name);
    *entry = reinterpret_cast<Entry>(address);
    return address != nullptr;
}
