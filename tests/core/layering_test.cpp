#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

// Lines of src/core and src/numeric that include a Qt header.
std::vector<std::string> qtIncludes() {
  const std::regex qtInclude(
      R"(^\s*#\s*include\s*[<"](Q[A-Za-z0-9_]*|Qt[A-Za-z0-9_]*/[^>"]*)[>"])");
  std::vector<std::string> found;
  for (const char* layer : {"src/core", "src/numeric"}) {
    const std::filesystem::path root = std::filesystem::path(PLK_SOURCE_DIR) / layer;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream file(entry.path());
      std::string line;
      for (int number = 1; std::getline(file, line); ++number) {
        if (std::regex_search(line, qtInclude)) {
          found.push_back(entry.path().string() + ":" + std::to_string(number) + ": " + line);
        }
      }
    }
  }
  return found;
}

TEST(Layering, CoreAndNumericIncludeNoQtHeader) {
  const std::vector<std::string> found = qtIncludes();
  for (const std::string& line : found) ADD_FAILURE() << line;
  EXPECT_TRUE(found.empty());
}

}  // namespace
