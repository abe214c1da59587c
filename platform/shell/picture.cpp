// Pictures: image files held as picture objects with a type and a handle, which controls keep
// in their picture properties and hand to the notification area by handle.
#include "platform/shell/picture.h"

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <map>
#include <string>

#include "platform/com/bstr.h"
#include "platform/com/com_object.h"
#include "platform/shell/picture_table.h"

namespace quenda {
namespace {

constexpr qint64 kLargestPictureFile = 4 << 20;
// SVG pictures are drawn at their own size, kept within these bounds (pixels).
constexpr int kSmallestSvgSide = 16;
constexpr int kLargestSvgSide = 256;
constexpr int kDefaultSvgSide = 64;

std::map<HICON, QImage>& Images() {
    static std::map<HICON, QImage> images;  // live pictures by handle
    return images;
}

HICON NextHandle() {
    static HICON next = 0x1000;  // handles are never reused, so a stale one finds nothing
    return ++next;
}

bool StartsWith(const QByteArray& bytes, const char* prefix, int length) {
    return bytes.size() >= length && std::equal(prefix, prefix + length, bytes.constData());
}

bool LooksLikeSvg(const QByteArray& bytes) {
    QByteArray head = bytes.left(1024).trimmed();
    return (head.startsWith("<?xml") || head.startsWith("<svg") ||
            head.startsWith("\xEF\xBB\xBF")) &&
           bytes.contains("<svg");
}

QImage DrawSvg(const QByteArray& bytes) {
    QSvgRenderer renderer(bytes);
    if (!renderer.isValid()) return {};
    QSize size = renderer.defaultSize();
    if (size.isEmpty()) size = QSize(kDefaultSvgSide, kDefaultSvgSide);
    size = size.boundedTo(QSize(kLargestSvgSide, kLargestSvgSide))
               .expandedTo(QSize(kSmallestSvgSide, kSmallestSvgSide));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

// The decoded image and its picture type; a null image when the bytes are no known picture.
QImage Decode(const QByteArray& bytes, int16_t* type) {
    *type = PICTYPE_ICON;
    if (StartsWith(bytes, "\0\0\1\0", 4)) return QImage::fromData(bytes, "ICO");
    if (StartsWith(bytes, "\x89PNG", 4)) return QImage::fromData(bytes, "PNG");
    if (LooksLikeSvg(bytes)) return DrawSvg(bytes);
    *type = PICTYPE_BITMAP;
    if (StartsWith(bytes, "BM", 2)) return QImage::fromData(bytes, "BMP");
    if (StartsWith(bytes, "GIF8", 4)) return QImage::fromData(bytes, "GIF");
    if (StartsWith(bytes, "\xFF\xD8", 2)) return QImage::fromData(bytes, "JPEG");
    return {};
}

constexpr DispMember kMembers[] = {
    DispPropGet<&IShellPicture::get_Handle>(u"Handle", kPictureDispHandle),
    DispPropGet<&IShellPicture::get_Type>(u"Type", kPictureDispType),
    DispPropGet<&IShellPicture::get_Width>(u"Width", kPictureDispWidth),
    DispPropGet<&IShellPicture::get_Height>(u"Height", kPictureDispHeight),
    DispPropGet<&IShellPicture::get_Data>(u"Data", kPictureDispData),
};
constexpr DispInterface kInterface = {IID_IShellPicture, u"IShellPicture", kDispDual, kMembers,
                                      sizeof kMembers / sizeof kMembers[0]};

class Picture final : public ComObject<IShellPicture> {
  public:
    Picture(QByteArray bytes, QImage image, int16_t type)
        : bytes_(std::move(bytes)),
          handle_(NextHandle()),
          type_(type),
          width_(image.width()),
          height_(image.height()) {
        Images()[handle_] = std::move(image);
    }

    HRESULT get_Handle(int32_t* handle) override {
        return Out(handle, static_cast<int32_t>(handle_));
    }
    HRESULT get_Type(int16_t* type) override { return Out(type, type_); }
    HRESULT get_Width(int32_t* pixels) override { return Out(pixels, width_); }
    HRESULT get_Height(int32_t* pixels) override { return Out(pixels, height_); }
    HRESULT get_Data(BSTR* data) override {
        if (data == nullptr) return E_POINTER;
        *data = BstrFromLatin1(
            std::string_view(bytes_.constData(), static_cast<size_t>(bytes_.size())));
        return *data != nullptr ? S_OK : E_OUTOFMEMORY;
    }

    HRESULT GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
        if (info == nullptr) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        return CreateInterfaceTypeInfo(&kInterface, static_cast<IShellPicture*>(this), info);
    }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return DispatchGetIDsOfNames(kInterface, names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* excepInfo, UINT* argError) override {
        return DispatchInvoke(kInterface, static_cast<IShellPicture*>(this), id, flags, params,
                              result, excepInfo, argError);
    }

  private:
    ~Picture() override { Images().erase(handle_); }
    void* FindInterface(REFIID iid) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IShellPicture) {
            return static_cast<IShellPicture*>(this);
        }
        return nullptr;
    }
    template <typename T>
    static HRESULT Out(T* out, T value) {
        if (out == nullptr) return E_POINTER;
        *out = value;
        return S_OK;
    }

    QByteArray bytes_;  // what the picture was made from
    HICON handle_;      // key of the image in Images()
    int16_t type_;
    int32_t width_;
    int32_t height_;
};

}  // namespace

bool PictureImage(HICON handle, QImage* image) {
    auto found = Images().find(handle);
    if (found == Images().end()) return false;
    *image = found->second;
    return true;
}

HRESULT LoadPictureData(const char* bytes, size_t size, IShellPicture** picture) {
    if (picture == nullptr) return E_POINTER;
    *picture = nullptr;
    if (bytes == nullptr || size == 0 || size > static_cast<size_t>(kLargestPictureFile))
        return E_INVALIDARG;
    QByteArray data(bytes, static_cast<qsizetype>(size));
    int16_t type = PICTYPE_NONE;
    QImage image = Decode(data, &type);
    if (image.isNull()) return E_INVALIDARG;
    *picture = new Picture(std::move(data), std::move(image), type);
    return S_OK;
}

HRESULT LoadPictureFile(const char* path, IShellPicture** picture) {
    if (picture == nullptr) return E_POINTER;
    *picture = nullptr;
    if (path == nullptr) return E_INVALIDARG;
    QFile file(QString::fromUtf8(path));
    if (!file.open(QIODevice::ReadOnly) || file.size() > kLargestPictureFile) return E_INVALIDARG;
    QByteArray data = file.read(kLargestPictureFile + 1);
    return LoadPictureData(data.constData(), static_cast<size_t>(data.size()), picture);
}

void PictureTypeAndHandle(IUnknown* picture, int16_t* type, HICON* handle) {
    *type = PICTYPE_NONE;
    *handle = 0;
    if (picture == nullptr) return;
    ComPtr<IShellPicture> shellPicture;
    if (FAILED(picture->QueryInterface(IID_IShellPicture, shellPicture.OutVoid()))) return;
    int32_t number = 0;
    if (FAILED(shellPicture->get_Type(type)) || FAILED(shellPicture->get_Handle(&number))) {
        *type = PICTYPE_NONE;
        return;
    }
    *handle = static_cast<HICON>(number);
}

}  // namespace quenda
