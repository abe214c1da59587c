// The COM and OLE side every control object shares: events through a connection point,
// class info, error info support, safety, persistence to streams, storages and property bags,
// and the embedding, in-place and view interfaces a control container asks for.
#pragma once

#include <cstdint>
#include <vector>

#include "controls/kit/com_error.h"
#include "controls/kit/control_class.h"
#include "platform/com/connection_point.h"
#include "platform/com/error_info.h"
#include "platform/com/ole_interfaces.h"

namespace quenda {

// Size of a control on its container, in pixels, and the screen resolution assumed for the
// HIMETRIC extent (there is no screen to ask when running headless).
inline constexpr int32_t kControlSizePixels = 28;
inline constexpr int32_t kLogicalPixelsPerInch = 96;

// Pixels to HIMETRIC (0.01 mm), rounded to nearest.
int32_t PixelsToHimetric(int32_t pixels, int32_t pixelsPerInch);

class ControlBase : public IConnectionPointContainer,
                    public IProvideClassInfo2,
                    public ISupportErrorInfo,
                    public IObjectSafety,
                    public IPersistStreamInit,
                    public IPersistStorage,
                    public IPersistPropertyBag,
                    public IOleObject,
                    public IOleControl,
                    public IOleInPlaceObjectWindowless,
                    public IOleInPlaceActiveObject,
                    public IViewObjectEx {
  public:
    ControlBase(const ControlClassInfo& info);
    virtual ~ControlBase();
    ControlBase(const ControlBase&) = delete;
    ControlBase& operator=(const ControlBase&) = delete;

    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;
    // IProvideClassInfo2
    HRESULT GetClassInfo(ITypeInfo** info) override;
    HRESULT GetGUID(uint32_t kind, GUID* guid) override;
    // ISupportErrorInfo
    HRESULT InterfaceSupportsErrorInfo(REFIID iid) override;
    // IObjectSafety
    HRESULT GetInterfaceSafetyOptions(REFIID iid, uint32_t* supported, uint32_t* enabled) override;
    HRESULT SetInterfaceSafetyOptions(REFIID iid, uint32_t mask, uint32_t enabled) override;
    // IPersist, IPersistStreamInit, IPersistPropertyBag
    HRESULT GetClassID(CLSID* clsid) override;
    HRESULT IsDirty() override;
    HRESULT Load(IStream* stream) override;
    HRESULT Save(IStream* stream, int32_t clearDirty) override;
    HRESULT GetSizeMax(uint64_t* size) override;
    HRESULT InitNew() override;
    HRESULT Load(IPropertyBag* bag, IErrorLog* log) override;
    HRESULT Save(IPropertyBag* bag, int32_t clearDirty, int32_t saveAll) override;
    // IPersistStorage: the properties live in the storage's stream "Contents".
    HRESULT InitNew(IStorage* storage) override;
    HRESULT Load(IStorage* storage) override;
    HRESULT Save(IStorage* storage, int32_t sameAsLoad) override;
    HRESULT SaveCompleted(IStorage* storage) override;
    HRESULT HandsOffStorage() override;
    // IOleObject
    HRESULT SetClientSite(IOleClientSite* site) override;
    HRESULT GetClientSite(IOleClientSite** site) override;
    HRESULT SetHostNames(LPCOLESTR containerApp, LPCOLESTR containerObject) override;
    HRESULT Close(uint32_t saveOption) override;
    HRESULT SetMoniker(uint32_t which, IUnknown* moniker) override;
    HRESULT GetMoniker(uint32_t assign, uint32_t which, IUnknown** moniker) override;
    HRESULT InitFromData(IUnknown* data, int32_t creation, uint32_t reserved) override;
    HRESULT GetClipboardData(uint32_t reserved, IUnknown** data) override;
    HRESULT DoVerb(int32_t verb, void* msg, IOleClientSite* site, int32_t index, HWND parent,
                   const RECTL* position) override;
    HRESULT EnumVerbs(IUnknown** verbs) override;
    HRESULT Update() override;
    HRESULT IsUpToDate() override;
    HRESULT GetUserClassID(CLSID* clsid) override;
    HRESULT GetUserType(uint32_t form, BSTR* userType) override;
    HRESULT SetExtent(uint32_t aspect, const SIZEL* size) override;
    HRESULT GetExtent(uint32_t aspect, SIZEL* size) override;
    HRESULT Advise(IUnknown* sink, uint32_t* connection) override;
    HRESULT Unadvise(uint32_t connection) override;
    HRESULT EnumAdvise(IUnknown** advise) override;
    HRESULT GetMiscStatus(uint32_t aspect, uint32_t* status) override;
    HRESULT SetColorScheme(const void* palette) override;
    // IOleControl
    HRESULT GetControlInfo(void* info) override;
    HRESULT OnMnemonic(void* msg) override;
    HRESULT OnAmbientPropertyChange(DISPID id) override;
    HRESULT FreezeEvents(int32_t freeze) override;
    // IOleWindow, IOleInPlaceObject(Windowless), IOleInPlaceActiveObject
    HRESULT GetWindow(HWND* window) override;
    HRESULT ContextSensitiveHelp(int32_t enter) override;
    HRESULT InPlaceDeactivate() override;
    HRESULT UIDeactivate() override;
    HRESULT SetObjectRects(const RECTL* position, const RECTL* clip) override;
    HRESULT ReactivateAndUndo() override;
    HRESULT OnWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam,
                            intptr_t* result) override;
    HRESULT GetDropTarget(IUnknown** target) override;
    HRESULT TranslateAccelerator(void* msg) override;
    HRESULT OnFrameWindowActivate(int32_t activate) override;
    HRESULT OnDocWindowActivate(int32_t activate) override;
    HRESULT ResizeBorder(const RECTL* border, IUnknown* frame, int32_t frameWindow) override;
    HRESULT EnableModeless(int32_t enable) override;
    // IViewObject, IViewObject2, IViewObjectEx
    HRESULT Draw(uint32_t aspect, int32_t index, void* aspectInfo, void* targetDevice,
                 PixelImage* targetInfo, PixelImage* target, const RECTL* bounds,
                 const RECTL* windowBounds, void* cont, uintptr_t contArg) override;
    HRESULT GetColorSet(uint32_t aspect, int32_t index, void* aspectInfo, void* targetDevice,
                        PixelImage* targetInfo, void** colorSet) override;
    HRESULT Freeze(uint32_t aspect, int32_t index, void* aspectInfo, uint32_t* freeze) override;
    HRESULT Unfreeze(uint32_t freeze) override;
    HRESULT SetAdvise(uint32_t aspects, uint32_t flags, IUnknown* sink) override;
    HRESULT GetAdvise(uint32_t* aspects, uint32_t* flags, IUnknown** sink) override;
    HRESULT GetExtent(uint32_t aspect, int32_t index, void* targetDevice, SIZEL* size) override;
    HRESULT GetRect(uint32_t aspect, RECTL* rect) override;
    HRESULT GetViewStatus(uint32_t* status) override;
    HRESULT QueryHitPoint(uint32_t aspect, const RECTL* bounds, int32_t x, int32_t y,
                          int32_t closeHint, uint32_t* hitResult) override;
    HRESULT QueryHitRect(uint32_t aspect, const RECTL* bounds, const RECTL* location,
                         int32_t closeHint, uint32_t* hitResult) override;
    HRESULT GetNaturalExtent(uint32_t aspect, int32_t index, void* targetDevice,
                             void* hicTargetDevice, void* extentInfo, SIZEL* size) override;

    // True at run time: the site's ambient UserMode, or true when there is no site to ask.
    bool UserMode();

    // Reads an ambient property of the host's site into *value (which the caller then owns).
    // E_FAIL when there is no site, else the site's answer.
    HRESULT Ambient(DISPID id, VARIANT* value);

    // Raises event id on every connected sink. Returns how many sinks were called.
    int FireEvent(DISPID id, EventArgs* args);

    // The result of an operation's component code, with error info from this control.
    HRESULT ReportCode(int code, const char* message, uint32_t helpContext);
    HRESULT ReportGuard(PropertyGuard guard, uint32_t helpContext);

    // A property changed in a way the host should save.
    void MarkDirty() { dirty_ = true; }

    const ControlClassInfo& ClassInfo() const { return info_; }

  protected:
    // The object's identity: its dual interface as IDispatch.
    virtual IDispatch* Dispatch() = 0;

    // The control's own window, answered by IOleWindow::GetWindow; null for a windowless one.
    virtual HWND ControlWindow() { return nullptr; }
    // InitNew: the host places a new control that has no persisted values.
    virtual void InitProperties() {}
    // The value a persisted property (by its index in the class's list) takes when a property
    // bag does not hold it: S_OK with *value filled applies it, S_FALSE keeps what it holds.
    virtual HRESULT MissingPropertyValue(uint32_t /*index*/, VARIANT* /*value*/) { return S_FALSE; }
    // The value saved for a persisted property (by its index): its get, unless the control
    // saves another form of it.
    virtual HRESULT SavedValue(uint32_t index, VARIANT* value) {
        return GetProperty(info_.persisted[index], value);
    }
    // Loading begins to apply persisted values (true) and has ended, well or not (false).
    virtual void PropertiesLoading(bool /*starting*/) {}
    // Every persisted value was applied.
    virtual void PropertiesLoaded() {}

    // QueryInterface for every interface listed above plus the dual interface.
    HRESULT ControlQueryInterface(REFIID iid, void** object);
    ULONG ControlAddRef();
    ULONG ControlRelease();

  private:
    HRESULT GetProperty(const PersistedProperty& p, VARIANT* value);
    HRESULT PutProperty(const PersistedProperty& p, VARIANT* value);
    // Applies values[i] to every persisted property in list order (one not present asks
    // MissingPropertyValue); E_FAIL at the first put that fails.
    HRESULT ApplyLoaded(std::vector<Variant>& values, const std::vector<bool>& present);

    const ControlClassInfo& info_;  // the class this object belongs to
    RefCount refs_;                 // references to the whole object
    ConnectionPoint events_;        // sinks of the event interface
    ComPtr<IOleClientSite> site_;   // the host's site, if any
    ComPtr<IUnknown> viewSink_;     // IViewObject::SetAdvise sink, kept only to give back
    uint32_t viewAspects_ = 0;
    uint32_t viewFlags_ = 0;
    SIZEL extent_;                                                     // HIMETRIC
    RECTL position_ = {0, 0, kControlSizePixels, kControlSizePixels};  // pixels on the container
    uint32_t safety_ = 0;                                              // INTERFACESAFE_* enabled
    int32_t frozen_ = 0;                                               // FreezeEvents nesting
    bool dirty_ = false;  // properties changed since the last save
};

// Paints the design-time face over bounds of image: a black one-pixel frame, a raised edge,
// a filled face, and the 16 x 15 bitmap (if given) at (6, 7) from the top-left corner.
// Everything outside the image is clipped.
void PaintDesignFace(PixelImage* image, const RECTL& bounds, const uint32_t* bitmap);

inline constexpr uint32_t kFaceColor = 0xFFC0C0C0;
inline constexpr uint32_t kHighlightColor = 0xFFFFFFFF;
inline constexpr uint32_t kShadowColor = 0xFF808080;
inline constexpr uint32_t kFrameColor = 0xFF000000;
inline constexpr int kBitmapWidth = 16;
inline constexpr int kBitmapHeight = 15;

}  // namespace quenda
