#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "demo/wine.h"

namespace fraywick::demo {

std::string windowsBinDirectory() {
  if (const char* dir = std::getenv("FRAYWICK_WINDOWS_BIN")) return dir;
  std::error_code ignored;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ignored);
  // <build>/<preset>/bin/fraywick-sim -> <build>/windows/bin
  return (self.parent_path().parent_path().parent_path() / "windows" / "bin").string();
}

std::string pathForWine(const std::string& path) {
  return "Z:" + std::filesystem::absolute(path).lexically_normal().string();
}

int runUnderWine(const std::string& launcher, const std::string& program,
                 const std::vector<std::string>& args, std::string& error) {
  std::vector<std::string> words = {launcher, program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  const pid_t child = fork();
  if (child < 0) {
    error = std::string("cannot start Wine: ") + std::strerror(errno);
    return -1;
  }
  if (child == 0) {
    execv(argv[0], argv.data());
    std::_Exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      error = std::string("lost the Wine process: ") + std::strerror(errno);
      return -1;
    }
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127) {
    error = "cannot run the Wine launcher " + launcher;
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace fraywick::demo
