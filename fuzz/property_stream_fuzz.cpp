// Fuzzes the controls' persistence stream: value by value, and whole streams loaded into a
// UDPPort and an ICMPPort. A value reads back from what it writes; a stream a control takes
// is saved so that it loads again and saves the same.
#include <string>

#include "controls/kit/property_stream.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/hosted_controls.h"
#include "platform/com/ole_interfaces.h"

using namespace quenda;

namespace {

ComPtr<IStream> StreamOf(std::string_view bytes) {
    ComPtr<IStream> stream;
    FUZZ_CHECK(CreateMemoryStream(bytes.data(), bytes.size(), stream.Out()) == S_OK);
    return stream;
}

std::string BytesOf(IStream* stream) {
    std::string bytes;
    FUZZ_CHECK(GetMemoryStreamBytes(stream, &bytes) == S_OK);
    return bytes;
}

// Each value of the input read in turn: writing it again gives the octets it was read from.
void ValuesReadBack(std::string_view input) {
    ComPtr<IStream> stream = StreamOf(input);
    uint64_t start = 0;
    for (int i = 0; i < 64; ++i) {
        Variant value;
        if (FAILED(ReadPersistedValue(stream.Get(), value.Get()))) return;
        uint64_t end = 0;
        FUZZ_CHECK(stream->Seek(0, STREAM_SEEK_CUR, &end) == S_OK);
        FUZZ_CHECK(end > start && end <= input.size());
        ComPtr<IStream> out = StreamOf({});
        FUZZ_CHECK(WritePersistedValue(out.Get(), *value.Get()) == S_OK);
        FUZZ_CHECK(BytesOf(out.Get()) == input.substr(start, end - start));
        start = end;
    }
}

std::string Saved(IPersistStreamInit* persist) {
    ComPtr<IStream> out = StreamOf({});
    FUZZ_CHECK(persist->Save(out.Get(), 1) == S_OK);
    return BytesOf(out.Get());
}

ComPtr<IPersistStreamInit> NewControl(int kind) {
    ComPtr<IPersistStreamInit> persist;
    FUZZ_CHECK(fuzz::CreateControl(kind).As(IID_IPersistStreamInit, &persist) == S_OK);
    return persist;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::HostControls();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = fuzz::AsText(data, size);
    ValuesReadBack(input.substr(std::min<size_t>(4, size)));
    for (int kind = 0; kind < fuzz::kControlKinds; ++kind) {
        ComPtr<IPersistStreamInit> control = NewControl(kind);
        if (control->Load(StreamOf(input).Get()) != S_OK) continue;
        const std::string saved = Saved(control.Get());
        ComPtr<IPersistStreamInit> other = NewControl(kind);
        FUZZ_CHECK(other->Load(StreamOf(saved).Get()) == S_OK);
        FUZZ_CHECK(Saved(other.Get()) == saved);
    }
    return 0;
}
