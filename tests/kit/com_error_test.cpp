// Checks the conversion of component and Winsock codes into HRESULTs and error texts.
#include "controls/kit/com_error.h"

#include <gtest/gtest.h>

#include "controls/kit/error_table.h"
#include "platform/com/error_info.h"

namespace quenda {
namespace {

TEST(ComErrorTest, CodesMapToControlHresults) {
    EXPECT_EQ(HresultFromComponentCode(0), S_OK);
    EXPECT_EQ(HresultFromComponentCode(104), MakeHresult(0x800A4E89));
    EXPECT_EQ(HresultFromComponentCode(10035), MakeHresult(0x800A61CC));
    EXPECT_EQ(HresultFromComponentCode(10048) & 0xFFFF, 25049);
    EXPECT_EQ(HresultFromComponentCode(200), MakeHresult(0x800A0007));
    EXPECT_EQ(HresultFromComponentCode(10000) & 0xFFFF, 30001);
    EXPECT_EQ(HresultFromComponentCode(10001) & 0xFFFF, 25002);
    // Out-of-range codes stay inside the code field instead of corrupting the facility.
    EXPECT_EQ(static_cast<uint32_t>(HresultFromComponentCode(70000)) & 0xFFFF0000u, 0x800A0000u);
    EXPECT_EQ(static_cast<uint32_t>(HresultFromComponentCode(-30000)) & 0xFFFF0000u, 0x800A0000u);
}

TEST(ComErrorTest, TextsComeFromTheTableOrTheFallbacks) {
    EXPECT_EQ(ComponentCodeText(301), "Interrupted.");
    EXPECT_EQ(ComponentCodeText(200), "Out of memory.");
    EXPECT_EQ(ComponentCodeText(10035), "[10035] Operation would block");
    EXPECT_EQ(ComponentCodeText(10066), "[10066] Directory not empt");
    EXPECT_EQ(ComponentCodeText(11002),
              "[11002] Non-authoritative 'Host not found' (try again or check DNS setup)");
    EXPECT_EQ(ComponentCodeText(150), "[150] (no description available)");
    EXPECT_EQ(ComponentCodeText(10010), "[10010] (no description available)");
    EXPECT_EQ(ErrorTableEnd() - ErrorTableBegin(), 50);
    for (const ErrorTableEntry* e = ErrorTableBegin() + 1; e != ErrorTableEnd(); ++e)
        EXPECT_LT((e - 1)->code, e->code);
}

std::u16string Description() {
    ComPtr<IErrorInfo> error;
    if (GetErrorInfo(0, error.Out()) != S_OK) return u"<none>";
    Bstr text;
    error->GetDescription(text.Out());
    return std::u16string(text.View());
}

TEST(ComErrorTest, ReportsPreferTheOperationsMessage) {
    ErrorSource source{u"UDPPort.UDPPort.1", u"tarnel.hlp"};
    EXPECT_EQ(ReportComponentCode(104, "UDPPort is already Active.", source, 21302),
              MakeHresult(0x800A4E89));
    ComPtr<IErrorInfo> error;
    ASSERT_EQ(GetErrorInfo(0, error.Out()), S_OK);
    Bstr text, progId, helpFile;
    uint32_t context = 0;
    GUID guid{1, 1, 1, {1}};
    error->GetDescription(text.Out());
    error->GetSource(progId.Out());
    error->GetHelpFile(helpFile.Out());
    error->GetHelpContext(&context);
    error->GetGUID(&guid);
    EXPECT_EQ(text.View(), u"UDPPort is already Active.");
    EXPECT_EQ(progId.View(), u"UDPPort.UDPPort.1");
    EXPECT_EQ(helpFile.View(), u"tarnel.hlp");
    EXPECT_EQ(context, 21302u);
    EXPECT_EQ(guid, GUID_NULL);

    ReportComponentCode(10035, nullptr, source, 21303);
    EXPECT_EQ(Description(), u"[10035] Operation would block");
    // Out of memory never trusts a message and carries no help context.
    ReportComponentCode(200, "something else", source, 21308);
    ASSERT_EQ(GetErrorInfo(0, error.Out()), S_OK);
    error->GetDescription(text.Out());
    error->GetHelpContext(&context);
    EXPECT_EQ(text.View(), u"Out of memory.");
    EXPECT_EQ(context, 0u);
    // Success leaves no record behind.
    EXPECT_EQ(ReportComponentCode(0, "ignored", source, 1), S_OK);
    EXPECT_EQ(Description(), u"<none>");
}

TEST(ComErrorTest, GuardsHaveTheirOwnResultsAndTexts) {
    ErrorSource source{u"X.Y.1", u"x.hlp"};
    EXPECT_EQ(ReportPropertyGuard(PropertyGuard::kRuntimeOnly, source, 1), MakeHresult(0x800A018A));
    EXPECT_EQ(Description(), u"Property is runtime only (no supported in design time).");
    EXPECT_EQ(ReportPropertyGuard(PropertyGuard::kReadOnly, source, 1), MakeHresult(0x800A017F));
    EXPECT_EQ(Description(), u"Property is read-only.");
    EXPECT_EQ(ReportPropertyGuard(PropertyGuard::kWriteOnly, source, 1), MakeHresult(0x800A018A));
    EXPECT_EQ(Description(), u"Property is write-only.");
    EXPECT_EQ(ReportPropertyGuard(PropertyGuard::kByteArray, source, 1), MakeHresult(0x800A017C));
    EXPECT_EQ(Description(), u"Property accepts only one-dimensional byte arrays.");
}

}  // namespace
}  // namespace quenda
