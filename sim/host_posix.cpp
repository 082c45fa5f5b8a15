// Loading the plug-in natively: it is a shared object, and the dynamic loader's constructor and
// destructor calls are its attach and detach notifications.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "sim/host.h"

namespace sim {
namespace {

void* loadedModule = nullptr;

}  // namespace

bool loadPlugin(const std::string& path, std::string* error) {
  if (loadedModule != nullptr) {
    if (error != nullptr) *error = "a plug-in is loaded already";
    return false;
  }
  // RTLD_LOCAL keeps the plug-in's symbols to itself, as a DLL's are: each load starts afresh.
  loadedModule = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (loadedModule == nullptr) {
    if (error != nullptr) *error = dlerror();
    return false;
  }
  return true;
}

bool pluginLoaded() {
  return loadedModule != nullptr;
}

void unloadPlugin() {
  if (loadedModule == nullptr) return;
  dlclose(loadedModule);
  loadedModule = nullptr;
}

void endProcess(int status) {
  _exit(status);
}

std::string defaultPluginPath() {
  if (const char* path = std::getenv("FRAYWICK_PLUGIN")) return path;
  std::error_code ignored;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ignored);
  return (self.parent_path() / "Fraywick.so").string();
}

}  // namespace sim
