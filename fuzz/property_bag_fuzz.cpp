// Fuzzes the controls' property-bag load: a bag of any names and values is loaded into a
// UDPPort and an ICMPPort; a bag a control takes is saved so that it loads again and saves the
// same.
#include <string>

#include "controls/kit/property_stream.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/hosted_controls.h"
#include "platform/com/ole_interfaces.h"
#include "platform/com/property_bag.h"

using namespace quenda;

namespace {

// Both controls' persisted names, in other letter cases, and names neither knows.
constexpr const char16_t* kNames[] = {
    u"InBufferSize", u"LocalPort",     u"MaxPacketSize", u"OutBufferSize",  u"RemoteHost",
    u"RemotePort",   u"UseConnection", u"WinsockLoaded", u"MaxMessageSize", u"MessageSubType",
    u"MessageType",  u"remotehost",    u"MAXPACKETSIZE", u"TimeToLive",     u"",
    u"Unknown"};

ComPtr<IPropertyBag> NewBag() {
    ComPtr<IPropertyBag> bag;
    FUZZ_CHECK(CreateMemoryPropertyBag(bag.Out()) == S_OK);
    return bag;
}

// The record body as a persisted value, or as text when it is none.
void ValueOf(std::string_view body, VARIANT* value) {
    ComPtr<IStream> stream;
    FUZZ_CHECK(CreateMemoryStream(body.data(), body.size(), stream.Out()) == S_OK);
    if (SUCCEEDED(ReadPersistedValue(stream.Get(), value))) return;
    *value = MakeVariantBstr(BstrFromLatin1(body));
}

// Every persisted property of the control, saved into a new bag, as one stream of values.
std::string SavedText(IPersistPropertyBag* persist, ComPtr<IPropertyBag>* bag) {
    *bag = NewBag();
    FUZZ_CHECK(persist->Save(bag->Get(), 1, 1) == S_OK);
    ComPtr<IStream> stream;
    FUZZ_CHECK(CreateMemoryStream(nullptr, 0, stream.Out()) == S_OK);
    for (const char16_t* name : kNames) {
        Variant value;
        if (FAILED((*bag)->Read(name, value.Get(), nullptr))) continue;
        FUZZ_CHECK(WritePersistedValue(stream.Get(), *value.Get()) == S_OK);
    }
    std::string bytes;
    FUZZ_CHECK(GetMemoryStreamBytes(stream.Get(), &bytes) == S_OK);
    return bytes;
}

ComPtr<IPersistPropertyBag> NewControl(int kind) {
    ComPtr<IPersistPropertyBag> persist;
    FUZZ_CHECK(fuzz::CreateControl(kind).As(IID_IPersistPropertyBag, &persist) == S_OK);
    return persist;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::HostControls();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ComPtr<IPropertyBag> bag = NewBag();
    fuzz::RecordReader records(fuzz::AsText(data, size));
    uint8_t tag = 0;
    std::string_view body;
    while (records.Next(&tag, &body)) {
        Variant value;
        ValueOf(body, value.Get());
        FUZZ_CHECK(bag->Write(kNames[tag % std::size(kNames)], value.Get()) == S_OK);
    }
    for (int kind = 0; kind < fuzz::kControlKinds; ++kind) {
        ComPtr<IPersistPropertyBag> control = NewControl(kind);
        if (control->Load(bag.Get(), nullptr) != S_OK) continue;
        ComPtr<IPropertyBag> saved;
        const std::string text = SavedText(control.Get(), &saved);
        ComPtr<IPersistPropertyBag> other = NewControl(kind);
        FUZZ_CHECK(other->Load(saved.Get(), nullptr) == S_OK);
        ComPtr<IPropertyBag> again;
        FUZZ_CHECK(SavedText(other.Get(), &again) == text);
    }
    return 0;
}
