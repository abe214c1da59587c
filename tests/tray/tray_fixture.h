// Hosts PindleTray the way the program does (registered in a scratch registry, created by
// ProgID, sited, events through a sink) over the recording shell, with pictures to give it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/tray/pindletray_interface.h"
#include "platform/com/com_library.h"
#include "platform/com/connection_point.h"
#include "platform/com/ole_interfaces.h"
#include "platform/registry/registry.h"
#include "platform/shell/picture.h"
#include "tests/support/fake_shell.h"
#include "tests/support/temp_directory.h"

namespace quenda::test {

// Records every event as text: "Click", "DblClick(1)", "MouseDown(2,5,150,300)".
class TraySink final : public IDispatch {
  public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == DIID__PindleTrayEvents) {
            *object = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }  // lives in the fixture, after the controls
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   UINT*) override;

    std::vector<std::string> events;
    bool allByReference = true;
};

class TrayTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // A new control sited in a host with this UserMode and ScaleUnits, events to sink_.
    ComPtr<IPindleTray> Create(bool userMode = true, const char16_t* scaleUnits = u"Twip");
    static HWND WindowOf(IPindleTray* tray);
    static HICON HandleOf(IShellPicture* picture);
    // The picture as a VARIANT a put takes (VT_DISPATCH, not owned).
    static VARIANT Arg(IShellPicture* picture);
    static std::string Text(IPindleTray* tray, HRESULT (IPindleTray::*get)(BSTR*));
    static HRESULT PutText(IPindleTray* tray, std::u16string_view text);
    // The calls of one message kind the shell was given.
    std::vector<NotifyCall> CallsOf(DWORD message) const;

    TempDirectory dir_;
    RecordingShell shell_;
    TraySink sink_;
    ComPtr<IShellPicture> icon_, otherIcon_, thirdIcon_, bitmap_;
    std::vector<ComPtr<IPindleTray>> trays_;  // released in TearDown, before the sink
};

}  // namespace quenda::test
