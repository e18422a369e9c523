#pragma once

#include <windows.h>
#include <objbase.h>

// Makes the calling thread a single-threaded COM apartment (OLE1 DDE off) for one scope. Only a
// successful CoInitializeEx (S_OK or S_FALSE) is balanced by CoUninitialize; after a failed one the
// thread's apartment belongs to somebody else and is left alone.
class ComApartment {
public:
    ComApartment() noexcept
        : initialized_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    ~ComApartment() {
        if (initialized_) {
            CoUninitialize();
        }
    }

private:
    bool initialized_;
};
