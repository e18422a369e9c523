#pragma once

#include <string>

// The Steam client's executable as the current user's registry stores it ("SteamExe" under
// HKCU\Software\Valve\Steam), unchanged: not tested, not normalised. Throws std::runtime_error
// ("Failed to retrieve steam.exe path: ...") when it cannot be read.
std::wstring getSteamExePath();
