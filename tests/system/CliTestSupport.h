#pragma once

// A command-line test's own folder, removed afterwards, in which
// onexrev-cli runs.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "system/support_sim.h"

namespace onex::testsim {

class CliFolderTest : public ::testing::Test {
  protected:
    explicit CliFolderTest(const std::string& name)
        : dir_(std::filesystem::temp_directory_path() /
               ("onex_" + name + "_" + std::to_string(::getpid()))) {}
    void SetUp() override {
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::filesystem::path at(const std::string& name) const { return dir_ / name; }
    Outcome cli(std::vector<std::string> args) const {
        args.insert(args.begin(), std::string(ONEX_BIN_DIR) + "/onexrev-cli");
        return runProgram(std::move(args), dir_);
    }
    std::filesystem::path dir_;
};

}  // namespace onex::testsim
