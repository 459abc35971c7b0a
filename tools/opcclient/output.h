#pragma once
// What the program prints: UTF-8 on stdout and stderr, one record per line,
// fields separated by tabs. Under Wine the console passes the bytes through;
// on Windows the console is switched to UTF-8.
#include <initializer_list>
#include <string>
#include <string_view>

namespace opcclient {

void InitOutput();

std::string Utf8(std::wstring_view text);
std::string Utf8(const wchar_t* text);  // null gives ""
std::wstring Wide(std::string_view utf8);
// A string the server may leave null; null gives "".
inline std::wstring TextOf(const wchar_t* s) { return s ? s : L""; }

// A text as one field: tab, line breaks and backslash become \t, \n, \r, \\.
std::string Field(std::wstring_view text);

// One line on stdout, flushed at once so that a reader sees it while the
// program runs on (subscriptions).
void PrintLine(const std::string& line);
void PrintFields(std::initializer_list<std::string> fields);
void PrintError(const std::string& line);

}  // namespace opcclient
