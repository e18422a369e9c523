// The floor for the launcher's start-up cost: the least a program can do to start the game the way
// the launcher does. ShellExecuteExW with the file, parameters and folder that the launcher passes for
// the bench's mod folder and game install (bench.py lays out both), inside the single-threaded COM
// apartment that the shell requires of its callers; nothing else.
// Built a second time without BENCH_COM_APARTMENT: the bare call, for reference, which shows what
// entering the apartment costs by itself.
#include <windows.h>
#include <shellapi.h>
#ifdef BENCH_COM_APARTMENT
#include <objbase.h>
#endif

int main() {
#ifdef BENCH_COM_APARTMENT
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
#endif
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.lpFile = L"C:\\bench\\Red Alert 3\\RA3.exe";
    info.lpParameters = L"\"C:\\bench\\Red Alert 3\\RA3.exe\"  -modConfig \"C:\\bench\\Mods\\BenchMod\\BenchMod.SkuDef\" ";
    info.lpDirectory = L"C:\\bench\\Red Alert 3";
    info.nShow = SW_SHOWNORMAL;
    const BOOL started = ShellExecuteExW(&info);
#ifdef BENCH_COM_APARTMENT
    if (SUCCEEDED(apartment)) {
        CoUninitialize();
    }
#endif
    return started ? 0 : 1;
}
