// dll_search_probe: planted.dll, beside this program, is loaded by its bare name before the launcher's
// entry has run, and no longer afterwards. Its own process, since the entry's restriction lasts for
// the rest of the process. Exit code 0 when so.
#include <windows.h>

#include <cstdio>

#include "launcher/Entry.h"

namespace {

bool loadsByName() {
    // Freed again: a loaded module of that name would be found whatever the search.
    const HMODULE library = LoadLibraryW(L"planted.dll");
    if (library != nullptr) {
        FreeLibrary(library);
    }
    return library != nullptr;
}

}  // namespace

int main() {
    const bool before = loadsByName();
    runLauncher(L"");  // no identity: the last-resort box at once, recorded by the modal stand-in
    const bool after = loadsByName();
    std::printf("planted.dll loaded by name before the entry: %s, after it: %s\n", before ? "yes" : "no",
                after ? "yes" : "no");
    return before && !after ? 0 : 1;
}
