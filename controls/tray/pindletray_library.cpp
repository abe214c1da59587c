// The PindleTray2 library: the type tables and class of PindleTray, and the four exported
// entry points.
#include <array>

#include "controls/tray/pindle_tray.h"

namespace quenda {
namespace {

using I = IPindleTray;

constexpr DispMember kMembers[] = {
    DispMethod<&I::ShowAbout>(u"ShowAbout", kTrayDispShowAbout),
    DispPropGet<&I::get_Enabled, VT_BOOL>(u"Enabled", kTrayDispEnabled),
    DispPropPut<&I::put_Enabled, VT_BOOL>(u"Enabled", kTrayDispEnabled),
    DispPropGet<&I::get_ToolTipText>(u"ToolTipText", kTrayDispToolTipText),
    DispPropPut<&I::put_ToolTipText>(u"ToolTipText", kTrayDispToolTipText),
    DispPropGet<&I::get_TrayIcon>(u"TrayIcon", kTrayDispTrayIcon),
    DispPropPut<&I::putref_TrayIcon>(u"TrayIcon", kTrayDispTrayIcon),
    DispPropGet<&I::get_ShowIcon, VT_BOOL>(u"ShowIcon", kTrayDispShowIcon),
    DispPropPut<&I::put_ShowIcon, VT_BOOL>(u"ShowIcon", kTrayDispShowIcon),
    DispMethod<&I::FlashIcon>(u"FlashIcon", kTrayDispFlashIcon),
    DispPropGet<&I::get_FlashInterval>(u"FlashInterval", kTrayDispFlashInterval),
    DispPropPut<&I::put_FlashInterval>(u"FlashInterval", kTrayDispFlashInterval),
    DispPropGet<&I::get_OnStateIcon>(u"OnStateIcon", kTrayDispOnStateIcon),
    DispPropPut<&I::putref_OnStateIcon>(u"OnStateIcon", kTrayDispOnStateIcon),
    DispPropGet<&I::get_OffStateIcon>(u"OffStateIcon", kTrayDispOffStateIcon),
    DispPropPut<&I::putref_OffStateIcon>(u"OffStateIcon", kTrayDispOffStateIcon),
};

constexpr DispMember kEvents[] = {
    DispEvent(u"Click", kTrayEventClick, {}),
    DispEvent(u"DblClick", kTrayEventDblClick, {VT_I2}),
    DispEvent(u"MouseDown", kTrayEventMouseDown, {VT_I2, VT_I2, VT_R4, VT_R4}),
    DispEvent(u"MouseMove", kTrayEventMouseMove, {VT_I2, VT_I2, VT_R4, VT_R4}),
    DispEvent(u"MouseUp", kTrayEventMouseUp, {VT_I2, VT_I2, VT_R4, VT_R4}),
};

constexpr DispInterface kDual = {IID_IPindleTray, u"_PindleTray", kDispDual, kMembers,
                                 sizeof kMembers / sizeof kMembers[0]};
constexpr DispInterface kEventInterface = {DIID__PindleTrayEvents, u"__PindleTray", kDispSource,
                                           kEvents, sizeof kEvents / sizeof kEvents[0]};
constexpr CoclassInfo kCoclass = {CLSID_PindleTray, u"PindleTray", &kDual, &kEventInterface};
constexpr TypeLibInfo kTypeLib = {LIBID_PindleTrayIcon, u"PindleTrayIcon", 1, 0, &kCoclass};

// Saved and loaded in this order (the indexes PindleTray uses follow it).
constexpr PersistedProperty kPersisted[] = {
    {u"Enabled", kTrayDispEnabled},
    {u"ToolTipText", kTrayDispToolTipText},
    {u"TrayIcon", kTrayDispTrayIcon},
    {u"ShowIcon", kTrayDispShowIcon},
    {u"FlashInterval", kTrayDispFlashInterval},
    {u"OnStateIcon", kTrayDispOnStateIcon},
    {u"OffStateIcon", kTrayDispOffStateIcon},
};

// The toolbox picture: a taskbar strip with two tray icons, drawn at compile time.
constexpr auto kBitmap = [] {
    std::array<uint32_t, kBitmapWidth * kBitmapHeight> pixels{};
    for (int y = 0; y < kBitmapHeight; ++y) {
        for (int x = 0; x < kBitmapWidth; ++x) {
            bool bar = y >= 9 && y <= 13 && x >= 1 && x <= 14;
            bool first = y >= 10 && y <= 12 && x >= 8 && x <= 10;
            bool second = y >= 10 && y <= 12 && x >= 12 && x <= 13;
            bool window =
                y >= 2 && y <= 7 && x >= 3 && x <= 12 && (y == 2 || y == 7 || x == 3 || x == 12);
            pixels[y * kBitmapWidth + x] = first    ? 0xFFF2B632
                                           : second ? 0xFF7FC25C
                                           : bar    ? 0xFF1D3E5E
                                           : window ? 0xFF2F5D8A
                                                    : 0xFFC0C0C0;
        }
    }
    return pixels;
}();

const ControlClassInfo kClass = {
    kPindleTrayProgId,
    nullptr,
    u"PindleTray Control",
    &kTypeLib,
    kPersisted,
    sizeof kPersisted / sizeof kPersisted[0],
    u"pindletray.hlp",
    kInvisibleControlMiscStatus,
    kBitmap.data(),
    &CreateControl<PindleTray>,
};

}  // namespace

const ControlClassInfo& PindleTrayClass() {
    return kClass;
}

}  // namespace quenda

QUENDA_CONTROL_LIBRARY_EXPORTS(quenda::PindleTrayClass())
