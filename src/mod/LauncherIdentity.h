#pragma once

#include <string>
#include <string_view>

// What the launcher's own file name says: which mod to start, and whether through Steam.
struct LauncherIdentity {
    std::wstring modName;  // may be empty
    bool isSteamEdition = false;
};

// Takes the file name of `launcherPath` (after its last backslash or slash) apart: an optional
// `prefix` at its start, an optional `extension` at its end, and before that an optional
// `steamMarker`, each matched ignoring case. What is left, unchanged, is the mod name. The affixes are
// the caller's. Throws std::runtime_error ("Error when trying to retrieve Mod Name: ...") only when
// memory runs out.
LauncherIdentity retrieveModName(std::wstring_view prefix, std::wstring_view steamMarker, std::wstring_view extension,
                                 const std::wstring& launcherPath);
