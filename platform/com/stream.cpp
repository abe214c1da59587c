// IStream over memory and over files, IStorage as a set of named memory streams, and the
// little-endian readers and writers persistence code uses on them.
#include "platform/com/stream.h"

#include "platform/com/com_object.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

namespace quenda {
namespace {

constexpr uint64_t kMaxMemoryStream = 1u << 30;

// Streams answer the same three interfaces, whatever they stream from.
bool IsStreamIid(REFIID iid) { return iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream; }

HRESULT NewPosition(uint64_t current, uint64_t size, int64_t move, uint32_t origin, uint64_t* out) {
    int64_t base = 0;
    switch (origin) {
        case STREAM_SEEK_SET: base = 0; break;
        case STREAM_SEEK_CUR: base = static_cast<int64_t>(current); break;
        case STREAM_SEEK_END: base = static_cast<int64_t>(size); break;
        default: return STG_E_INVALIDFUNCTION;
    }
    if ((move > 0 && base > INT64_MAX - move) || base + move < 0) return STG_E_INVALIDFUNCTION;
    *out = static_cast<uint64_t>(base + move);
    return S_OK;
}

// Shared so that a storage keeps its streams' bytes while a stream object is open.
using Bytes = std::shared_ptr<std::string>;

class MemoryStream final : public ComObject<IStream> {
public:
    explicit MemoryStream(Bytes bytes) : bytes_(std::move(bytes)) {}

    HRESULT Read(void* data, ULONG size, ULONG* read) override {
        if (data == nullptr && size > 0) return STG_E_INVALIDPOINTER;
        uint64_t available = position_ < bytes_->size() ? bytes_->size() - position_ : 0;
        ULONG n = static_cast<ULONG>(available < size ? available : size);
        if (n > 0) std::memcpy(data, bytes_->data() + position_, n);
        position_ += n;
        if (read != nullptr) *read = n;
        return S_OK;
    }
    HRESULT Write(const void* data, ULONG size, ULONG* written) override {
        if (written != nullptr) *written = 0;
        if (data == nullptr && size > 0) return STG_E_INVALIDPOINTER;
        if (position_ + size > kMaxMemoryStream) return STG_E_MEDIUMFULL;
        if (bytes_->size() < position_ + size) bytes_->resize(position_ + size, '\0');
        if (size > 0) std::memcpy(bytes_->data() + position_, data, size);
        position_ += size;
        if (written != nullptr) *written = size;
        return S_OK;
    }
    HRESULT Seek(int64_t move, uint32_t origin, uint64_t* newPosition) override {
        uint64_t target = 0;
        HRESULT hr = NewPosition(position_, bytes_->size(), move, origin, &target);
        if (FAILED(hr)) return hr;
        position_ = target;
        if (newPosition != nullptr) *newPosition = target;
        return S_OK;
    }
    HRESULT SetSize(uint64_t size) override {
        if (size > kMaxMemoryStream) return STG_E_MEDIUMFULL;
        bytes_->resize(size, '\0');
        return S_OK;
    }
    HRESULT Commit(uint32_t) override { return S_OK; }
    HRESULT GetSize(uint64_t* size) override {
        if (size == nullptr) return E_POINTER;
        *size = bytes_->size();
        return S_OK;
    }

    const std::string& Content() const { return *bytes_; }

private:
    void* FindInterface(REFIID iid) override { return IsStreamIid(iid) ? static_cast<IStream*>(this) : nullptr; }

    Bytes bytes_;            // the stream's content
    uint64_t position_ = 0;  // may lie past the end; a write there fills the gap with zeros
};

class FileStream final : public ComObject<IStream> {
public:
    FileStream(int fd, bool writable) : fd_(fd), writable_(writable) {}

    HRESULT Read(void* data, ULONG size, ULONG* read) override {
        if (read != nullptr) *read = 0;
        if (data == nullptr && size > 0) return STG_E_INVALIDPOINTER;
        ULONG done = 0;
        while (done < size) {
            ssize_t n = ::pread(fd_, static_cast<char*>(data) + done, size - done, static_cast<off_t>(position_));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return STG_E_READFAULT;
            if (n == 0) break;
            done += static_cast<ULONG>(n);
            position_ += static_cast<uint64_t>(n);
        }
        if (read != nullptr) *read = done;
        return S_OK;
    }
    HRESULT Write(const void* data, ULONG size, ULONG* written) override {
        if (written != nullptr) *written = 0;
        if (!writable_) return STG_E_ACCESSDENIED;
        if (data == nullptr && size > 0) return STG_E_INVALIDPOINTER;
        ULONG done = 0;
        while (done < size) {
            ssize_t n = ::pwrite(fd_, static_cast<const char*>(data) + done, size - done, static_cast<off_t>(position_));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return errno == ENOSPC ? STG_E_MEDIUMFULL : STG_E_WRITEFAULT;
            done += static_cast<ULONG>(n);
            position_ += static_cast<uint64_t>(n);
        }
        if (written != nullptr) *written = done;
        return S_OK;
    }
    HRESULT Seek(int64_t move, uint32_t origin, uint64_t* newPosition) override {
        uint64_t size = 0;
        HRESULT hr = GetSize(&size);
        if (FAILED(hr)) return hr;
        uint64_t target = 0;
        hr = NewPosition(position_, size, move, origin, &target);
        if (FAILED(hr)) return hr;
        position_ = target;
        if (newPosition != nullptr) *newPosition = target;
        return S_OK;
    }
    HRESULT SetSize(uint64_t size) override {
        if (!writable_) return STG_E_ACCESSDENIED;
        return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? S_OK : STG_E_WRITEFAULT;
    }
    HRESULT Commit(uint32_t) override {
        if (writable_ && ::fsync(fd_) != 0) return STG_E_WRITEFAULT;
        return S_OK;
    }
    HRESULT GetSize(uint64_t* size) override {
        if (size == nullptr) return E_POINTER;
        struct stat st {};
        if (::fstat(fd_, &st) != 0) return STG_E_READFAULT;
        *size = static_cast<uint64_t>(st.st_size);
        return S_OK;
    }

private:
    ~FileStream() override { ::close(fd_); }
    void* FindInterface(REFIID iid) override { return IsStreamIid(iid) ? static_cast<IStream*>(this) : nullptr; }

    int fd_;                 // owned
    bool writable_;          // opened for writing
    uint64_t position_ = 0;  // next byte read or written
};

class MemoryStorage final : public ComObject<IStorage> {
public:
    HRESULT CreateStream(LPCOLESTR name, uint32_t mode, IStream** stream) override {
        if (name == nullptr || stream == nullptr) return STG_E_INVALIDPOINTER;
        *stream = nullptr;
        std::u16string key(name);
        auto it = streams_.find(key);
        if (it != streams_.end() && !(mode & STGM_CREATE)) return STG_E_FILEALREADYEXISTS;
        // A replaced stream starts over; streams already open on the old one keep it.
        Bytes bytes = std::make_shared<std::string>();
        streams_[key] = bytes;
        *stream = new MemoryStream(bytes);
        return S_OK;
    }
    HRESULT OpenStream(LPCOLESTR name, uint32_t, IStream** stream) override {
        if (name == nullptr || stream == nullptr) return STG_E_INVALIDPOINTER;
        *stream = nullptr;
        auto it = streams_.find(name);
        if (it == streams_.end()) return STG_E_FILENOTFOUND;
        *stream = new MemoryStream(it->second);
        return S_OK;
    }

private:
    void* FindInterface(REFIID iid) override {
        return (iid == IID_IUnknown || iid == IID_IStorage) ? static_cast<IStorage*>(this) : nullptr;
    }

    std::map<std::u16string, Bytes, std::less<>> streams_;  // by exact name
};

}  // namespace

HRESULT CreateMemoryStream(const void* data, size_t size, IStream** stream) {
    if (stream == nullptr || (data == nullptr && size > 0)) return E_INVALIDARG;
    *stream = nullptr;
    if (size > kMaxMemoryStream) return E_OUTOFMEMORY;
    auto bytes = std::make_shared<std::string>(static_cast<const char*>(data ? data : ""), size);
    *stream = new MemoryStream(std::move(bytes));
    return S_OK;
}

HRESULT GetMemoryStreamBytes(IStream* stream, std::string* bytes) {
    auto* memory = dynamic_cast<MemoryStream*>(stream);
    if (memory == nullptr || bytes == nullptr) return E_INVALIDARG;
    *bytes = memory->Content();
    return S_OK;
}

HRESULT CreateFileStream(const char* path, uint32_t mode, IStream** stream) {
    if (path == nullptr || stream == nullptr) return E_INVALIDARG;
    *stream = nullptr;
    bool writable = (mode & (STGM_WRITE | STGM_READWRITE)) != 0;
    int flags = O_CLOEXEC | (writable ? O_RDWR : O_RDONLY);
    if (mode & STGM_CREATE) flags |= O_CREAT | O_TRUNC;
    // Opened non-blocking so a FIFO in the file's place is refused rather than waited on.
    int fd = ::open(path, flags | O_NONBLOCK, 0644);
    if (fd < 0) return errno == ENOENT ? STG_E_FILENOTFOUND : STG_E_ACCESSDENIED;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return STG_E_ACCESSDENIED;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    *stream = new FileStream(fd, writable);
    return S_OK;
}

HRESULT CreateMemoryStorage(IStorage** storage) {
    if (storage == nullptr) return E_INVALIDARG;
    *storage = new MemoryStorage();
    return S_OK;
}

HRESULT ReadExact(IStream* stream, void* data, ULONG size) {
    if (stream == nullptr) return E_POINTER;
    ULONG read = 0;
    HRESULT hr = stream->Read(data, size, &read);
    if (FAILED(hr)) return hr;
    return read == size ? S_OK : STG_E_READFAULT;
}

HRESULT WriteExact(IStream* stream, const void* data, ULONG size) {
    if (stream == nullptr) return E_POINTER;
    ULONG written = 0;
    HRESULT hr = stream->Write(data, size, &written);
    if (FAILED(hr)) return hr;
    return written == size ? S_OK : STG_E_WRITEFAULT;
}

HRESULT ReadU16(IStream* stream, uint16_t* value) {
    unsigned char b[2];
    HRESULT hr = ReadExact(stream, b, 2);
    if (SUCCEEDED(hr)) *value = static_cast<uint16_t>(b[0] | (b[1] << 8));
    return hr;
}

HRESULT ReadU32(IStream* stream, uint32_t* value) {
    unsigned char b[4];
    HRESULT hr = ReadExact(stream, b, 4);
    if (SUCCEEDED(hr)) *value = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return hr;
}

HRESULT WriteU16(IStream* stream, uint16_t value) {
    unsigned char b[2] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8)};
    return WriteExact(stream, b, 2);
}

HRESULT WriteU32(IStream* stream, uint32_t value) {
    unsigned char b[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                          static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    return WriteExact(stream, b, 4);
}

}  // namespace quenda
