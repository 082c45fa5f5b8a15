#include <windows.h>
// After windows.h, which it needs.
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

#include "explain/desktop.h"

namespace fraywick::explain {

void say(std::string_view text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out != nullptr && out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode)) {
    // A console shows UTF-16: bytes would go through its code page and garble the names in a
    // player's path (C:\Users\Zoë\...).
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
    DWORD written = 0;
    WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  // A file or a pipe gets the UTF-8 itself.
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void waitForKey() {
  // One process on the console: this one, in a window of its own.
  DWORD processes[2];
  if (GetConsoleProcessList(processes, 2) != 1) return;
  const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
  say("\nPress any key to close this window.\n");
  FlushConsoleInputBuffer(in);
  INPUT_RECORD record;
  DWORD read = 0;
  while (ReadConsoleInputW(in, &record, 1, &read) && read == 1) {
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
  }
}

bool openInBrowser(const std::filesystem::path& page) {
  // The shell may hand the page to a handler that lives in COM.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const auto result = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", page.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (SUCCEEDED(com)) CoUninitialize();
  return result > 32;
}

}  // namespace fraywick::explain

// The wide command line: a recording's path may hold any character, and the narrow arguments
// would pass it through the system's code page.
int main() {
  int count = 0;
  wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::filesystem::path> files;
  for (int i = 1; words != nullptr && i < count; ++i) files.emplace_back(words[i]);
  LocalFree(words);
  return fraywick::explain::explainDropped(files);
}
