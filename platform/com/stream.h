// IStream over memory and over files, IStorage as a set of named memory streams, and the
// little-endian readers and writers persistence code uses on them.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/bstr.h"
#include "platform/com/unknown.h"

namespace quenda {

inline constexpr IID IID_ISequentialStream = {0x0C733A30, 0x2A1C, 0x11CE, {0xAD, 0xE5, 0x00, 0xAA, 0x00, 0x44, 0x77, 0x3D}};
inline constexpr IID IID_IStream = {0x0000000C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IStorage = {0x0000000B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

enum STREAM_SEEK : uint32_t { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };

// Access modes of CreateStream/OpenStream and of file streams.
inline constexpr uint32_t STGM_READ = 0x0;
inline constexpr uint32_t STGM_WRITE = 0x1;
inline constexpr uint32_t STGM_READWRITE = 0x2;
inline constexpr uint32_t STGM_CREATE = 0x1000;

class ISequentialStream : public IUnknown {
public:
    // Reads up to size bytes; fewer (down to 0) at the end of the stream, still S_OK.
    virtual HRESULT Read(void* data, ULONG size, ULONG* read) = 0;
    // Writes all size bytes or fails (STG_E_MEDIUMFULL, STG_E_WRITEFAULT, STG_E_ACCESSDENIED).
    virtual HRESULT Write(const void* data, ULONG size, ULONG* written) = 0;

protected:
    ~ISequentialStream() = default;
};

class IStream : public ISequentialStream {
public:
    // Moves the position; STG_E_INVALIDFUNCTION for a bad origin or a position before 0.
    virtual HRESULT Seek(int64_t move, uint32_t origin, uint64_t* newPosition) = 0;
    virtual HRESULT SetSize(uint64_t size) = 0;
    virtual HRESULT Commit(uint32_t flags) = 0;
    // The stream's size in bytes.
    virtual HRESULT GetSize(uint64_t* size) = 0;

protected:
    ~IStream() = default;
};

class IStorage : public IUnknown {
public:
    // A new empty stream called name (replacing one of that name when mode has STGM_CREATE,
    // else STG_E_FILEALREADYEXISTS).
    virtual HRESULT CreateStream(LPCOLESTR name, uint32_t mode, IStream** stream) = 0;
    // The stream called name, positioned at its start; STG_E_FILENOTFOUND when missing.
    virtual HRESULT OpenStream(LPCOLESTR name, uint32_t mode, IStream** stream) = 0;

protected:
    ~IStorage() = default;
};

// A growable stream in memory holding a copy of size bytes of data (data may be nullptr
// for an empty stream), positioned at 0. Streams larger than 1 GiB refuse to grow.
HRESULT CreateMemoryStream(const void* data, size_t size, IStream** stream);

// The whole content of a stream made by CreateMemoryStream; E_INVALIDARG for other streams.
HRESULT GetMemoryStreamBytes(IStream* stream, std::string* bytes);

// A stream over a file: mode STGM_READ opens an existing file; STGM_READWRITE|STGM_CREATE
// creates or truncates it. STG_E_FILENOTFOUND / STG_E_ACCESSDENIED when it cannot be opened.
HRESULT CreateFileStream(const char* path, uint32_t mode, IStream** stream);

// A storage whose streams live in memory.
HRESULT CreateMemoryStorage(IStorage** storage);

// Exact little-endian reads and writes: a short read is STG_E_READFAULT (nothing guessed).
HRESULT ReadExact(IStream* stream, void* data, ULONG size);
HRESULT WriteExact(IStream* stream, const void* data, ULONG size);
HRESULT ReadU16(IStream* stream, uint16_t* value);
HRESULT ReadU32(IStream* stream, uint32_t* value);
HRESULT WriteU16(IStream* stream, uint16_t value);
HRESULT WriteU32(IStream* stream, uint32_t value);

}  // namespace quenda
