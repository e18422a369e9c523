#pragma once

// The whole run of the launcher for one command line (the process's, from GetCommandLineW): DLLs
// loaded from then on come from the system folder only (for the rest of the process), then COM
// apartment, arguments, identity from element 0, the launch. Whatever escapes all that ends in one
// last-resort box captioned "Mod 启动器", shown after COM has been released. Returns the exit code.
int runLauncher(const wchar_t* commandLine);
