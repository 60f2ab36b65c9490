// A throw-away folder laid out like a part of a running system (/sys, /dev, /proc), for the
// readers that take a root folder.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <string>

class FakeTree {
public:
    FakeTree() {
        std::string pattern = ::testing::TempDir() + "q42flash-tree-XXXXXX";
        root_ = mkdtemp(&pattern[0]) != nullptr ? pattern : "";
        EXPECT_FALSE(root_.empty());
    }
    ~FakeTree() { EXPECT_EQ(std::system(("rm -rf '" + root_ + "'").c_str()), 0); }

    const std::string& root() const { return root_; }
    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }

    void Folder(const std::string& relative) const {
        EXPECT_EQ(std::system(("mkdir -p '" + Path(relative) + "'").c_str()), 0) << relative;
    }
    void File(const std::string& relative, const std::string& content) const {
        Folder(relative.substr(0, relative.rfind('/')));
        std::ofstream(Path(relative), std::ios::binary) << content;
    }
    // target as the link holds it: relative to the link's folder, or absolute.
    void Link(const std::string& relative, const std::string& target) const {
        Folder(relative.substr(0, relative.rfind('/')));
        EXPECT_EQ(symlink(target.c_str(), Path(relative).c_str()), 0) << relative;
    }

private:
    std::string root_;
};
