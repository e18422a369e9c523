// std::terminate's default handler for the launcher exe. libstdc++'s own prints the same lines but
// first demangles the exception's type name, and its demangler (with the printf code it pulls in) is
// about a fifth of the exe. This one names the type as the compiler encoded it, then aborts.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <typeinfo>

#include <cxxabi.h>

namespace __gnu_cxx {

// Replaces the library's definition of the handler that std::terminate calls by default (and that
// std::set_terminate(nullptr) restores).
void __verbose_terminate_handler() {
    static bool terminating = false;
    if (terminating) {
        std::fputs("terminate called recursively\n", stderr);
        std::abort();
    }
    terminating = true;

    const std::type_info* const type = abi::__cxa_current_exception_type();
    if (type == nullptr) {
        std::fputs("terminate called without an active exception\n", stderr);
        std::abort();
    }
    const char* name = type->name();
    if (name[0] == '*') {
        ++name;
    }
    std::fputs("terminate called after throwing an instance of '", stderr);
    std::fputs(name, stderr);
    std::fputs("'\n", stderr);
    try {
        throw;
    } catch (const std::exception& error) {
        std::fputs("  what():  ", stderr);
        std::fputs(error.what(), stderr);
        std::fputs("\n", stderr);
    } catch (...) {
    }
    std::abort();
}

}  // namespace __gnu_cxx
