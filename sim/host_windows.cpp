// Loading the plug-in on Windows, as the real hook loads an .asi: LoadLibrary maps it and runs its
// attach notification, FreeLibrary its detach notification.
//
// The plug-in reads the time through its KERNEL32 imports of GetTickCount64 and GetTickCount.
// After loading, their entries in the plug-in's import address table are pointed at the virtual
// clock, the way hooks for games redirect a module's imports. The shipped module stays exactly
// as it is, with no seam for tests.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/hook_state.h"
#include "sim/host.h"

namespace sim {
namespace {

HMODULE loadedModule = nullptr;

ULONGLONG WINAPI virtualTickCount64() {
  if (world().answers != nullptr) return world().answers->clock();
  return clockOf(world()).load(std::memory_order_relaxed);
}

DWORD WINAPI virtualTickCount() {
  return static_cast<DWORD>(clockOf(world()).load(std::memory_order_relaxed));
}

// Paths travel as UTF-8 in std::string and as UTF-16 to and from the operating system.
std::wstring wide(const std::string& text) {
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                      length);
  return result;
}

std::string narrow(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), length,
                      nullptr, nullptr);
  return result;
}

std::string errorText(DWORD code) {
  char* message = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&message), 0, nullptr);
  std::string text = "error " + std::to_string(code);
  if (length != 0 && message != nullptr) {
    text += ": ";
    text.append(message, length);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  }
  LocalFree(message);
  return text;
}

// The virtual replacement for a KERNEL32 import of that name, or 0 if the import keeps its target.
ULONG_PTR clockReplacement(const char* name, bool includeTickCount64) {
  if (includeTickCount64 && std::strcmp(name, "GetTickCount64") == 0) {
    return reinterpret_cast<ULONG_PTR>(&virtualTickCount64);
  }
  if (std::strcmp(name, "GetTickCount") == 0) {
    return reinterpret_cast<ULONG_PTR>(&virtualTickCount);
  }
  return 0;
}

// The address table lies in memory the loader made read-only once it had bound the imports.
bool overwriteImport(ULONG_PTR* entry, ULONG_PTR target) {
  DWORD protection = 0;
  if (!VirtualProtect(entry, sizeof *entry, PAGE_READWRITE, &protection)) return false;
  *entry = target;
  DWORD ignored = 0;
  VirtualProtect(entry, sizeof *entry, protection, &ignored);
  return true;
}

}  // namespace

int redirectClockImports(void* module, bool includeTickCount64) {
  auto* base = static_cast<BYTE*>(module);
  if (base == nullptr) return 0;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE ||
      nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR64_MAGIC) {
    return 0;
  }
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return 0;

  int redirected = 0;
  for (auto* library =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       library->Name != 0; ++library) {
    if (_stricmp(reinterpret_cast<const char*>(base + library->Name), "KERNEL32.dll") != 0) {
      continue;
    }
    // The names are in the lookup table; the address table beside it, entry for entry, is what
    // the code calls through. Without a lookup table (a bound image) the names are gone.
    if (library->OriginalFirstThunk == 0) continue;
    const auto* names =
        reinterpret_cast<const IMAGE_THUNK_DATA64*>(base + library->OriginalFirstThunk);
    auto* addresses = reinterpret_cast<IMAGE_THUNK_DATA64*>(base + library->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++addresses) {
      if (IMAGE_SNAP_BY_ORDINAL64(names->u1.Ordinal)) continue;
      const auto* byName =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      const ULONG_PTR target =
          clockReplacement(reinterpret_cast<const char*>(byName->Name), includeTickCount64);
      if (target == 0) continue;
      if (overwriteImport(reinterpret_cast<ULONG_PTR*>(&addresses->u1.Function), target)) {
        ++redirected;
      }
    }
  }
  return redirected;
}

bool loadPlugin(const std::string& path, std::string* error) {
  if (loadedModule != nullptr) {
    if (error != nullptr) *error = "a plug-in is loaded already";
    return false;
  }
  const HMODULE module = LoadLibraryW(wide(path).c_str());
  if (module == nullptr) {
    if (error != nullptr) *error = "LoadLibrary " + path + ": " + errorText(GetLastError());
    return false;
  }
  // The attach notification has run by now; it only registers, so it has not read the clock.
  redirectClockImports(module);
  loadedModule = module;
  return true;
}

bool pluginLoaded() {
  return loadedModule != nullptr;
}

void* pluginModule() {
  return loadedModule;
}

void unloadPlugin() {
  if (loadedModule == nullptr) return;
  FreeLibrary(loadedModule);
  loadedModule = nullptr;
}

void endProcess(int status) {
  TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
  // Termination may complete after the call returns; nothing else runs meanwhile.
  for (;;) Sleep(INFINITE);
}

std::string defaultPluginPath() {
  if (const wchar_t* path = _wgetenv(L"FRAYWICK_PLUGIN")) return narrow(path);
  std::wstring self(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size()));
    if (length < self.size()) {
      self.resize(length);
      break;
    }
    self.resize(self.size() * 2);
  }
  const std::size_t slash = self.find_last_of(L"\\/");
  const std::wstring folder = slash == std::wstring::npos ? L"" : self.substr(0, slash + 1);
  return narrow(folder + L"Fraywick.asi");
}

}  // namespace sim
