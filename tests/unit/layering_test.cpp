// The include order of the solver's sources (src/README.md): a file includes
// headers of its own folder and of the folders below it, never above.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Folders of src, bottom layer first.
const std::vector<std::string> layers = {"numerics", "model",   "output",  "material", "element",
                                         "parallel", "failure", "contact", "walls",    "motion",
                                         "rigid",    "input",   "control"};

int layerof(const std::string& folder) {
    const auto it = std::find(layers.begin(), layers.end(), folder);
    return it == layers.end() ? -1 : static_cast<int>(it - layers.begin());
}

// Folder named by each `#include "folder/file"` line of a file.
std::vector<std::string> includedfolders(const fs::path& file) {
    std::vector<std::string> folders;
    std::ifstream in(file);
    std::string line;
    const std::string tag = "#include \"";
    while (std::getline(in, line)) {
        if (line.compare(0, tag.size(), tag) != 0) continue;
        const size_t slash = line.find('/', tag.size());
        if (slash == std::string::npos) continue;
        folders.push_back(line.substr(tag.size(), slash - tag.size()));
    }
    return folders;
}

}  // namespace

TEST(LayeringTest, EveryIncludeRunsDownTheLayers) {
    const fs::path src = fs::path(HEXDYN_SOURCE_DIR) / "src";
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(src)) {
        const fs::path p = entry.path();
        if (p.extension() != ".cpp" && p.extension() != ".hpp") continue;
        ++files;
        const std::string own = p.parent_path().filename().string();
        const int mine = layerof(own);
        ASSERT_GE(mine, 0) << "folder of " << p << " is not a layer";
        for (const std::string& f : includedfolders(p)) {
            const int theirs = layerof(f);
            EXPECT_GE(theirs, 0) << p << " includes from unknown folder " << f;
            EXPECT_LE(theirs, mine) << p << " (" << own << ") includes from the layer above, " << f;
        }
    }
    EXPECT_GT(files, 30);
}

// The corner gather and scatter header stays free of MPI and of the model
// data, so that programs outside the solver can include it.
TEST(LayeringTest, CornerHeaderIncludesOnlyTheStandardLibrary) {
    const fs::path p = fs::path(HEXDYN_SOURCE_DIR) / "src" / "element" / "corners.hpp";
    ASSERT_TRUE(fs::exists(p));
    EXPECT_TRUE(includedfolders(p).empty());
    std::ifstream in(p);
    std::string line;
    while (std::getline(in, line)) EXPECT_EQ(line.find("mpi.h"), std::string::npos) << line;
}
