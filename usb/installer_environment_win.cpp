#include "usb/installer_environment.h"

#include "usb/system_failure.h"
#include "usb/system_library.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <string_view>
#include <vector>

namespace {

using CreateEnvironmentBlockEntry = BOOL(WINAPI*)(void**, HANDLE, BOOL);
using DestroyEnvironmentBlockEntry = BOOL(WINAPI*)(void*);

// The name of ENTRY ("NAME=value"); a name may begin with "=" (a drive's directory).
std::wstring_view NameOf(std::wstring_view entry) {
    return entry.substr(0, entry.find(L'=', 1));
}

int CompareNames(std::wstring_view first, std::wstring_view second) {
    return CompareStringOrdinal(first.data(), static_cast<int>(first.size()), second.data(),
                                static_cast<int>(second.size()), TRUE);
}

// The entries of the system's own block, without a user's token; empty when there is none.
std::vector<std::wstring> SystemVariables() {
    std::vector<std::wstring> entries;
    void* const userenv = LoadSystemLibrary("userenv.dll");
    CreateEnvironmentBlockEntry create = nullptr;
    DestroyEnvironmentBlockEntry destroy = nullptr;
    void* block = nullptr;
    if (ResolveEntry(userenv, "CreateEnvironmentBlock", &create) &&
        ResolveEntry(userenv, "DestroyEnvironmentBlock", &destroy)) {
        if (create(&block, nullptr, FALSE)) {
            for (const wchar_t* entry = static_cast<const wchar_t*>(block); *entry != L'\0';
                 entry += std::wcslen(entry) + 1)
                entries.emplace_back(entry);
            destroy(block);
        } else {
            RecordSystemFailure("asking for", "the system's environment", GetLastError());
        }
    } else if (userenv != nullptr) {
        RecordSystemFailure("finding CreateEnvironmentBlock in", "userenv.dll", 0);
    }
    if (userenv != nullptr)
        FreeLibrary(static_cast<HMODULE>(userenv));
    return entries;
}

} // namespace

bool BuildInstallerEnvironment(const wchar_t* temp_directory, std::wstring* block) {
    std::vector<std::wstring> entries = SystemVariables();
    if (entries.empty())
        return false;
    std::erase_if(entries, [](const std::wstring& entry) {
        return CompareNames(NameOf(entry), L"TEMP") == CSTR_EQUAL ||
               CompareNames(NameOf(entry), L"TMP") == CSTR_EQUAL;
    });
    std::wstring_view temp = temp_directory;
    if (temp.size() > 3 && temp.back() == L'\\')
        temp.remove_suffix(1);
    entries.push_back(L"TEMP=" + std::wstring(temp));
    entries.push_back(L"TMP=" + std::wstring(temp));
    // CreateProcess wants the block sorted by name, letter case aside.
    std::sort(entries.begin(), entries.end(),
              [](const std::wstring& first, const std::wstring& second) {
                  return CompareNames(NameOf(first), NameOf(second)) == CSTR_LESS_THAN;
              });
    block->clear();
    for (const std::wstring& entry : entries)
        block->append(entry).push_back(L'\0');
    block->push_back(L'\0');
    return true;
}
