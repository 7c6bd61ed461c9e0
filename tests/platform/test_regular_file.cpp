// Only regular files are opened for reading: a FIFO or a device at a chosen
// path must be refused at once, never waited on.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/MatFile.h"
#include "platform/RegularFile.h"

namespace fs = std::filesystem;
using onex::platform::FileOpenError;
using onex::platform::openRegularFile;

TEST(RegularFile, OnlyRegularFilesOpenAndEverythingElseSaysWhatItIs) {
    const fs::path dir = fs::temp_directory_path() / ("onex_regular_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "file") << "x";
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_symlink(dir / "fifo", dir / "link");

    EXPECT_TRUE(openRegularFile(dir / "file"));
    const struct {
        fs::path path;
        FileOpenError::Kind kind;
        std::string reason;
    } cases[] = {
        {dir / "fifo", FileOpenError::Kind::NotRegular, "It is a FIFO, not a regular file"},
        {dir / "link", FileOpenError::Kind::NotRegular, "It is a FIFO, not a regular file"},
        {"/dev/null", FileOpenError::Kind::NotRegular,
         "It is a character device, not a regular file"},
        {dir, FileOpenError::Kind::NotRegular, "It is a folder"},
        {dir / "missing", FileOpenError::Kind::NotFound, "No such file or directory"},
    };
    for (const auto& c : cases) {
        try {
            openRegularFile(c.path);
            ADD_FAILURE() << c.path;
        } catch (const FileOpenError& e) {
            EXPECT_EQ(e.kind(), c.kind) << c.path;
            EXPECT_EQ(e.what(), c.reason) << c.path;
        }
    }
    // The MAT-file reader (parameter, configuration and correction files)
    // refuses the FIFO the same way instead of waiting for a writer.
    try {
        onex::platform::readMatFile(dir / "fifo");
        ADD_FAILURE() << "a FIFO was read";
    } catch (const onex::platform::MatFileError& e) {
        EXPECT_NE(std::string(e.what()).find("It is a FIFO"), std::string::npos) << e.what();
    }
    fs::remove_all(dir);
}
