// Checks streams over memory and files, named streams of a storage, property bags and the
// ambient properties of a host site.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/com/ole_interfaces.h"
#include "tests/support/temp_directory.h"

namespace quenda {
namespace {

using test::TempDirectory;

TEST(ComStreamTest, MemoryStreamReadsShortAtTheEndAndGrowsOnWrite) {
    ComPtr<IStream> s;
    ASSERT_EQ(CreateMemoryStream("abc", 3, s.Out()), S_OK);
    char buffer[8] = {};
    ULONG read = 99;
    ASSERT_EQ(s->Read(buffer, 8, &read), S_OK);
    EXPECT_EQ(read, 3u);
    EXPECT_EQ(s->Read(buffer, 8, &read), S_OK);
    EXPECT_EQ(read, 0u);
    uint32_t word = 0;
    EXPECT_EQ(ReadU32(s.Get(), &word), STG_E_READFAULT);

    uint64_t position = 0;
    ASSERT_EQ(s->Seek(2, STREAM_SEEK_END, &position), S_OK);
    EXPECT_EQ(position, 5u);
    ASSERT_EQ(WriteU16(s.Get(), 0x0300), S_OK);
    std::string bytes;
    ASSERT_EQ(GetMemoryStreamBytes(s.Get(), &bytes), S_OK);
    EXPECT_EQ(bytes, std::string("abc\0\0\x00\x03", 7));
    EXPECT_EQ(s->Seek(-8, STREAM_SEEK_END, &position), STG_E_INVALIDFUNCTION);
    EXPECT_EQ(s->Seek(0, 7, &position), STG_E_INVALIDFUNCTION);
    ASSERT_EQ(s->Seek(-2, STREAM_SEEK_CUR, &position), S_OK);
    uint16_t half = 0;
    ASSERT_EQ(ReadU16(s.Get(), &half), S_OK);
    EXPECT_EQ(half, 0x0300);
    ASSERT_EQ(s->SetSize(1), S_OK);
    uint64_t size = 0;
    s->GetSize(&size);
    EXPECT_EQ(size, 1u);
}

TEST(ComStreamTest, FileStreamsWriteReadAndRefuse) {
    TempDirectory dir;
    std::string path = (dir / "contents.bin").string();
    ComPtr<IStream> out;
    ASSERT_EQ(CreateFileStream(path.c_str(), STGM_READWRITE | STGM_CREATE, out.Out()), S_OK);
    ASSERT_EQ(WriteU32(out.Get(), 0x0300), S_OK);
    ASSERT_EQ(out->Commit(0), S_OK);
    out.Reset();
    ComPtr<IStream> in;
    ASSERT_EQ(CreateFileStream(path.c_str(), STGM_READ, in.Out()), S_OK);
    uint32_t version = 0;
    ASSERT_EQ(ReadU32(in.Get(), &version), S_OK);
    EXPECT_EQ(version, 0x0300u);
    EXPECT_EQ(WriteU32(in.Get(), 1), STG_E_ACCESSDENIED);
    EXPECT_EQ(ReadU32(in.Get(), &version), STG_E_READFAULT);
    EXPECT_EQ(CreateFileStream((dir / "missing").c_str(), STGM_READ, in.Out()), STG_E_FILENOTFOUND);
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(CreateFileStream((dir / "fifo").c_str(), STGM_READ, in.Out()), STG_E_ACCESSDENIED);
}

TEST(ComStreamTest, StorageHoldsNamedStreams) {
    ComPtr<IStorage> storage;
    ASSERT_EQ(CreateMemoryStorage(storage.Out()), S_OK);
    ComPtr<IStream> s;
    EXPECT_EQ(storage->OpenStream(u"Contents", STGM_READ, s.Out()), STG_E_FILENOTFOUND);
    ASSERT_EQ(storage->CreateStream(u"Contents", STGM_READWRITE, s.Out()), S_OK);
    ASSERT_EQ(WriteU32(s.Get(), 42), S_OK);
    EXPECT_EQ(storage->CreateStream(u"Contents", STGM_READWRITE, s.Out()), STG_E_FILEALREADYEXISTS);
    ComPtr<IStream> again;
    ASSERT_EQ(storage->OpenStream(u"Contents", STGM_READ, again.Out()), S_OK);
    uint32_t value = 0;
    ASSERT_EQ(ReadU32(again.Get(), &value), S_OK);
    EXPECT_EQ(value, 42u);
    ASSERT_EQ(storage->CreateStream(u"Contents", STGM_READWRITE | STGM_CREATE, s.Out()), S_OK);
    ASSERT_EQ(storage->OpenStream(u"Contents", STGM_READ, again.Out()), S_OK);
    EXPECT_EQ(ReadU32(again.Get(), &value), STG_E_READFAULT);
}

TEST(PropertyBagTest, ReadsConvertToTheAskedTypeAndMissingNamesFail) {
    ComPtr<IPropertyBag> bag;
    ASSERT_EQ(CreateMemoryPropertyBag(bag.Out()), S_OK);
    VARIANT port = MakeVariantI4(53);
    ASSERT_EQ(bag->Write(u"LocalPort", &port), S_OK);
    BSTR host = SysAllocString(u"10.0.0.1");
    VARIANT hostRef;
    VariantInit(&hostRef);
    hostRef.vt = VT_BYREF | VT_BSTR;
    hostRef.pbstrVal = &host;
    ASSERT_EQ(bag->Write(u"RemoteHost", &hostRef), S_OK);
    SysFreeString(host);  // the bag keeps its own copy
    EXPECT_EQ(MemoryPropertyBagCount(bag.Get()), 2);

    Variant asText;
    asText->vt = VT_BSTR;
    ASSERT_EQ(bag->Read(u"localport", asText.Get(), nullptr), S_OK);
    EXPECT_EQ(BstrView(asText->bstrVal), u"53");
    Variant any;
    ASSERT_EQ(bag->Read(u"RemoteHost", any.Get(), nullptr), S_OK);
    EXPECT_EQ(BstrView(any->bstrVal), u"10.0.0.1");
    Variant number;
    number->vt = VT_I4;
    EXPECT_EQ(bag->Read(u"RemoteHost", number.Get(), nullptr), DISP_E_TYPEMISMATCH);
    Variant missing;
    EXPECT_EQ(bag->Read(u"Nope", missing.Get(), nullptr), E_INVALIDARG);
    VARIANT replaced = MakeVariantI4(54);
    ASSERT_EQ(bag->Write(u"LOCALPORT", &replaced), S_OK);
    EXPECT_EQ(MemoryPropertyBagCount(bag.Get()), 2);
}

TEST(HostSiteTest, AnswersAmbientProperties) {
    ComPtr<IOleClientSite> site;
    HostAmbients ambients;
    ambients.userMode = false;
    ambients.scaleUnits = u"Pixel";
    ASSERT_EQ(CreateHostSite(ambients, site.Out()), S_OK);
    Variant mode;
    ASSERT_EQ(GetAmbientProperty(site.Get(), DISPID_AMBIENT_USERMODE, mode.Get()), S_OK);
    EXPECT_EQ(mode->vt, VT_BOOL);
    EXPECT_EQ(mode->boolVal, VARIANT_FALSE);
    ASSERT_EQ(SetHostSiteUserMode(site.Get(), true), S_OK);
    ASSERT_EQ(GetAmbientProperty(site.Get(), DISPID_AMBIENT_USERMODE, mode.Get()), S_OK);
    EXPECT_EQ(mode->boolVal, VARIANT_TRUE);
    Variant units;
    ASSERT_EQ(GetAmbientProperty(site.Get(), DISPID_AMBIENT_SCALEUNITS, units.Get()), S_OK);
    EXPECT_EQ(BstrView(units->bstrVal), u"Pixel");
    Variant other;
    EXPECT_EQ(GetAmbientProperty(site.Get(), -799, other.Get()), DISP_E_MEMBERNOTFOUND);
}

}  // namespace
}  // namespace quenda
