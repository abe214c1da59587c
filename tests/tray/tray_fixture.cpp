// Hosts PindleTray the way the program does, over the recording shell.
#include "tests/tray/tray_fixture.h"

#include <QBuffer>
#include <QImage>
#include <cstdio>

namespace quenda::test {
namespace {

std::string Number(const VARIANT& v) {
    char text[32];
    if (v.vt == (VT_BYREF | VT_I2))
        std::snprintf(text, sizeof text, "%d", *v.piVal);
    else if (v.vt == (VT_BYREF | VT_R4))
        std::snprintf(text, sizeof text, "%g", static_cast<double>(*v.pfltVal));
    else
        std::snprintf(text, sizeof text, "?");
    return text;
}

ComPtr<IShellPicture> Picture(const QByteArray& bytes) {
    ComPtr<IShellPicture> picture;
    EXPECT_EQ(LoadPictureData(bytes.constData(), static_cast<size_t>(bytes.size()), picture.Out()),
              S_OK);
    return picture;
}

QByteArray Encoded(QColor color, const char* format) {
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

}  // namespace

HRESULT TraySink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                         UINT*) {
    static const char* const kNames[] = {"?",         "Click",     "DblClick",
                                         "MouseDown", "MouseMove", "MouseUp"};
    std::string text = id >= 1 && id <= 5 ? kNames[id] : "?";
    if (params->cArgs > 0) {
        text += "(";
        // Arguments come last first.
        for (UINT i = params->cArgs; i-- > 0;) {
            allByReference = allByReference && (params->rgvarg[i].vt & VT_BYREF);
            text += Number(params->rgvarg[i]) + (i > 0 ? "," : ")");
        }
    }
    events.push_back(text);
    return S_OK;
}

void TrayTest::SetUp() {
    Registry::SetProcessPath(dir_ / "registry");
    ASSERT_EQ(CoRegisterServerLibrary(QUENDA_PINDLETRAY_LIBRARY, 1), S_OK);
    icon_ = Picture(
        QByteArray::fromStdString(TempDirectory::ReadText(QUENDA_ICON_DIR "/quenda-tray.svg")));
    otherIcon_ = Picture(
        QByteArray::fromStdString(TempDirectory::ReadText(QUENDA_ICON_DIR "/pindletray.svg")));
    thirdIcon_ = Picture(Encoded(Qt::red, "PNG"));
    bitmap_ = Picture(Encoded(Qt::blue, "BMP"));
}

void TrayTest::TearDown() {
    trays_.clear();
    icon_.Reset();
    otherIcon_.Reset();
    thirdIcon_.Reset();
    bitmap_.Reset();
    CoFreeUnusedLibraries();
}

ComPtr<IPindleTray> TrayTest::Create(bool userMode, const char16_t* scaleUnits) {
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(kPindleTrayProgId, &clsid), S_OK);
    ComPtr<IPindleTray> tray;
    EXPECT_EQ(
        CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPindleTray, tray.OutVoid()),
        S_OK);
    if (!tray) return tray;
    ComPtr<IOleObject> ole;
    ComPtr<IOleClientSite> site;
    HostAmbients ambients;
    ambients.userMode = userMode;
    ambients.scaleUnits = scaleUnits;
    EXPECT_EQ(CreateHostSite(ambients, site.Out()), S_OK);
    EXPECT_EQ(tray.As(IID_IOleObject, &ole), S_OK);
    EXPECT_EQ(ole->SetClientSite(site.Get()), S_OK);
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    uint32_t cookie = 0;
    EXPECT_EQ(tray.As(IID_IConnectionPointContainer, &container), S_OK);
    EXPECT_EQ(container->FindConnectionPoint(DIID__PindleTrayEvents, point.Out()), S_OK);
    EXPECT_EQ(point->Advise(&sink_, &cookie), S_OK);
    trays_.push_back(tray);
    return tray;
}

HWND TrayTest::WindowOf(IPindleTray* tray) {
    ComPtr<IOleWindow> window;
    HWND hwnd = nullptr;
    EXPECT_EQ(tray->QueryInterface(IID_IOleWindow, window.OutVoid()), S_OK);
    if (window) EXPECT_EQ(window->GetWindow(&hwnd), S_OK);
    return hwnd;
}

HICON TrayTest::HandleOf(IShellPicture* picture) {
    int32_t handle = 0;
    EXPECT_EQ(picture->get_Handle(&handle), S_OK);
    return static_cast<HICON>(handle);
}

VARIANT TrayTest::Arg(IShellPicture* picture) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = picture;
    return v;
}

std::string TrayTest::Text(IPindleTray* tray, HRESULT (IPindleTray::*get)(BSTR*)) {
    Bstr text;
    EXPECT_EQ((tray->*get)(text.Out()), S_OK);
    return Latin1FromBstr(text.Get());
}

HRESULT TrayTest::PutText(IPindleTray* tray, std::u16string_view text) {
    Bstr value(text);
    return tray->put_ToolTipText(value.Get());
}

std::vector<NotifyCall> TrayTest::CallsOf(DWORD message) const {
    std::vector<NotifyCall> found;
    for (const NotifyCall& call : shell_.calls) {
        if (call.message == message) found.push_back(call);
    }
    return found;
}

}  // namespace quenda::test
