#pragma once

#include <string>

#include "mod/CommandLine.h"

// One launch: the mod's -modConfig argument from the current directory, then `arguments` from element
// 1 on; a notice when the game already runs; then the Steam client (Steam edition) or the game itself
// is started. Every failure it knows ends in a box captioned `modName`. Returns the exit code: 0 once
// started (or when the player declined the elevation prompt of a direct start), 1 otherwise.
int launchMod(const ArgumentList& arguments, const std::wstring& modName, bool isSteamEdition);
