// The registry kept in one text file: snapshots for reading, locked atomic updates.
#include "platform/registry/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "platform/files/atomic_file.h"

namespace quenda {
namespace {

std::string Describe(const std::filesystem::path& file, const std::string& what) {
    return "registry " + file.string() + ": " + what;
}

std::string ErrnoText(int err) {
    return std::strerror(err);
}

// Reads the whole file; kNotFound when it does not exist.
RegStatus ReadFile(const std::filesystem::path& file, std::string* text, std::string* error) {
    text->clear();
    // Non-blocking, so a FIFO or device put in the file's place cannot stall the reader.
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return RegStatus::kNotFound;
        *error = Describe(file, "cannot open: " + ErrnoText(errno));
        return RegStatus::kIoError;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        *error = Describe(file, "not a regular file");
        return RegStatus::kDamaged;
    }
    if (static_cast<std::uintmax_t>(st.st_size) > kMaxRegistryFileSize) {
        ::close(fd);
        *error = Describe(file, "damaged (file too large)");
        return RegStatus::kDamaged;
    }
    char buffer[8192];
    while (true) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            int err = errno;
            ::close(fd);
            *error = Describe(file, "cannot read: " + ErrnoText(err));
            return RegStatus::kIoError;
        }
        if (n == 0) break;
        text->append(buffer, static_cast<size_t>(n));
        if (text->size() > kMaxRegistryFileSize) {
            ::close(fd);
            *error = Describe(file, "damaged (file too large)");
            return RegStatus::kDamaged;
        }
    }
    ::close(fd);
    return RegStatus::kOk;
}

RegStatus LoadTree(const std::filesystem::path& file, RegistryTree* tree, std::string* error) {
    *tree = RegistryTree();
    std::string text;
    RegStatus status = ReadFile(file, &text, error);
    if (status == RegStatus::kNotFound) return RegStatus::kOk;
    if (status != RegStatus::kOk) return status;
    std::string reason;
    if (!RegistryTree::Parse(text, tree, &reason)) {
        *error = Describe(file, "damaged at " + reason);
        return RegStatus::kDamaged;
    }
    return RegStatus::kOk;
}

RegStatus WriteTreeAtomically(const std::filesystem::path& file, const RegistryTree& tree,
                              std::string* error) {
    std::string reason;
    if (WriteFileAtomically(file.string(), tree.Serialize(), &reason)) return RegStatus::kOk;
    *error = "registry " + reason;
    return RegStatus::kIoError;
}

}  // namespace

std::filesystem::path Registry::DefaultPath() {
    const char* explicitPath = std::getenv(kRegistryPathVariable);
    if (explicitPath != nullptr && *explicitPath != '\0') return explicitPath;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && *config == '/')
        return std::filesystem::path(config) / "quenda" / "registry";
    const char* home = std::getenv("HOME");
    std::filesystem::path base = (home != nullptr && *home != '\0') ? home : "/tmp";
    return base / ".config" / "quenda" / "registry";
}

void Registry::SetProcessPath(const std::filesystem::path& path) {
    ::setenv(kRegistryPathVariable, path.c_str(), 1);
}

Registry::Registry(std::filesystem::path file) : file_(std::move(file)) {}

RegStatus Registry::Read(RegistryTree* tree, std::string* error) const {
    std::string ignored;
    RegStatus status = LoadTree(file_, tree, error != nullptr ? error : &ignored);
    if (status != RegStatus::kOk) *tree = RegistryTree();
    return status;
}

RegStatus Registry::Update(const std::function<bool(RegistryTree&)>& change, std::string* error) {
    std::string ignored;
    std::string* reason = error != nullptr ? error : &ignored;
    std::error_code ec;
    if (file_.has_parent_path()) std::filesystem::create_directories(file_.parent_path(), ec);
    const FileWriterLock lock(file_.string());
    if (!lock.Held()) {
        *reason = "registry " + lock.Error();
        return RegStatus::kIoError;
    }
    RegistryTree tree;
    RegStatus status = LoadTree(file_, &tree, reason);
    if (status != RegStatus::kOk) return status;
    if (!change(tree)) return RegStatus::kOk;
    return WriteTreeAtomically(file_, tree, reason);
}

RegStatus Registry::QueryString(RegRoot root, std::string_view keyPath, std::string_view valueName,
                                std::string* value, std::string* error) const {
    RegistryTree tree;
    RegStatus status = Read(&tree, error);
    if (status != RegStatus::kOk) return status;
    const RegistryKey* key = tree.Find(root, keyPath);
    const std::string* found = key != nullptr ? key->FindValue(valueName) : nullptr;
    if (found == nullptr) return RegStatus::kNotFound;
    *value = *found;
    return RegStatus::kOk;
}

RegStatus Registry::SetString(RegRoot root, std::string_view keyPath, std::string_view valueName,
                              std::string_view value, std::string* error) {
    bool valid = true;
    RegStatus status = Update(
        [&](RegistryTree& tree) {
            RegistryKey* key = tree.Create(root, keyPath);
            valid = key != nullptr && key->SetValue(valueName, value);
            return valid;
        },
        error);
    if (status == RegStatus::kOk && !valid) return RegStatus::kInvalidArgument;
    return status;
}

RegStatus Registry::DeleteKey(RegRoot root, std::string_view keyPath, std::string* error) {
    bool found = false;
    RegStatus status = Update(
        [&](RegistryTree& tree) {
            found = tree.Delete(root, keyPath);
            return found;
        },
        error);
    if (status == RegStatus::kOk && !found) return RegStatus::kNotFound;
    return status;
}

}  // namespace quenda
