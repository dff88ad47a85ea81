// Unpacks a tar archive (ustar or GNU layout) held in memory below a directory.
#pragma once
#include <cstddef>
#include <cstdint>

inline constexpr std::int32_t TarOk = 0;
inline constexpr std::int32_t TarBadDestination = -1; // no trailing slash or backslash
inline constexpr std::int32_t TarEmptyName = -2;
inline constexpr std::int32_t TarDirectoryFailed = -3;
inline constexpr std::int32_t TarOpenFailed = -4;
inline constexpr std::int32_t TarWriteFailed = -5; // an error or a short write
inline constexpr std::int32_t TarCloseFailed = -6;
inline constexpr std::int32_t TarUnsafeName = -7;  // absolute, with a drive or "..", or a device
inline constexpr std::int32_t TarPathTooLong = -8; // destination and name above 767 characters
inline constexpr std::int32_t TarTruncated = -9;   // a header or member data beyond the length

// Writes the archive's directories and files below DESTINATION, a text prefix that must end in
// a separator, or relative to the current directory when DESTINATION is null. Reads no byte at
// or beyond LENGTH; after the last member the rest up to LENGTH is walked and skipped.
std::int32_t TarExtract(const std::uint8_t* archive, std::size_t length, const char* destination);
