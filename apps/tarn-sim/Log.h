#pragma once

// Command and event log of the simulator (--log FILE), one line per entry.

#include <cstdio>
#include <mutex>
#include <string>

namespace tarnsim {

class Log {
  public:
    bool open(const std::string& path) {
        file_ = std::fopen(path.c_str(), "w");
        return file_ != nullptr;
    }
    ~Log() {
        if (file_) std::fclose(file_);
    }
    void write(const std::string& line) {
        if (!file_) return;
        std::lock_guard lock(mutex_);
        std::fputs(line.c_str(), file_);
        std::fputc('\n', file_);
        std::fflush(file_);
    }

  private:
    std::FILE* file_ = nullptr;
    std::mutex mutex_;
};

}  // namespace tarnsim
