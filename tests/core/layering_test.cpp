#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// The folders of src/ each layer may include from: its own and those below it. The desktop
// program's folders meet only through shell/, the composition root; the batch program stands on
// the I/O layer beside them.
const std::map<std::string, std::set<std::string>>& allowedIncludes() {
  static const std::map<std::string, std::set<std::string>> allowed{
      {"numeric", {"numeric"}},
      {"core", {"core", "numeric"}},
      {"io", {"io", "core", "numeric"}},
      {"ui", {"ui", "io", "core", "numeric"}},
      {"views", {"views", "ui", "io", "core", "numeric"}},
      {"tools", {"tools", "ui", "io", "core", "numeric"}},
      {"shell", {"shell", "views", "tools", "ui", "io", "core", "numeric"}},
      {"batch", {"batch", "io", "core", "numeric"}},
  };
  return allowed;
}

struct Include {
  std::string where;  // file:line
  std::string header;
};

std::vector<Include> includesOf(const fs::path& file, const std::regex& pattern) {
  std::vector<Include> found;
  std::ifstream stream(file);
  std::string line;
  std::smatch match;
  for (int number = 1; std::getline(stream, line); ++number) {
    if (std::regex_search(line, match, pattern)) {
      found.push_back({file.string() + ":" + std::to_string(number), match[1].str()});
    }
  }
  return found;
}

// Every project include of every layer names a folder that layer may use, and the algorithm
// layers include no Qt header.
TEST(Layering, IncludesPointDownOnlyAndTheAlgorithmsUseNoQt) {
  const std::regex projectInclude(R"(^\s*#\s*include\s*"([a-z_]+)/)");
  const std::regex qtInclude(
      R"(^\s*#\s*include\s*[<"](Q[A-Za-z0-9_]*|Qt[A-Za-z0-9_]*/[^>"]*)[>"])");
  const fs::path source = fs::path(PLK_SOURCE_DIR) / "src";
  int files = 0;
  for (const auto& [layer, allowed] : allowedIncludes()) {
    for (const auto& entry : fs::recursive_directory_iterator(source / layer)) {
      if (!entry.is_regular_file()) continue;
      ++files;
      for (const Include& include : includesOf(entry.path(), projectInclude)) {
        EXPECT_TRUE(allowed.contains(include.header))
            << include.where << ": " << layer << "/ includes from " << include.header << "/";
      }
      if (layer == "core" || layer == "numeric") {
        for (const Include& include : includesOf(entry.path(), qtInclude)) {
          ADD_FAILURE() << include.where << ": Qt header " << include.header << " in " << layer;
        }
      }
    }
  }
  EXPECT_GT(files, 100);
}

}  // namespace
