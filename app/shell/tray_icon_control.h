// The program's side of the PindleTray control: created by ProgID, sited at run time, driven
// through its dual interface, MouseUp received through a connection-point sink.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/shell/tray_icon.h"
#include "controls/tray/pindletray_interface.h"
#include "platform/com/event_sink.h"
#include "platform/com/ole_interfaces.h"
#include "platform/com/unknown.h"

namespace quenda {

class TrayIconControl final : public TrayIcon {
  public:
    // A new control, not yet showing an icon. PindleTrayIcon.PindleTray must be registered.
    // Returns null with the failing HRESULT in *result (S_OK on success, result may be null).
    static std::unique_ptr<TrayIconControl> Create(HRESULT* result = nullptr);
    // Removes the icon and lets the control go.
    ~TrayIconControl() override;
    TrayIconControl(const TrayIconControl&) = delete;
    TrayIconControl& operator=(const TrayIconControl&) = delete;

    bool Show(const std::string& pictureFile, const std::string& tip) override;
    void Remove() override;
    bool Shown() override;

    IPindleTray* Control() const { return control_.Get(); }

  private:
    TrayIconControl() = default;
    void PutShowIcon(bool show);

    ComPtr<IPindleTray> control_;
    ComPtr<IOleClientSite> site_;
    EventConnection events_;
    bool wanted_ = false;  // Show succeeded and Remove was not called since
    bool inTray_ = false;  // the icon was asked for while a tray existed
};

}  // namespace quenda
