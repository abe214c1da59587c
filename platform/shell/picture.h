// Pictures: image files held as picture objects with a type and a handle, which controls keep
// in their picture properties and hand to the notification area by handle.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/com/type_info.h"
#include "platform/shell/shell_api.h"

namespace quenda {

inline constexpr int16_t PICTYPE_NONE = 0;
inline constexpr int16_t PICTYPE_BITMAP = 1;
inline constexpr int16_t PICTYPE_ICON = 3;

inline constexpr IID IID_IShellPicture = {
    0x4A6E2B71, 0x0C1D, 0x4E58, {0x93, 0x2F, 0x50, 0x69, 0x63, 0x74, 0x75, 0x01}};

enum ShellPictureDispid : DISPID {
    kPictureDispHandle = 0,  // I4, the default value
    kPictureDispType = 3,    // I2, PICTYPE_*
    kPictureDispWidth = 4,   // I4, pixels
    kPictureDispHeight = 5,  // I4, pixels
    kPictureDispData = 100,  // BSTR, the bytes the picture was made from, one character per byte
};

// A picture as hosts and controls pass it (through its IDispatch or directly).
class IShellPicture : public IDispatch {
  public:
    virtual HRESULT get_Handle(int32_t* handle) = 0;
    virtual HRESULT get_Type(int16_t* type) = 0;
    virtual HRESULT get_Width(int32_t* pixels) = 0;
    virtual HRESULT get_Height(int32_t* pixels) = 0;
    // A new BSTR the caller frees; the same bytes given to LoadPictureData make an equal picture.
    virtual HRESULT get_Data(BSTR* data) = 0;

  protected:
    ~IShellPicture() = default;
};

// A new picture (one reference, the caller's) from the bytes of an image file, whatever its
// name: ICO, PNG and SVG make an icon (PICTYPE_ICON), BMP, GIF and JPEG a bitmap. E_POINTER
// for a null picture, E_INVALIDARG (*picture null) for bytes that are none of these or do not
// decode; never reads past size bytes.
QUENDA_SHELL_API HRESULT LoadPictureData(const char* bytes, size_t size, IShellPicture** picture);

// As LoadPictureData with the content of the file at path (UTF-8); E_INVALIDARG also when it
// cannot be read. Files over 4 MiB are refused unread.
QUENDA_SHELL_API HRESULT LoadPictureFile(const char* path, IShellPicture** picture);

// The type and handle of any picture given as an object (nullptr: no picture, PICTYPE_NONE and
// 0); an object that is not one of these pictures counts as no picture.
QUENDA_SHELL_API void PictureTypeAndHandle(IUnknown* picture, int16_t* type, HICON* handle);

}  // namespace quenda
