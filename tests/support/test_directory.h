// A folder of its own for the running test, named after it, so that files a test writes (and
// the Fraywick.ini the plug-in looks for) never meet another test's.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>

namespace fraywick::testing {

inline std::filesystem::path freshTestDirectory() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string(info->test_suite_name()) + "." + info->name();
  for (char& c : name) {
    if (c == '/' || c == '\\') c = '_';
  }
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() /
      ("fraywick-" + name + "-" + std::to_string(std::random_device{}()));
  std::filesystem::create_directories(dir);
  return dir;
}

}  // namespace fraywick::testing
