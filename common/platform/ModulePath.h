#pragma once
#include <string>

// Full path of the running program file; empty when it cannot be read.
std::wstring GetExecutablePath();

// The running program's folder with its trailing "/"; empty when the path cannot be read.
std::wstring GetModuleFolder();

// The program file's name without its folder.
std::wstring GetExecutableName();
