// dll_search_probe: planted.dll, beside this program, is loaded by its bare name before the launcher's
// entry has run, and no longer afterwards; loading it as a system library fails even before. Its own
// process, since the entry's restriction lasts for the rest of the process. Exit code 0 when so.
#include <windows.h>

#include <cstdio>

#include "launcher/Entry.h"
#include "windows/SystemLibrary.h"

namespace {

bool loads(HMODULE library) {
    // Freed again: a loaded module of that name would be found whatever the search.
    if (library != nullptr) {
        FreeLibrary(library);
    }
    return library != nullptr;
}

}  // namespace

int main() {
    const bool asSystemLibrary = loads(Windows::loadSystemLibrary(L"planted.dll"));
    const bool before = loads(LoadLibraryW(L"planted.dll"));
    runLauncher(L"");  // no identity: the last-resort box at once, recorded by the modal stand-in
    const bool after = loads(LoadLibraryW(L"planted.dll"));
    std::printf("planted.dll loaded as a system library: %s, by name before the entry: %s, after it: %s\n",
                asSystemLibrary ? "yes" : "no", before ? "yes" : "no", after ? "yes" : "no");
    return !asSystemLibrary && before && !after ? 0 : 1;
}
