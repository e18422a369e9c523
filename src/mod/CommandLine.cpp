#include "mod/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include "windows/LocalMemory.h"
#include "windows/WindowsError.h"

ArgumentList splitCommandLine(const std::wstring& commandLine) {
    if (commandLine.empty()) {
        // CommandLineToArgvW would answer an empty text with the module's own path.
        return {};
    }
    int count = 0;
    wchar_t** const vector = CommandLineToArgvW(commandLine.c_str(), &count);
    const DWORD lastError = GetLastError();
    const Windows::LocalMemory<wchar_t*> owner(
        Windows::checkApiResult(vector, Windows::FailureValue<wchar_t**>{"CommandLineToArgvW", nullptr, lastError}));

    ArgumentList arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) {
        arguments.emplace_back(owner.get()[index]);
    }
    return arguments;
}

// CommandLineToArgvW's rules after element 0: 2n backslashes before a quotation mark give n
// backslashes and the mark opens or closes quoting; 2n+1 give n backslashes and a literal mark;
// backslashes before anything else are literal. Blanks and tabs end an argument outside quotes.
// https://learn.microsoft.com/windows/win32/api/shellapi/nf-shellapi-commandlinetoargvw
std::wstring quoteArgument(std::wstring_view argument) {
    if (argument.empty()) {
        return L"\"\"";
    }
    std::wstring quoted;
    quoted.reserve(argument.size() + 2);
    bool needsQuotes = false;
    for (std::size_t index = 0; index < argument.size(); ++index) {
        const wchar_t character = argument[index];
        switch (character) {
        case L'\\': {
            std::size_t runEnd = index;
            while (runEnd < argument.size() && argument[runEnd] == L'\\') {
                ++runEnd;
            }
            if (runEnd < argument.size() && argument[runEnd] == L'"') {
                quoted += L'\\';
            }
            quoted += L'\\';
            break;
        }
        case L'"':
            quoted += L"\\\"";
            break;
        case L' ':
        case L'\t':
            needsQuotes = true;
            quoted += character;
            break;
        default:
            quoted += character;
            break;
        }
    }
    if (needsQuotes) {
        // The closing quotation mark will follow the trailing backslashes: double them.
        std::size_t trailing = 0;
        while (trailing < argument.size() && argument[argument.size() - 1 - trailing] == L'\\') {
            ++trailing;
        }
        quoted.append(trailing, L'\\');
        quoted.insert(quoted.begin(), L'"');
        quoted += L'"';
    }
    return quoted;
}

std::wstring joinArguments(const ArgumentList& arguments) {
    std::wstring joined;
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        joined += L' ';
        joined += quoteArgument(arguments[index]);
    }
    return joined;
}
