#include <windows.h>

#include "launcher/Entry.h"

// The narrow argc/argv are not used: the command line is read as UTF-16.
int main() {
    return runLauncher(GetCommandLineW());
}
