// The COM and OLE side every control object shares: events through a connection point,
// class info, error info support, safety, persistence to streams, storages and property bags,
// and the embedding, in-place and view interfaces a control container asks for.
#include "controls/kit/control_base.h"

#include <vector>

#include "controls/kit/library_module.h"
#include "controls/kit/property_stream.h"

namespace quenda {
namespace {

constexpr char16_t kContentsStream[] = u"Contents";
constexpr uint32_t kSafetyOptions =
    INTERFACESAFE_FOR_UNTRUSTED_CALLER | INTERFACESAFE_FOR_UNTRUSTED_DATA;
constexpr uint32_t kViewStatusOpaque = 1;
constexpr uint32_t kHitOutside = 0;
constexpr uint32_t kHitHit = 3;

bool Inside(const RECTL& r, int32_t x, int32_t y) {
    return x >= r.left && x < r.right && y >= r.top && y < r.bottom;
}

}  // namespace

int32_t PixelsToHimetric(int32_t pixels, int32_t pixelsPerInch) {
    if (pixelsPerInch <= 0) return 0;
    int64_t scaled = static_cast<int64_t>(pixels) * 2540;
    int64_t half = pixelsPerInch / 2;
    return static_cast<int32_t>(scaled >= 0 ? (scaled + half) / pixelsPerInch
                                            : (scaled - half) / pixelsPerInch);
}

ControlBase::ControlBase(const ControlClassInfo& info)
    : info_(info),
      events_(this, info.typeLib->coclass->eventInterface
                        ? info.typeLib->coclass->eventInterface->iid
                        : IID_NULL) {
    int32_t himetric = PixelsToHimetric(kControlSizePixels, kLogicalPixelsPerInch);
    extent_ = SIZEL{himetric, himetric};
    LibraryObjectCreated();
}

ControlBase::~ControlBase() {
    events_.DisconnectAll();
    site_.Reset();
    viewSink_.Reset();
    LibraryObjectDestroyed();
}

HRESULT ControlBase::ControlQueryInterface(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    const CoclassInfo& coclass = *info_.typeLib->coclass;
    void* found = nullptr;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == coclass.defaultInterface->iid) {
        found = Dispatch();
    } else if (iid == IID_IConnectionPointContainer) {
        found = static_cast<IConnectionPointContainer*>(this);
    } else if (iid == IID_IProvideClassInfo || iid == IID_IProvideClassInfo2) {
        found = static_cast<IProvideClassInfo2*>(this);
    } else if (iid == IID_ISupportErrorInfo) {
        found = static_cast<ISupportErrorInfo*>(this);
    } else if (iid == IID_IObjectSafety) {
        found = static_cast<IObjectSafety*>(this);
    } else if (iid == IID_IPersist || iid == IID_IPersistStreamInit) {
        found = static_cast<IPersistStreamInit*>(this);
    } else if (iid == IID_IPersistStorage) {
        found = static_cast<IPersistStorage*>(this);
    } else if (iid == IID_IPersistPropertyBag) {
        found = static_cast<IPersistPropertyBag*>(this);
    } else if (iid == IID_IOleObject) {
        found = static_cast<IOleObject*>(this);
    } else if (iid == IID_IOleControl) {
        found = static_cast<IOleControl*>(this);
    } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceObject ||
               iid == IID_IOleInPlaceObjectWindowless) {
        found = static_cast<IOleInPlaceObjectWindowless*>(this);
    } else if (iid == IID_IOleInPlaceActiveObject) {
        found = static_cast<IOleInPlaceActiveObject*>(this);
    } else if (iid == IID_IViewObject || iid == IID_IViewObject2 || iid == IID_IViewObjectEx) {
        found = static_cast<IViewObjectEx*>(this);
    }
    *object = found;
    if (found == nullptr) return E_NOINTERFACE;
    refs_.Add();
    return S_OK;
}

ULONG ControlBase::ControlAddRef() {
    return refs_.Add();
}

ULONG ControlBase::ControlRelease() {
    ULONG left = refs_.Drop();
    if (left == 0) delete this;
    return left;
}

HRESULT ControlBase::EnumConnectionPoints(IEnumConnectionPoints** points) {
    if (points != nullptr) *points = nullptr;
    return E_NOTIMPL;
}

HRESULT ControlBase::FindConnectionPoint(REFIID iid, IConnectionPoint** point) {
    if (point == nullptr) return E_POINTER;
    *point = nullptr;
    if (info_.typeLib->coclass->eventInterface == nullptr || !(iid == events_.EventIid()))
        return CONNECT_E_NOCONNECTION;
    events_.AddRef();
    *point = &events_;
    return S_OK;
}

HRESULT ControlBase::GetClassInfo(ITypeInfo** info) {
    if (info == nullptr) return E_POINTER;
    return CreateCoclassTypeInfo(info_.typeLib->coclass, Dispatch(), info);
}

HRESULT ControlBase::GetGUID(uint32_t kind, GUID* guid) {
    if (guid == nullptr) return E_POINTER;
    *guid = GUID_NULL;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID ||
        info_.typeLib->coclass->eventInterface == nullptr)
        return E_INVALIDARG;
    *guid = info_.typeLib->coclass->eventInterface->iid;
    return S_OK;
}

HRESULT ControlBase::InterfaceSupportsErrorInfo(REFIID iid) {
    return iid == info_.typeLib->coclass->defaultInterface->iid ? S_OK : S_FALSE;
}

HRESULT ControlBase::GetInterfaceSafetyOptions(REFIID iid, uint32_t* supported, uint32_t* enabled) {
    if (supported == nullptr || enabled == nullptr) return E_POINTER;
    void* probe = nullptr;
    if (FAILED(ControlQueryInterface(iid, &probe))) {
        *supported = *enabled = 0;
        return E_NOINTERFACE;
    }
    static_cast<IUnknown*>(probe)->Release();
    *supported = kSafetyOptions;
    *enabled = safety_;
    return S_OK;
}

HRESULT ControlBase::SetInterfaceSafetyOptions(REFIID iid, uint32_t mask, uint32_t enabled) {
    void* probe = nullptr;
    if (FAILED(ControlQueryInterface(iid, &probe))) return E_NOINTERFACE;
    static_cast<IUnknown*>(probe)->Release();
    if (mask & ~kSafetyOptions) return E_FAIL;
    safety_ = (safety_ & ~mask) | (enabled & mask);
    return S_OK;
}

HRESULT ControlBase::GetClassID(CLSID* clsid) {
    if (clsid == nullptr) return E_POINTER;
    *clsid = info_.Clsid();
    return S_OK;
}

HRESULT ControlBase::IsDirty() {
    return dirty_ ? S_OK : S_FALSE;
}

HRESULT ControlBase::GetProperty(const PersistedProperty& p, VARIANT* value) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VariantInit(value);
    return Dispatch()->Invoke(p.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                              value, nullptr, nullptr);
}

HRESULT ControlBase::PutProperty(const PersistedProperty& p, VARIANT* value) {
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{value, &named, 1, 1};
    return Dispatch()->Invoke(p.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT,
                              &params, nullptr, nullptr, nullptr);
}

HRESULT ControlBase::ApplyLoaded(std::vector<Variant>& values, const std::vector<bool>& present) {
    PropertiesLoading(true);
    HRESULT hr = S_OK;
    for (uint32_t i = 0; SUCCEEDED(hr) && i < info_.persistedCount; ++i) {
        if (!present[i] && MissingPropertyValue(i, values[i].Get()) != S_OK) continue;
        if (FAILED(PutProperty(info_.persisted[i], values[i].Get()))) hr = E_FAIL;
    }
    PropertiesLoading(false);
    if (FAILED(hr)) return hr;
    dirty_ = false;
    PropertiesLoaded();
    return S_OK;
}

HRESULT ControlBase::Load(IStream* stream) {
    if (stream == nullptr) return E_POINTER;
    uint32_t version = 0;
    if (FAILED(ReadU32(stream, &version)) || version > kPropertyStreamVersion) return E_FAIL;
    // Decode every value before applying any, so a damaged stream changes nothing.
    std::vector<Variant> values(info_.persistedCount);
    for (uint32_t i = 0; i < info_.persistedCount; ++i) {
        HRESULT hr = ReadPersistedValue(stream, values[i].Get());
        if (FAILED(hr)) return hr == E_OUTOFMEMORY ? hr : E_FAIL;
    }
    return ApplyLoaded(values, std::vector<bool>(info_.persistedCount, true));
}

HRESULT ControlBase::Save(IStream* stream, int32_t clearDirty) {
    if (stream == nullptr) return E_POINTER;
    HRESULT hr = WriteU32(stream, kPropertyStreamVersion);
    for (uint32_t i = 0; SUCCEEDED(hr) && i < info_.persistedCount; ++i) {
        Variant value;
        hr = SavedValue(i, value.Get());
        if (SUCCEEDED(hr)) hr = WritePersistedValue(stream, *value.Get());
    }
    if (SUCCEEDED(hr) && clearDirty) dirty_ = false;
    return hr;
}

HRESULT ControlBase::GetSizeMax(uint64_t* size) {
    if (size == nullptr) return E_POINTER;
    ComPtr<IStream> scratch;
    HRESULT hr = CreateMemoryStream(nullptr, 0, scratch.Out());
    if (SUCCEEDED(hr)) hr = Save(scratch.Get(), 0);
    if (SUCCEEDED(hr)) hr = scratch->GetSize(size);
    return hr;
}

HRESULT ControlBase::InitNew() {
    // The defaults were applied when the object was built.
    InitProperties();
    return S_OK;
}

HRESULT ControlBase::Load(IPropertyBag* bag, IErrorLog* log) {
    if (bag == nullptr) return E_POINTER;
    std::vector<Variant> values(info_.persistedCount);
    std::vector<bool> present(info_.persistedCount, false);
    for (uint32_t i = 0; i < info_.persistedCount; ++i) {
        present[i] = SUCCEEDED(bag->Read(info_.persisted[i].name, values[i].Get(), log));
        if (!present[i]) VariantClear(values[i].Get());
    }
    return ApplyLoaded(values, present);
}

HRESULT ControlBase::Save(IPropertyBag* bag, int32_t clearDirty, int32_t) {
    if (bag == nullptr) return E_POINTER;
    for (uint32_t i = 0; i < info_.persistedCount; ++i) {
        Variant value;
        HRESULT hr = SavedValue(i, value.Get());
        if (SUCCEEDED(hr)) hr = bag->Write(info_.persisted[i].name, value.Get());
        if (FAILED(hr)) return hr;
    }
    if (clearDirty) dirty_ = false;
    return S_OK;
}

HRESULT ControlBase::InitNew(IStorage* storage) {
    return storage == nullptr ? E_POINTER : InitNew();
}

HRESULT ControlBase::Load(IStorage* storage) {
    if (storage == nullptr) return E_POINTER;
    ComPtr<IStream> contents;
    HRESULT hr = storage->OpenStream(kContentsStream, STGM_READ, contents.Out());
    if (FAILED(hr)) return hr;
    return Load(contents.Get());
}

HRESULT ControlBase::Save(IStorage* storage, int32_t) {
    if (storage == nullptr) return E_POINTER;
    ComPtr<IStream> contents;
    HRESULT hr =
        storage->CreateStream(kContentsStream, STGM_READWRITE | STGM_CREATE, contents.Out());
    if (FAILED(hr)) return hr;
    return Save(contents.Get(), 1);
}

HRESULT ControlBase::SaveCompleted(IStorage*) {
    return S_OK;
}

HRESULT ControlBase::HandsOffStorage() {
    return S_OK;
}

HRESULT ControlBase::SetClientSite(IOleClientSite* site) {
    site_ = ComPtr<IOleClientSite>(site);
    return S_OK;
}

HRESULT ControlBase::GetClientSite(IOleClientSite** site) {
    if (site == nullptr) return E_POINTER;
    *site = site_.Get();
    if (*site) (*site)->AddRef();
    return S_OK;
}

HRESULT ControlBase::SetHostNames(LPCOLESTR, LPCOLESTR) {
    return S_OK;
}

HRESULT ControlBase::Close(uint32_t) {
    return S_OK;
}

HRESULT ControlBase::SetMoniker(uint32_t, IUnknown*) {
    return E_NOTIMPL;
}

HRESULT ControlBase::GetMoniker(uint32_t, uint32_t, IUnknown** moniker) {
    if (moniker != nullptr) *moniker = nullptr;
    return E_NOTIMPL;
}

HRESULT ControlBase::InitFromData(IUnknown*, int32_t, uint32_t) {
    return E_NOTIMPL;
}

HRESULT ControlBase::GetClipboardData(uint32_t, IUnknown** data) {
    if (data != nullptr) *data = nullptr;
    return E_NOTIMPL;
}

HRESULT ControlBase::DoVerb(int32_t verb, void*, IOleClientSite*, int32_t, HWND,
                            const RECTL* position) {
    // Primary, show, in-place and UI activation, hide: nothing to show for an invisible control.
    if (verb > 0 || verb < -5) return OLEOBJ_S_INVALIDVERB;
    if (position != nullptr) position_ = *position;
    return S_OK;
}

HRESULT ControlBase::EnumVerbs(IUnknown** verbs) {
    if (verbs != nullptr) *verbs = nullptr;
    return E_NOTIMPL;
}

HRESULT ControlBase::Update() {
    return S_OK;
}

HRESULT ControlBase::IsUpToDate() {
    return S_OK;
}

HRESULT ControlBase::GetUserClassID(CLSID* clsid) {
    return GetClassID(clsid);
}

HRESULT ControlBase::GetUserType(uint32_t, BSTR* userType) {
    if (userType == nullptr) return E_POINTER;
    *userType = SysAllocString(info_.displayName);
    return *userType ? S_OK : E_OUTOFMEMORY;
}

HRESULT ControlBase::SetExtent(uint32_t aspect, const SIZEL* size) {
    if (size == nullptr) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    extent_ = *size;
    return S_OK;
}

HRESULT ControlBase::GetExtent(uint32_t aspect, SIZEL* size) {
    if (size == nullptr) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *size = extent_;
    return S_OK;
}

HRESULT ControlBase::Advise(IUnknown*, uint32_t* connection) {
    if (connection != nullptr) *connection = 0;
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT ControlBase::Unadvise(uint32_t) {
    return OLE_E_NOCONNECTION;
}

HRESULT ControlBase::EnumAdvise(IUnknown** advise) {
    if (advise != nullptr) *advise = nullptr;
    return E_NOTIMPL;
}

HRESULT ControlBase::GetMiscStatus(uint32_t, uint32_t* status) {
    if (status == nullptr) return E_POINTER;
    *status = info_.miscStatus;
    return S_OK;
}

HRESULT ControlBase::SetColorScheme(const void*) {
    return E_NOTIMPL;
}

HRESULT ControlBase::GetControlInfo(void*) {
    return E_NOTIMPL;
}

HRESULT ControlBase::OnMnemonic(void*) {
    return E_NOTIMPL;
}

HRESULT ControlBase::OnAmbientPropertyChange(DISPID) {
    return S_OK;
}

HRESULT ControlBase::FreezeEvents(int32_t freeze) {
    frozen_ += freeze ? 1 : (frozen_ > 0 ? -1 : 0);
    return S_OK;
}

HRESULT ControlBase::GetWindow(HWND* window) {
    if (window == nullptr) return E_POINTER;
    *window = ControlWindow();
    return *window != nullptr ? S_OK : E_FAIL;
}

HRESULT ControlBase::ContextSensitiveHelp(int32_t) {
    return E_NOTIMPL;
}

HRESULT ControlBase::InPlaceDeactivate() {
    return S_OK;
}

HRESULT ControlBase::UIDeactivate() {
    return S_OK;
}

HRESULT ControlBase::SetObjectRects(const RECTL* position, const RECTL*) {
    if (position == nullptr) return E_POINTER;
    position_ = *position;
    return S_OK;
}

HRESULT ControlBase::ReactivateAndUndo() {
    return E_NOTIMPL;
}

HRESULT ControlBase::OnWindowMessage(uint32_t, uintptr_t, intptr_t, intptr_t* result) {
    if (result != nullptr) *result = 0;
    return S_FALSE;
}

HRESULT ControlBase::GetDropTarget(IUnknown** target) {
    if (target != nullptr) *target = nullptr;
    return E_NOTIMPL;
}

HRESULT ControlBase::TranslateAccelerator(void*) {
    return S_FALSE;
}

HRESULT ControlBase::OnFrameWindowActivate(int32_t) {
    return S_OK;
}

HRESULT ControlBase::OnDocWindowActivate(int32_t) {
    return S_OK;
}

HRESULT ControlBase::ResizeBorder(const RECTL*, IUnknown*, int32_t) {
    return S_OK;
}

HRESULT ControlBase::EnableModeless(int32_t) {
    return S_OK;
}

HRESULT ControlBase::Draw(uint32_t aspect, int32_t, void*, void*, PixelImage*, PixelImage* target,
                          const RECTL* bounds, const RECTL*, void*, uintptr_t) {
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    if (target == nullptr || bounds == nullptr || target->pixels == nullptr) return E_INVALIDARG;
    PaintDesignFace(target, *bounds, info_.toolboxBitmap);
    return S_OK;
}

HRESULT ControlBase::GetColorSet(uint32_t, int32_t, void*, void*, PixelImage*, void** colorSet) {
    if (colorSet != nullptr) *colorSet = nullptr;
    return S_FALSE;
}

HRESULT ControlBase::Freeze(uint32_t, int32_t, void*, uint32_t* freeze) {
    if (freeze != nullptr) *freeze = 0;
    return E_NOTIMPL;
}

HRESULT ControlBase::Unfreeze(uint32_t) {
    return E_NOTIMPL;
}

HRESULT ControlBase::SetAdvise(uint32_t aspects, uint32_t flags, IUnknown* sink) {
    viewAspects_ = aspects;
    viewFlags_ = flags;
    viewSink_ = ComPtr<IUnknown>(sink);
    return S_OK;
}

HRESULT ControlBase::GetAdvise(uint32_t* aspects, uint32_t* flags, IUnknown** sink) {
    if (aspects != nullptr) *aspects = viewAspects_;
    if (flags != nullptr) *flags = viewFlags_;
    if (sink != nullptr) {
        *sink = viewSink_.Get();
        if (*sink) (*sink)->AddRef();
    }
    return S_OK;
}

HRESULT ControlBase::GetExtent(uint32_t aspect, int32_t, void*, SIZEL* size) {
    return GetExtent(aspect, size);
}

HRESULT ControlBase::GetRect(uint32_t, RECTL* rect) {
    if (rect != nullptr) *rect = RECTL{0, 0, 0, 0};
    return E_NOTIMPL;
}

HRESULT ControlBase::GetViewStatus(uint32_t* status) {
    if (status == nullptr) return E_POINTER;
    *status = kViewStatusOpaque;
    return S_OK;
}

HRESULT ControlBase::QueryHitPoint(uint32_t aspect, const RECTL* bounds, int32_t x, int32_t y,
                                   int32_t, uint32_t* hitResult) {
    if (bounds == nullptr || hitResult == nullptr) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    *hitResult = Inside(*bounds, x, y) ? kHitHit : kHitOutside;
    return S_OK;
}

HRESULT ControlBase::QueryHitRect(uint32_t aspect, const RECTL* bounds, const RECTL* location,
                                  int32_t, uint32_t* hitResult) {
    if (bounds == nullptr || location == nullptr || hitResult == nullptr) return E_POINTER;
    if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
    bool overlaps = location->left < bounds->right && location->right > bounds->left &&
                    location->top < bounds->bottom && location->bottom > bounds->top;
    *hitResult = overlaps ? kHitHit : kHitOutside;
    return S_OK;
}

HRESULT ControlBase::GetNaturalExtent(uint32_t, int32_t, void*, void*, void*, SIZEL*) {
    return E_NOTIMPL;
}

bool ControlBase::UserMode() {
    if (!site_) return true;
    Variant mode;
    if (FAILED(GetAmbientProperty(site_.Get(), DISPID_AMBIENT_USERMODE, mode.Get()))) return true;
    if (FAILED(VariantChangeType(mode.Get(), mode.Get(), 0, VT_BOOL))) return true;
    return mode->boolVal != VARIANT_FALSE;
}

HRESULT ControlBase::Ambient(DISPID id, VARIANT* value) {
    if (value == nullptr) return E_POINTER;
    VariantInit(value);
    if (!site_) return E_FAIL;
    return GetAmbientProperty(site_.Get(), id, value);
}

int ControlBase::FireEvent(DISPID id, EventArgs* args) {
    // Hold ourselves: a handler may release the host's last reference to this control.
    ComPtr<IDispatch> self(Dispatch());
    return events_.Fire(id, args);
}

HRESULT ControlBase::ReportCode(int code, const char* message, uint32_t helpContext) {
    return ReportComponentCode(code, message, ErrorSource{info_.progId, info_.helpFile},
                               helpContext);
}

HRESULT ControlBase::ReportGuard(PropertyGuard guard, uint32_t helpContext) {
    return ReportPropertyGuard(guard, ErrorSource{info_.progId, info_.helpFile}, helpContext);
}

void PaintDesignFace(PixelImage* image, const RECTL& bounds, const uint32_t* bitmap) {
    if (image == nullptr || image->pixels == nullptr || image->width <= 0 || image->height <= 0 ||
        image->stride < image->width) {
        return;
    }
    auto put = [image](int64_t x, int64_t y, uint32_t color) {
        if (x < 0 || y < 0 || x >= image->width || y >= image->height) return;
        image->pixels[y * image->stride + x] = color;
    };
    int64_t left = bounds.left, top = bounds.top, right = bounds.right, bottom = bounds.bottom;
    if (right <= left || bottom <= top) return;
    // Only the part of the rectangle inside the image is visited, whatever the bounds say.
    int64_t x0 = left < 0 ? 0 : left, y0 = top < 0 ? 0 : top;
    int64_t x1 = right > image->width ? image->width : right,
            y1 = bottom > image->height ? image->height : bottom;
    for (int64_t y = y0; y < y1; ++y) {
        for (int64_t x = x0; x < x1; ++x) {
            uint32_t color = kFaceColor;
            if (x == left || y == top || x == right - 1 || y == bottom - 1) {
                color = kFrameColor;
            } else if (x == left + 1 || y == top + 1) {
                color = kHighlightColor;
            } else if (x == right - 2 || y == bottom - 2) {
                color = kShadowColor;
            }
            put(x, y, color);
        }
    }
    if (bitmap == nullptr) return;
    for (int by = 0; by < kBitmapHeight; ++by) {
        for (int bx = 0; bx < kBitmapWidth; ++bx) {
            int64_t x = left + 6 + bx, y = top + 7 + by;
            if (x < right && y < bottom) put(x, y, bitmap[by * kBitmapWidth + bx]);
        }
    }
}

}  // namespace quenda
