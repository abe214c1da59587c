// PindleTray against the recording shell: the records it sends, when it adds and removes its
// icon, the events mouse activity raises, flashing, persistence and the design-time path.
#include <gtest/gtest.h>

#include <string>

#include "platform/com/property_bag.h"
#include "platform/com/stream.h"
#include "platform/winmsg/window.h"
#include "tests/support/qt_loop.h"
#include "tests/tray/tray_fixture.h"

namespace quenda::test {
namespace {

using PindleTrayTest = TrayTest;

TEST_F(PindleTrayTest, RecordsSentForAddPictureAndTipChanges) {
    ComPtr<IPindleTray> tray = Create();
    ASSERT_TRUE(tray);
    ASSERT_EQ(PutText(tray.Get(), u"Quenda"), S_OK);
    // Before there is a picture the tip change goes out, and nothing is added.
    ASSERT_TRUE(CallsOf(NIM_ADD).empty());

    ASSERT_EQ(tray->putref_TrayIcon(Arg(icon_.Get())), S_OK);
    std::vector<NotifyCall> adds = CallsOf(NIM_ADD);
    ASSERT_EQ(adds.size(), 1u);
    const NOTIFYICONDATAA& added = adds[0].record;
    EXPECT_EQ(added.cbSize, sizeof(NOTIFYICONDATAA));
    EXPECT_EQ(added.hWnd, WindowOf(tray.Get()));
    EXPECT_NE(added.hWnd, nullptr);
    EXPECT_EQ(added.uID, 1u);
    EXPECT_EQ(added.uFlags, 7u);
    EXPECT_EQ(added.uCallbackMessage, 512u);
    EXPECT_EQ(added.hIcon, HandleOf(icon_.Get()));
    EXPECT_EQ(adds[0].Tip(), "Quenda");

    shell_.calls.clear();
    ASSERT_EQ(tray->putref_TrayIcon(Arg(otherIcon_.Get())), S_OK);
    ASSERT_EQ(shell_.calls.size(), 1u);
    EXPECT_EQ(shell_.calls[0].message, NIM_MODIFY);
    EXPECT_EQ(shell_.calls[0].record.uFlags, 2u);
    EXPECT_EQ(shell_.calls[0].record.hIcon, HandleOf(otherIcon_.Get()));

    std::u16string seventy;
    for (int i = 0; i < 70; ++i) seventy += static_cast<char16_t>(u'A' + i % 26);
    shell_.calls.clear();
    ASSERT_EQ(PutText(tray.Get(), seventy), S_OK);
    ASSERT_EQ(shell_.calls.size(), 1u);
    EXPECT_EQ(shell_.calls[0].message, NIM_MODIFY);
    EXPECT_EQ(shell_.calls[0].record.uFlags, 4u);
    EXPECT_EQ(shell_.calls[0].Tip(), std::string(seventy.begin(), seventy.begin() + 64));
    EXPECT_EQ(Text(tray.Get(), &IPindleTray::get_ToolTipText).size(), 70u);

    shell_.calls.clear();
    ASSERT_EQ(PutText(tray.Get(), std::u16string(u"Que\0nda\0", 8)), S_OK);
    EXPECT_EQ(shell_.calls.at(0).Tip(), "Quenda");
    EXPECT_TRUE(shell_.boxes.empty());
}

TEST_F(PindleTrayTest, AddingNeedsAPictureATrayAndTheShellsConsent) {
    ComPtr<IPindleTray> tray = Create();
    ASSERT_TRUE(tray);
    // No picture: ShowIcon adds nothing and says nothing.
    ASSERT_EQ(tray->put_ShowIcon(VARIANT_TRUE), S_OK);
    EXPECT_TRUE(CallsOf(NIM_ADD).empty());
    EXPECT_TRUE(shell_.boxes.empty());

    shell_.trayAvailable = false;
    ASSERT_EQ(tray->putref_TrayIcon(Arg(icon_.Get())), S_OK);
    EXPECT_TRUE(CallsOf(NIM_ADD).empty());
    ASSERT_EQ(shell_.boxes.size(), 1u);
    EXPECT_EQ(shell_.boxes[0].text, "There is No Tray Available!!!");
    EXPECT_EQ(shell_.boxes[0].caption, "PindleTray");
    EXPECT_EQ(shell_.boxes[0].type, MB_ICONERROR);

    shell_.trayAvailable = true;
    shell_.addSucceeds = false;
    shell_.boxes.clear();
    ASSERT_EQ(tray->putref_TrayIcon(Arg(otherIcon_.Get())), S_OK);
    ASSERT_EQ(shell_.boxes.size(), 1u);
    EXPECT_EQ(shell_.boxes[0].text, "ERROR: Unable to create tray Icon");
    // Not added, so the next picture change tries to add again rather than modify.
    shell_.addSucceeds = true;
    shell_.calls.clear();
    ASSERT_EQ(tray->putref_TrayIcon(Arg(thirdIcon_.Get())), S_OK);
    ASSERT_EQ(shell_.calls.size(), 1u);
    EXPECT_EQ(shell_.calls[0].message, NIM_ADD);
    EXPECT_EQ(shell_.calls[0].record.hIcon, HandleOf(thirdIcon_.Get()));
}

TEST_F(PindleTrayTest, MouseMessagesRaiseEventsWithButtonKeysAndPosition) {
    shell_.cursor = POINT{10, 20};
    ComPtr<IPindleTray> tray = Create(true, u"Pixel");
    ASSERT_TRUE(tray);
    HWND window = WindowOf(tray.Get());
    auto mouse = [&](UINT message) { SendMessageA(window, 512, 1, static_cast<LPARAM>(message)); };

    shell_.shift = true;
    shell_.alt = true;
    mouse(516);
    mouse(517);
    EXPECT_EQ(sink_.events,
              (std::vector<std::string>{"MouseDown(2,5,10,20)", "Click", "MouseUp(2,5,10,20)"}));
    shell_.shift = shell_.alt = false;
    shell_.control = true;
    sink_.events.clear();
    for (UINT message : {512u, 513u, 514u, 515u, 518u, 519u, 520u, 521u, 522u, 511u})
        mouse(message);
    EXPECT_EQ(sink_.events,
              (std::vector<std::string>{"MouseMove(1,2,10,20)", "MouseDown(1,2,10,20)", "Click",
                                        "MouseUp(1,2,10,20)", "DblClick(1)", "DblClick(2)",
                                        "MouseDown(4,2,10,20)", "Click", "MouseUp(4,2,10,20)",
                                        "DblClick(4)"}));
    EXPECT_TRUE(sink_.allByReference);
    // Another icon's number is not ours.
    sink_.events.clear();
    SendMessageA(window, 512, 2, 513);
    EXPECT_TRUE(sink_.events.empty());

    // X and Y in the host's scale units: 10 and 20 pixels are 150 and 300 twips.
    struct Units {
        const char16_t* name;
        const char* expected;
    } units[] = {
        {u"Twip", "MouseMove(1,2,150,300)"},
        {u"points", "MouseMove(1,2,7.5,15)"},
        {u"Character", "MouseMove(1,2,1.25,1.25)"},
        {u"Inch", "MouseMove(1,2,0.104167,0.208333)"},
        {u"Millimeter", "MouseMove(1,2,2.6455,5.29101)"},
        {u"Centimeter", "MouseMove(1,2,0.26455,0.529101)"},
        {u"User", "MouseMove(1,2,150,300)"},
    };
    for (const Units& u : units) {
        ComPtr<IPindleTray> scaled = Create(true, u.name);
        sink_.events.clear();
        SendMessageA(WindowOf(scaled.Get()), 512, 1, 512);
        EXPECT_EQ(sink_.events, std::vector<std::string>{u.expected});
    }

    // Disabled, or at design time, nothing is raised.
    sink_.events.clear();
    ASSERT_EQ(tray->put_Enabled(VARIANT_FALSE), S_OK);
    mouse(516);
    mouse(515);
    ComPtr<IPindleTray> designed = Create(false);
    SendMessageA(WindowOf(designed.Get()), 512, 1, 513);
    EXPECT_TRUE(sink_.events.empty());
}

TEST_F(PindleTrayTest, FlashingAlternatesThePicturesAndStopsOnTheNormalOne) {
    ComPtr<IPindleTray> tray = Create();
    ASSERT_TRUE(tray);
    ASSERT_EQ(tray->putref_TrayIcon(Arg(icon_.Get())), S_OK);
    ASSERT_EQ(tray->putref_OnStateIcon(Arg(otherIcon_.Get())), S_OK);
    ASSERT_EQ(tray->putref_OffStateIcon(Arg(thirdIcon_.Get())), S_OK);
    ASSERT_EQ(tray->put_FlashInterval(20), S_OK);
    ASSERT_EQ(tray->put_FlashInterval(-5), S_OK);
    int32_t interval = 0;
    ASSERT_EQ(tray->get_FlashInterval(&interval), S_OK);
    EXPECT_EQ(interval, 20);

    HICON on = HandleOf(otherIcon_.Get()), off = HandleOf(thirdIcon_.Get());
    shell_.calls.clear();
    ASSERT_EQ(tray->FlashIcon(VARIANT_TRUE), S_OK);
    ASSERT_TRUE(RunLoopUntil([&] { return shell_.calls.size() >= 6; }));
    ASSERT_EQ(tray->FlashIcon(VARIANT_FALSE), S_OK);
    std::vector<HICON> shown;
    for (const NotifyCall& call : shell_.calls) {
        ASSERT_EQ(call.message, NIM_MODIFY);
        ASSERT_EQ(call.record.uFlags, 2u);
        shown.push_back(call.record.hIcon);
    }
    // The tick run at once and the on picture set after it, then the ticks alternate.
    EXPECT_EQ((std::vector<HICON>(shown.begin(), shown.begin() + 6)),
              (std::vector<HICON>{on, on, off, on, off, on}));
    EXPECT_EQ(shown.back(), HandleOf(icon_.Get()));
    size_t stopped = shell_.calls.size();
    RunLoopFor(80);
    EXPECT_EQ(shell_.calls.size(), stopped);

    // An empty phase picture falls back to the built-in one rather than showing nothing.
    VARIANT none;
    VariantInit(&none);
    ASSERT_EQ(tray->putref_OnStateIcon(none), S_OK);
    shell_.calls.clear();
    ASSERT_EQ(tray->FlashIcon(VARIANT_TRUE), S_OK);
    ASSERT_EQ(tray->FlashIcon(VARIANT_FALSE), S_OK);
    ASSERT_GE(shell_.calls.size(), 2u);
    HICON builtIn = shell_.calls[1].record.hIcon;
    EXPECT_NE(builtIn, 0u);
    for (HICON ours : {HandleOf(icon_.Get()), on, off}) EXPECT_NE(builtIn, ours);
}

TEST_F(PindleTrayTest, ShowIconRemovesAndAddsBackAndTerminationRemoves) {
    ComPtr<IPindleTray> tray = Create();
    ASSERT_TRUE(tray);
    ASSERT_EQ(tray->putref_TrayIcon(Arg(icon_.Get())), S_OK);
    ASSERT_EQ(PutText(tray.Get(), u"first"), S_OK);
    ASSERT_EQ(tray->putref_TrayIcon(Arg(otherIcon_.Get())), S_OK);
    ASSERT_EQ(PutText(tray.Get(), u"second"), S_OK);
    shell_.calls.clear();
    ASSERT_EQ(tray->put_ShowIcon(VARIANT_FALSE), S_OK);
    ASSERT_EQ(tray->put_ShowIcon(VARIANT_TRUE), S_OK);
    ASSERT_EQ(shell_.calls.size(), 2u);
    EXPECT_EQ(shell_.calls[0].message, NIM_DELETE);
    EXPECT_EQ(shell_.calls[1].message, NIM_ADD);
    EXPECT_EQ(shell_.calls[1].record.hIcon, HandleOf(otherIcon_.Get()));
    EXPECT_EQ(shell_.calls[1].Tip(), "second");

    // While hidden, picture changes stay away from the shell.
    ASSERT_EQ(tray->put_ShowIcon(VARIANT_FALSE), S_OK);
    shell_.calls.clear();
    ASSERT_EQ(tray->putref_TrayIcon(Arg(icon_.Get())), S_OK);
    EXPECT_TRUE(shell_.calls.empty());
    ASSERT_EQ(tray->put_ShowIcon(VARIANT_TRUE), S_OK);

    HWND window = WindowOf(tray.Get());
    shell_.calls.clear();
    tray.Reset();
    trays_.clear();
    ASSERT_EQ(shell_.calls.size(), 1u);
    EXPECT_EQ(shell_.calls[0].message, NIM_DELETE);
    EXPECT_EQ(shell_.calls[0].record.hWnd, window);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(PindleTrayTest, PropertiesRoundTripWithDefaultsForMissingNames) {
    ComPtr<IPindleTray> saved = Create(false);
    ASSERT_TRUE(saved);
    ASSERT_EQ(saved->put_Enabled(VARIANT_FALSE), S_OK);
    ASSERT_EQ(PutText(saved.Get(), u"tip"), S_OK);
    ASSERT_EQ(saved->putref_TrayIcon(Arg(icon_.Get())), S_OK);
    ASSERT_EQ(saved->put_ShowIcon(VARIANT_TRUE), S_OK);
    ASSERT_EQ(saved->put_FlashInterval(250), S_OK);
    ASSERT_EQ(saved->putref_OffStateIcon(Arg(thirdIcon_.Get())), S_OK);
    ComPtr<IPersistPropertyBag> persist;
    ASSERT_EQ(saved.As(IID_IPersistPropertyBag, &persist), S_OK);
    ComPtr<IPropertyBag> bag;
    ASSERT_EQ(CreateMemoryPropertyBag(bag.Out()), S_OK);
    ASSERT_EQ(persist->Save(bag.Get(), 1, 1), S_OK);
    EXPECT_EQ(MemoryPropertyBagCount(bag.Get()), 7);
    EXPECT_TRUE(shell_.calls.empty());

    // Loaded at run time: the values, then the icon added with them.
    auto loadInto = [&](IPropertyBag* from) {
        ComPtr<IPindleTray> loaded = Create(true);
        ComPtr<IPersistPropertyBag> p;
        EXPECT_EQ(loaded.As(IID_IPersistPropertyBag, &p), S_OK);
        EXPECT_EQ(p->Load(from, nullptr), S_OK);
        return loaded;
    };
    ComPtr<IPindleTray> loaded = loadInto(bag.Get());
    ASSERT_TRUE(loaded);
    VARIANT_BOOL enabled = VARIANT_TRUE;
    int32_t interval = 0;
    ComPtr<IDispatch> trayIcon, onIcon, offIcon;
    ASSERT_EQ(loaded->get_Enabled(&enabled), S_OK);
    ASSERT_EQ(loaded->get_FlashInterval(&interval), S_OK);
    ASSERT_EQ(loaded->get_TrayIcon(trayIcon.Out()), S_OK);
    ASSERT_EQ(loaded->get_OnStateIcon(onIcon.Out()), S_OK);
    ASSERT_EQ(loaded->get_OffStateIcon(offIcon.Out()), S_OK);
    EXPECT_EQ(enabled, VARIANT_FALSE);
    EXPECT_EQ(interval, 250);
    EXPECT_EQ(Text(loaded.Get(), &IPindleTray::get_ToolTipText), "tip");
    ASSERT_TRUE(trayIcon && offIcon);
    EXPECT_FALSE(onIcon);  // saved empty, so loaded empty
    auto dataOf = [](IDispatch* picture) {
        ComPtr<IShellPicture> p;
        Bstr data;
        EXPECT_EQ(picture->QueryInterface(IID_IShellPicture, p.OutVoid()), S_OK);
        EXPECT_EQ(p->get_Data(data.Out()), S_OK);
        return Latin1FromBstr(data.Get());
    };
    EXPECT_EQ(dataOf(trayIcon.Get()), dataOf(icon_.Get()));
    EXPECT_EQ(dataOf(offIcon.Get()), dataOf(thirdIcon_.Get()));
    std::vector<NotifyCall> adds = CallsOf(NIM_ADD);
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_EQ(adds[0].Tip(), "tip");
    int16_t type = PICTYPE_NONE;
    HICON loadedHandle = 0;
    PictureTypeAndHandle(trayIcon.Get(), &type, &loadedHandle);
    EXPECT_EQ(type, PICTYPE_ICON);
    EXPECT_EQ(adds[0].record.hIcon, loadedHandle);
    EXPECT_EQ(shell_.calls.size(), 1u);  // nothing talked to the shell while loading

    // A bag with only TrayIcon: every other property takes its default, OnStateIcon the
    // TrayIcon just read.
    ComPtr<IPropertyBag> sparse;
    ASSERT_EQ(CreateMemoryPropertyBag(sparse.Out()), S_OK);
    Variant data;
    ASSERT_EQ(icon_->get_Data(&data.Get()->bstrVal), S_OK);
    data.Get()->vt = VT_BSTR;
    ASSERT_EQ(sparse->Write(u"TrayIcon", data.Get()), S_OK);
    ComPtr<IPindleTray> defaults = loadInto(sparse.Get());
    ASSERT_EQ(defaults->put_FlashInterval(9), S_OK);
    ASSERT_EQ(PutText(defaults.Get(), u"changed"), S_OK);
    ASSERT_EQ(defaults.As(IID_IPersistPropertyBag, &persist), S_OK);
    ASSERT_EQ(persist->Load(sparse.Get(), nullptr), S_OK);
    VARIANT_BOOL show = VARIANT_FALSE;
    ComPtr<IDispatch> onDefault, trayDefault;
    ASSERT_EQ(defaults->get_Enabled(&enabled), S_OK);
    ASSERT_EQ(defaults->get_ShowIcon(&show), S_OK);
    ASSERT_EQ(defaults->get_FlashInterval(&interval), S_OK);
    ASSERT_EQ(defaults->get_TrayIcon(trayDefault.Out()), S_OK);
    ASSERT_EQ(defaults->get_OnStateIcon(onDefault.Out()), S_OK);
    EXPECT_EQ(enabled, VARIANT_TRUE);
    EXPECT_EQ(show, VARIANT_TRUE);
    EXPECT_EQ(interval, 0);
    EXPECT_EQ(Text(defaults.Get(), &IPindleTray::get_ToolTipText), "");
    EXPECT_EQ(onDefault.Get(), trayDefault.Get());

    // The stream form keeps the same values.
    ComPtr<IPersistStreamInit> streamSaver, streamLoader;
    ComPtr<IStream> stream;
    ASSERT_EQ(CreateMemoryStream(nullptr, 0, stream.Out()), S_OK);
    ASSERT_EQ(saved.As(IID_IPersistStreamInit, &streamSaver), S_OK);
    ASSERT_EQ(streamSaver->Save(stream.Get(), 1), S_OK);
    ASSERT_EQ(stream->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
    ComPtr<IPindleTray> fromStream = Create(false);
    ASSERT_EQ(fromStream.As(IID_IPersistStreamInit, &streamLoader), S_OK);
    ASSERT_EQ(streamLoader->Load(stream.Get()), S_OK);
    ComPtr<IDispatch> streamed;
    ASSERT_EQ(fromStream->get_TrayIcon(streamed.Out()), S_OK);
    ASSERT_TRUE(streamed);
    EXPECT_EQ(dataOf(streamed.Get()), dataOf(icon_.Get()));
    EXPECT_EQ(Text(fromStream.Get(), &IPindleTray::get_ToolTipText), "tip");
}

TEST_F(PindleTrayTest, DesignTimeTalksOnlyToTheDesigner) {
    ComPtr<IPindleTray> designed = Create(false);
    ASSERT_TRUE(designed);
    ComPtr<IPersistStreamInit> init;
    ASSERT_EQ(designed.As(IID_IPersistStreamInit, &init), S_OK);
    ASSERT_EQ(init->InitNew(), S_OK);
    ASSERT_EQ(shell_.boxes.size(), 1u);
    EXPECT_EQ(shell_.boxes[0].type, MB_ICONINFORMATION);
    EXPECT_EQ(shell_.boxes[0].caption, "PindleTray");
    shell_.trayAvailable = false;
    ASSERT_EQ(init->InitNew(), S_OK);
    ASSERT_EQ(shell_.boxes.size(), 2u);
    EXPECT_EQ(shell_.boxes[1].text, "Unable to detect System Tray");
    EXPECT_EQ(shell_.boxes[1].type, MB_ICONERROR);
    shell_.trayAvailable = true;

    // A bitmap is no tray icon: the designer is told, the old picture stays.
    ASSERT_EQ(designed->putref_TrayIcon(Arg(icon_.Get())), S_OK);
    ASSERT_EQ(designed->putref_TrayIcon(Arg(bitmap_.Get())), S_OK);
    ASSERT_EQ(shell_.boxes.size(), 3u);
    EXPECT_EQ(shell_.boxes[2].text, "Image must be of type ICO");
    ComPtr<IDispatch> kept;
    ASSERT_EQ(designed->get_TrayIcon(kept.Out()), S_OK);
    EXPECT_EQ(kept.Get(), static_cast<IDispatch*>(icon_.Get()));
    // The phase pictures take anything.
    ASSERT_EQ(designed->putref_OffStateIcon(Arg(bitmap_.Get())), S_OK);
    ASSERT_EQ(designed->get_OffStateIcon(kept.Out()), S_OK);
    EXPECT_EQ(kept.Get(), static_cast<IDispatch*>(bitmap_.Get()));
    ASSERT_EQ(PutText(designed.Get(), u"tip"), S_OK);
    ASSERT_EQ(designed->put_ShowIcon(VARIANT_FALSE), S_OK);
    ASSERT_EQ(designed->put_ShowIcon(VARIANT_TRUE), S_OK);
    ASSERT_EQ(designed->FlashIcon(VARIANT_TRUE), S_OK);
    ComPtr<IPersistStreamInit> persist;
    ASSERT_EQ(designed.As(IID_IPersistStreamInit, &persist), S_OK);
    EXPECT_EQ(persist->IsDirty(), S_OK);
    EXPECT_TRUE(shell_.calls.empty());

    // At run time a bitmap is refused without a word.
    ComPtr<IPindleTray> running = Create(true);
    ASSERT_EQ(running->putref_TrayIcon(Arg(bitmap_.Get())), S_OK);
    ASSERT_EQ(running->get_TrayIcon(kept.Out()), S_OK);
    EXPECT_FALSE(kept);
    EXPECT_EQ(shell_.boxes.size(), 3u);
    EXPECT_TRUE(shell_.calls.empty());
}

}  // namespace
}  // namespace quenda::test
