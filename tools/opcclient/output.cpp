#include "output.h"

#include <windows.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace opcclient {

void InitOutput() {
  // Text mode would turn "\n" into "\r\n" and mangle nothing else; binary
  // keeps the lines as written, which scripts under Wine expect.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
}

std::string Utf8(std::wstring_view text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string s(size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), s.data(), n, nullptr, nullptr);
  return s;
}

std::string Utf8(const wchar_t* text) { return text ? Utf8(std::wstring_view(text)) : std::string(); }

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  std::wstring s(size_t(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), s.data(), n);
  return s;
}

std::string Field(std::wstring_view text) {
  std::wstring escaped;
  escaped.reserve(text.size());
  for (wchar_t c : text) {
    switch (c) {
      case L'\t': escaped += L"\\t"; break;
      case L'\n': escaped += L"\\n"; break;
      case L'\r': escaped += L"\\r"; break;
      case L'\\': escaped += L"\\\\"; break;
      default: escaped += c;
    }
  }
  return Utf8(escaped);
}

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

void PrintFields(std::initializer_list<std::string> fields) {
  std::string line;
  for (const auto& f : fields) {
    if (&f != fields.begin()) line += '\t';
    line += f;
  }
  PrintLine(line);
}

void PrintError(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

}  // namespace opcclient
