// The scratch directory of a fuzz process.
#include "fuzz/fuzz_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace quenda::fuzz {
namespace {

class Scratch {
  public:
    Scratch() {
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (access(base.c_str(), W_OK) != 0) base = std::filesystem::temp_directory_path(ec);
        std::string pattern = (base / "quenda-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        path_ = pattern + "/";
    }
    ~Scratch() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

}  // namespace

const std::string& ScratchDirectory() {
    static const Scratch scratch;
    return scratch.Path();
}

}  // namespace quenda::fuzz
