// The registry keys of the product, read by every subsystem that takes its
// configuration from the registry.
#pragma once

// HKEY_LOCAL_MACHINE: installation folders, limits and versions.
inline constexpr char kProductKey[] = "SOFTWARE\\Tervane\\Kv Orlune Disc\\CurrentVersion";
// HKEY_CURRENT_USER: the user's own settings.
inline constexpr char kProductUserKey[] = "Software\\Tervane\\Kv Orlune Disc";
