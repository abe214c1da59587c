// Fuzzes the registry file reader with whole files: a file that reads is written back in a form
// that reads the same, and a file that does not read is never replaced by an update.
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/registry/registry.h"

using namespace quenda;

namespace {

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text = fuzz::AsText(data, size);
    RegistryTree parsed;
    std::string error;
    if (RegistryTree::Parse(text, &parsed, &error)) {
        const std::string written = parsed.Serialize();
        RegistryTree again;
        FUZZ_CHECK(RegistryTree::Parse(written, &again, &error));
        FUZZ_CHECK(again.Serialize() == written);
    } else {
        FUZZ_CHECK(!error.empty());
    }

    const std::string path = fuzz::ScratchDirectory() + "registry";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(size));
        FUZZ_CHECK(out.good());
    }
    Registry registry(path);
    RegistryTree tree;
    const RegStatus read = registry.Read(&tree, &error);
    FUZZ_CHECK(read == RegStatus::kOk || read == RegStatus::kDamaged);
    const RegStatus set = registry.SetString(RegRoot::kClassesRoot, "Fuzz\\Key", "v", "x");
    if (read == RegStatus::kDamaged) {
        FUZZ_CHECK(set == RegStatus::kDamaged);
        FUZZ_CHECK(FileBytes(path) == text);
    } else {
        FUZZ_CHECK(set == RegStatus::kOk);
        std::string value;
        FUZZ_CHECK(registry.QueryString(RegRoot::kClassesRoot, "fuzz\\KEY", "V", &value) ==
                   RegStatus::kOk);
        FUZZ_CHECK(value == "x");
    }
    return 0;
}
