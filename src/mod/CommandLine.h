#pragma once

#include <string>
#include <string_view>
#include <vector>

// The process command line split into arguments, in command-line order. Element 0 is the launcher
// path as the command line holds it; elements 1 and on are passed on to the started program.
using ArgumentList = std::vector<std::wstring>;

// Splits with the system's CommandLineToArgvW. An empty text gives an empty list without calling it.
// Throws std::system_error for "CommandLineToArgvW".
ArgumentList splitCommandLine(const std::wstring& commandLine);

// The form of one argument that CommandLineToArgvW, reading it anywhere after element 0, turns back
// into exactly `argument`. An empty argument becomes "" so that it is not lost.
std::wstring quoteArgument(std::wstring_view argument);

// Elements 1 and on, each as one blank and its quoted form; empty when there is no element 1.
std::wstring joinArguments(const ArgumentList& arguments);
