// The documents that describe the code's formats and layout against the code
// itself: a checkpoint section, a source folder or a format version added
// without its description fails here rather than in a reader's hands.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "control/checkpoint.hpp"

namespace {

namespace fs = std::filesystem;

std::string textof(const fs::path& p) {
    std::ifstream in(p);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const fs::path root = HEXDYN_SOURCE_DIR;

// The names passed to `section("NAME", ...)` in the checkpoint writer.
std::vector<std::string> writtensections() {
    const std::string code = textof(root / "src" / "control" / "checkpoint.cpp");
    std::vector<std::string> names;
    const std::string tag = ".section(\"";
    for (size_t at = code.find(tag); at != std::string::npos; at = code.find(tag, at + 1)) {
        const size_t from = at + tag.size();
        names.push_back(code.substr(from, code.find('"', from) - from));
    }
    return names;
}

}  // namespace

TEST(DocumentsTest, EveryCheckpointSectionIsDescribedInTheFormatHeader) {
    const std::vector<std::string> names = writtensections();
    ASSERT_GE(names.size(), 10U) << "the writer's sections were not found";
    const std::string header = textof(root / "src" / "control" / "checkpoint.hpp");
    for (const std::string& n : names) {
        // Names are stored padded to eight characters and listed so.
        const std::string listed = "\"" + n + std::string(8 - n.size(), ' ') + "\"";
        EXPECT_NE(header.find(listed), std::string::npos)
            << listed << " is written but not described";
    }
}

TEST(DocumentsTest, ReadmeGivesTheCheckpointVersion) {
    const std::string readme = textof(root / "README.md");
    const std::string said = "The version is " + std::to_string(checkpoint::version) + ";";
    EXPECT_NE(readme.find(said), std::string::npos) << "README.md should say: " << said;
}

TEST(DocumentsTest, EverySourceFolderIsInBothLayoutLists) {
    const std::string readme = textof(root / "README.md");
    const std::string layers = textof(root / "src" / "README.md");
    for (const auto& e : fs::directory_iterator(root / "src")) {
        if (!e.is_directory()) continue;
        const std::string f = e.path().filename().string();
        EXPECT_NE(readme.find("- `src/" + f + "`"), std::string::npos)
            << "README.md's layout omits src/" << f;
        EXPECT_NE(layers.find("`" + f + "`"), std::string::npos) << "src/README.md omits " << f;
    }
}
