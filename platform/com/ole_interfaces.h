// The OLE control interfaces a host and a control use to meet: persistence, class info,
// safety, embedding, in-place activation and drawing.
#pragma once

#include <cstdint>

#include "platform/com/dispatch.h"
#include "platform/com/property_bag.h"
#include "platform/com/stream.h"
#include "platform/com/type_info.h"
#include "platform/winmsg/win_types.h"

namespace quenda {

constexpr IID OleIid(uint32_t data1) { return IID{data1, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}; }

inline constexpr IID IID_IPersist = OleIid(0x0000010C);
inline constexpr IID IID_IPersistStorage = OleIid(0x0000010A);
inline constexpr IID IID_IViewObject = OleIid(0x0000010D);
inline constexpr IID IID_IOleObject = OleIid(0x00000112);
inline constexpr IID IID_IOleInPlaceObject = OleIid(0x00000113);
inline constexpr IID IID_IOleWindow = OleIid(0x00000114);
inline constexpr IID IID_IOleInPlaceActiveObject = OleIid(0x00000117);
inline constexpr IID IID_IOleClientSite = OleIid(0x00000118);
inline constexpr IID IID_IViewObject2 = OleIid(0x00000127);
inline constexpr IID IID_IPersistStreamInit = {0x7FD52380, 0x4E07, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};
inline constexpr IID IID_IPersistPropertyBag = {0x37D84F60, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
inline constexpr IID IID_IProvideClassInfo = {0xB196B283, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IProvideClassInfo2 = {0xA6BC3AC0, 0xDBAA, 0x11CE, {0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
inline constexpr IID IID_IObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
inline constexpr IID IID_IOleControl = {0xB196B288, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IOleInPlaceObjectWindowless = {0x1C2056CC, 0x5EF4, 0x101B, {0x8B, 0xC8, 0x00, 0xAA, 0x00, 0x3E, 0x3B, 0x29}};
inline constexpr IID IID_IViewObjectEx = {0x3AF24292, 0x0C96, 0x11CE, {0xA0, 0xCF, 0x00, 0xAA, 0x00, 0x60, 0x0A, 0xB8}};

// Component categories: safe for scripting, safe for initialising.
inline constexpr GUID CATID_SafeForScripting = {0x7DD95801, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};
inline constexpr GUID CATID_SafeForInitializing = {0x7DD95802, 0x9882, 0x11CF, {0x9F, 0xA9, 0x00, 0xAA, 0x00, 0x6C, 0x42, 0xC4}};

inline constexpr uint32_t GUIDKIND_DEFAULT_SOURCE_DISP_IID = 1;
inline constexpr uint32_t INTERFACESAFE_FOR_UNTRUSTED_CALLER = 1;
inline constexpr uint32_t INTERFACESAFE_FOR_UNTRUSTED_DATA = 2;
inline constexpr uint32_t DVASPECT_CONTENT = 1;
inline constexpr uint32_t OLECLOSE_SAVEIFDIRTY = 0;

inline constexpr uint32_t OLEMISC_RECOMPOSEONRESIZE = 0x1;
inline constexpr uint32_t OLEMISC_CANTLINKINSIDE = 0x10;
inline constexpr uint32_t OLEMISC_INSIDEOUT = 0x80;
inline constexpr uint32_t OLEMISC_ACTIVATEWHENVISIBLE = 0x100;
inline constexpr uint32_t OLEMISC_INVISIBLEATRUNTIME = 0x400;
inline constexpr uint32_t OLEMISC_SETCLIENTSITEFIRST = 0x20000;

struct RECTL {
    int32_t left, top, right, bottom;
};
struct SIZEL {
    int32_t cx, cy;
};

// A 32-bit ARGB picture a control draws into (IViewObject::Draw), row after row.
struct PixelImage {
    uint32_t* pixels;  // width x height pixels, stride pixels per row; owned by the caller
    int32_t width;
    int32_t height;
    int32_t stride;
};

// Window handles are the message layer's; these controls are windowless towards their host.

class IStorage;
class IOleClientSite;

class IPersist : public IUnknown {
public:
    virtual HRESULT GetClassID(CLSID* clsid) = 0;

protected:
    ~IPersist() = default;
};

class IPersistStreamInit : public IPersist {
public:
    // S_OK when properties changed since the last save, else S_FALSE.
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT Load(IStream* stream) = 0;
    virtual HRESULT Save(IStream* stream, int32_t clearDirty) = 0;
    virtual HRESULT GetSizeMax(uint64_t* size) = 0;
    virtual HRESULT InitNew() = 0;

protected:
    ~IPersistStreamInit() = default;
};

class IPersistStorage : public IPersist {
public:
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT InitNew(IStorage* storage) = 0;
    virtual HRESULT Load(IStorage* storage) = 0;
    virtual HRESULT Save(IStorage* storage, int32_t sameAsLoad) = 0;
    virtual HRESULT SaveCompleted(IStorage* storage) = 0;
    virtual HRESULT HandsOffStorage() = 0;

protected:
    ~IPersistStorage() = default;
};

class IPersistPropertyBag : public IPersist {
public:
    virtual HRESULT InitNew() = 0;
    virtual HRESULT Load(IPropertyBag* bag, IErrorLog* log) = 0;
    virtual HRESULT Save(IPropertyBag* bag, int32_t clearDirty, int32_t saveAll) = 0;

protected:
    ~IPersistPropertyBag() = default;
};

class IProvideClassInfo : public IUnknown {
public:
    // Type info of the class (its interfaces through GetImplType).
    virtual HRESULT GetClassInfo(ITypeInfo** info) = 0;

protected:
    ~IProvideClassInfo() = default;
};

class IProvideClassInfo2 : public IProvideClassInfo {
public:
    // GUIDKIND_DEFAULT_SOURCE_DISP_IID: the IID of the event interface.
    virtual HRESULT GetGUID(uint32_t kind, GUID* guid) = 0;

protected:
    ~IProvideClassInfo2() = default;
};

class IObjectSafety : public IUnknown {
public:
    virtual HRESULT GetInterfaceSafetyOptions(REFIID iid, uint32_t* supported, uint32_t* enabled) = 0;
    virtual HRESULT SetInterfaceSafetyOptions(REFIID iid, uint32_t mask, uint32_t enabled) = 0;

protected:
    ~IObjectSafety() = default;
};

class IOleClientSite : public IUnknown {
public:
    virtual HRESULT SaveObject() = 0;
    virtual HRESULT GetMoniker(uint32_t assign, uint32_t which, IUnknown** moniker) = 0;
    virtual HRESULT GetContainer(IUnknown** container) = 0;
    virtual HRESULT ShowObject() = 0;
    virtual HRESULT OnShowWindow(int32_t show) = 0;
    virtual HRESULT RequestNewObjectLayout() = 0;

protected:
    ~IOleClientSite() = default;
};

class IOleObject : public IUnknown {
public:
    // The site's IDispatch gives the ambient properties (UserMode, DISPID -709).
    virtual HRESULT SetClientSite(IOleClientSite* site) = 0;
    virtual HRESULT GetClientSite(IOleClientSite** site) = 0;
    virtual HRESULT SetHostNames(LPCOLESTR containerApp, LPCOLESTR containerObject) = 0;
    virtual HRESULT Close(uint32_t saveOption) = 0;
    virtual HRESULT SetMoniker(uint32_t which, IUnknown* moniker) = 0;
    virtual HRESULT GetMoniker(uint32_t assign, uint32_t which, IUnknown** moniker) = 0;
    virtual HRESULT InitFromData(IUnknown* data, int32_t creation, uint32_t reserved) = 0;
    virtual HRESULT GetClipboardData(uint32_t reserved, IUnknown** data) = 0;
    virtual HRESULT DoVerb(int32_t verb, void* msg, IOleClientSite* site, int32_t index, HWND parent,
                           const RECTL* position) = 0;
    virtual HRESULT EnumVerbs(IUnknown** verbs) = 0;
    virtual HRESULT Update() = 0;
    virtual HRESULT IsUpToDate() = 0;
    virtual HRESULT GetUserClassID(CLSID* clsid) = 0;
    virtual HRESULT GetUserType(uint32_t form, BSTR* userType) = 0;
    // Extent in HIMETRIC units (0.01 mm).
    virtual HRESULT SetExtent(uint32_t aspect, const SIZEL* size) = 0;
    virtual HRESULT GetExtent(uint32_t aspect, SIZEL* size) = 0;
    virtual HRESULT Advise(IUnknown* sink, uint32_t* connection) = 0;
    virtual HRESULT Unadvise(uint32_t connection) = 0;
    virtual HRESULT EnumAdvise(IUnknown** advise) = 0;
    virtual HRESULT GetMiscStatus(uint32_t aspect, uint32_t* status) = 0;
    virtual HRESULT SetColorScheme(const void* palette) = 0;

protected:
    ~IOleObject() = default;
};

class IOleControl : public IUnknown {
public:
    virtual HRESULT GetControlInfo(void* info) = 0;
    virtual HRESULT OnMnemonic(void* msg) = 0;
    virtual HRESULT OnAmbientPropertyChange(DISPID id) = 0;
    virtual HRESULT FreezeEvents(int32_t freeze) = 0;

protected:
    ~IOleControl() = default;
};

class IOleWindow : public IUnknown {
public:
    virtual HRESULT GetWindow(HWND* window) = 0;
    virtual HRESULT ContextSensitiveHelp(int32_t enter) = 0;

protected:
    ~IOleWindow() = default;
};

class IOleInPlaceObject : public IOleWindow {
public:
    virtual HRESULT InPlaceDeactivate() = 0;
    virtual HRESULT UIDeactivate() = 0;
    virtual HRESULT SetObjectRects(const RECTL* position, const RECTL* clip) = 0;
    virtual HRESULT ReactivateAndUndo() = 0;

protected:
    ~IOleInPlaceObject() = default;
};

class IOleInPlaceObjectWindowless : public IOleInPlaceObject {
public:
    virtual HRESULT OnWindowMessage(uint32_t message, uintptr_t wParam, intptr_t lParam, intptr_t* result) = 0;
    virtual HRESULT GetDropTarget(IUnknown** target) = 0;

protected:
    ~IOleInPlaceObjectWindowless() = default;
};

class IOleInPlaceActiveObject : public IOleWindow {
public:
    virtual HRESULT TranslateAccelerator(void* msg) = 0;
    virtual HRESULT OnFrameWindowActivate(int32_t activate) = 0;
    virtual HRESULT OnDocWindowActivate(int32_t activate) = 0;
    virtual HRESULT ResizeBorder(const RECTL* border, IUnknown* frame, int32_t frameWindow) = 0;
    virtual HRESULT EnableModeless(int32_t enable) = 0;

protected:
    ~IOleInPlaceActiveObject() = default;
};

class IViewObject : public IUnknown {
public:
    // Paints the control's face over bounds (pixels) of target; DV_E_DVASPECT for an aspect
    // other than DVASPECT_CONTENT, E_INVALIDARG without a target or bounds.
    virtual HRESULT Draw(uint32_t aspect, int32_t index, void* aspectInfo, void* targetDevice, PixelImage* targetInfo,
                         PixelImage* target, const RECTL* bounds, const RECTL* windowBounds, void* cont,
                         uintptr_t contArg) = 0;
    virtual HRESULT GetColorSet(uint32_t aspect, int32_t index, void* aspectInfo, void* targetDevice,
                                PixelImage* targetInfo, void** colorSet) = 0;
    virtual HRESULT Freeze(uint32_t aspect, int32_t index, void* aspectInfo, uint32_t* freeze) = 0;
    virtual HRESULT Unfreeze(uint32_t freeze) = 0;
    virtual HRESULT SetAdvise(uint32_t aspects, uint32_t flags, IUnknown* sink) = 0;
    virtual HRESULT GetAdvise(uint32_t* aspects, uint32_t* flags, IUnknown** sink) = 0;

protected:
    ~IViewObject() = default;
};

class IViewObject2 : public IViewObject {
public:
    virtual HRESULT GetExtent(uint32_t aspect, int32_t index, void* targetDevice, SIZEL* size) = 0;

protected:
    ~IViewObject2() = default;
};

class IViewObjectEx : public IViewObject2 {
public:
    virtual HRESULT GetRect(uint32_t aspect, RECTL* rect) = 0;
    virtual HRESULT GetViewStatus(uint32_t* status) = 0;
    virtual HRESULT QueryHitPoint(uint32_t aspect, const RECTL* bounds, int32_t x, int32_t y, int32_t closeHint,
                                  uint32_t* hitResult) = 0;
    virtual HRESULT QueryHitRect(uint32_t aspect, const RECTL* bounds, const RECTL* location, int32_t closeHint,
                                 uint32_t* hitResult) = 0;
    virtual HRESULT GetNaturalExtent(uint32_t aspect, int32_t index, void* targetDevice, void* hicTargetDevice,
                                     void* extentInfo, SIZEL* size) = 0;

protected:
    ~IViewObjectEx() = default;
};

// What a host site tells its control.
struct HostAmbients {
    bool userMode = true;            // run time (true) or design time (false)
    const char16_t* scaleUnits = u"Twip";  // name of the container's scale units
    LCID localeId = LOCALE_USER_DEFAULT;
};

// A host's site for one control: IOleClientSite, whose IDispatch answers the ambient
// properties UserMode (-709), ScaleUnits (-707) and LocaleID (-705). The ambients are copied.
HRESULT CreateHostSite(const HostAmbients& ambients, IOleClientSite** site);

// Changes the UserMode a site made by CreateHostSite reports; E_INVALIDARG for other sites.
HRESULT SetHostSiteUserMode(IOleClientSite* site, bool userMode);

// Reads an ambient property from a site (through its IDispatch). E_NOINTERFACE when the site
// has no ambient dispatch, DISP_E_MEMBERNOTFOUND when it does not know the property.
HRESULT GetAmbientProperty(IOleClientSite* site, DISPID id, VARIANT* value);

}  // namespace quenda
