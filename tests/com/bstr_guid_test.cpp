// Checks BSTR allocation and text conversions, and the GUID text form.
#include <gtest/gtest.h>

#include "platform/com/bstr.h"
#include "platform/com/guid.h"

namespace quenda {
namespace {

TEST(BstrTest, LengthPrefixAndNullIsEmpty) {
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_TRUE(BstrView(nullptr).empty());
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    Bstr b(std::u16string_view(u"ab\0cd", 5));
    ASSERT_NE(b.Get(), nullptr);
    EXPECT_EQ(SysStringLen(b.Get()), 5u);
    EXPECT_EQ(SysStringByteLen(b.Get()), 10u);
    EXPECT_EQ(b.Get()[5], u'\0');
    Bstr odd = Bstr::Adopt(SysAllocStringByteLen("abc", 3));
    EXPECT_EQ(SysStringByteLen(odd.Get()), 3u);
    EXPECT_EQ(SysStringLen(odd.Get()), 1u);
    EXPECT_EQ(SysAllocStringLen(nullptr, kMaxBstrLength + 1), nullptr);
    BSTR re = SysAllocString(u"x");
    ASSERT_TRUE(SysReAllocString(&re, u"longer text"));
    EXPECT_EQ(BstrView(re), u"longer text");
    SysFreeString(re);
    SysFreeString(nullptr);
}

TEST(BstrTest, Latin1KeepsEveryByteAndMarksWideCharacters) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes.push_back(static_cast<char>(i));
    Bstr wide = Bstr::FromLatin1(bytes);
    ASSERT_EQ(SysStringLen(wide.Get()), 256u);
    EXPECT_EQ(wide.Get()[0], u'\0');
    EXPECT_EQ(wide.Get()[0xE9], u'\u00E9');
    EXPECT_EQ(Latin1FromBstr(wide.Get()), bytes);
    Bstr beyond(u"a\u20ACb");
    EXPECT_EQ(Latin1FromBstr(beyond.Get()), "a?b");
    EXPECT_EQ(Latin1FromBstr(nullptr), "");
}

TEST(BstrTest, Utf8ConversionsRepairMalformedInput) {
    EXPECT_EQ(Utf16FromUtf8("gr\xC3\xBC\xC3\x9F"), u"gr\u00FC\u00DF");
    EXPECT_EQ(Utf16FromUtf8("\xF0\x9F\x98\x80"), u"\U0001F600");
    EXPECT_EQ(Utf8FromUtf16(u"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Utf16FromUtf8("a\xC3"), u"a\uFFFD");            // truncated sequence
    EXPECT_EQ(Utf16FromUtf8("\xC0\xAF"), u"\uFFFD");          // overlong
    EXPECT_EQ(Utf16FromUtf8("\xED\xA0\x80"), u"\uFFFD");      // encoded surrogate
    EXPECT_EQ(Utf16FromUtf8("\xFF" "a"), u"\uFFFDa");
    std::u16string lone(1, static_cast<char16_t>(0xD800));
    EXPECT_EQ(Utf8FromUtf16(lone + u"x"), "\xEF\xBF\xBDx");
}

TEST(GuidTest, TextFormRoundTripsAndRejectsNearMisses) {
    GUID g{};
    ASSERT_TRUE(GuidFromString("{7dd95801-9882-11cf-9fa9-00aa006c42c4}", &g));
    EXPECT_EQ(g.Data1, 0x7DD95801u);
    EXPECT_EQ(g.Data2, 0x9882);
    EXPECT_EQ(g.Data4[0], 0x9F);
    EXPECT_EQ(g.Data4[7], 0xC4);
    EXPECT_EQ(GuidToString(g), "{7DD95801-9882-11CF-9FA9-00AA006C42C4}");
    GUID back{};
    ASSERT_TRUE(GuidFromString(GuidToString(g), &back));
    EXPECT_EQ(back, g);
    const GUID before = g;
    for (const char* bad : {"7DD95801-9882-11CF-9FA9-00AA006C42C4", "{7DD95801-9882-11CF-9FA9-00AA006C42C}",
                            "{7DD95801-9882-11CF-9FA9-00AA006C42CG}", "{7DD95801+9882-11CF-9FA9-00AA006C42C4}",
                            "{7DD95801-9882-11CF-9FA9-00AA006C42C4}x", ""}) {
        EXPECT_FALSE(GuidFromString(bad, &g)) << bad;
        EXPECT_EQ(g, before);
    }
}

}  // namespace
}  // namespace quenda
