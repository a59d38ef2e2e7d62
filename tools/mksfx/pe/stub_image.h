// The stub: any Windows program file (MZ header whose e_lfanew leads to a
// "PE\0\0" signature); the configuration block and archive go behind it.
#pragma once
#include <string>

bool LoadStub(const std::string& path, std::string* bytes, std::string* error);
// true when bytes look like a Windows program.
bool IsWindowsProgram(const std::string& bytes);
