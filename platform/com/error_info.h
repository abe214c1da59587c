// Error information: the per-thread record a failing call leaves for its caller to read.
#pragma once

#include <cstdint>

#include "platform/com/bstr.h"
#include "platform/com/unknown.h"

namespace quenda {

inline constexpr IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ICreateErrorInfo = {0x22F03340, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

class IErrorInfo : public IUnknown {
public:
    virtual HRESULT GetGUID(GUID* guid) = 0;
    // Each text getter hands the caller a new BSTR (nullptr when not set).
    virtual HRESULT GetSource(BSTR* source) = 0;
    virtual HRESULT GetDescription(BSTR* description) = 0;
    virtual HRESULT GetHelpFile(BSTR* helpFile) = 0;
    virtual HRESULT GetHelpContext(uint32_t* helpContext) = 0;

protected:
    ~IErrorInfo() = default;
};

class ICreateErrorInfo : public IUnknown {
public:
    virtual HRESULT SetGUID(REFGUID guid) = 0;
    // Texts are copied; nullptr clears.
    virtual HRESULT SetSource(LPCOLESTR source) = 0;
    virtual HRESULT SetDescription(LPCOLESTR description) = 0;
    virtual HRESULT SetHelpFile(LPCOLESTR helpFile) = 0;
    virtual HRESULT SetHelpContext(uint32_t helpContext) = 0;

protected:
    ~ICreateErrorInfo() = default;
};

class ISupportErrorInfo : public IUnknown {
public:
    // S_OK when failures of interface iid leave error information, else S_FALSE.
    virtual HRESULT InterfaceSupportsErrorInfo(REFIID iid) = 0;

protected:
    ~ISupportErrorInfo() = default;
};

// A new, empty error record; query it for IErrorInfo to publish it.
HRESULT CreateErrorInfo(ICreateErrorInfo** info);

// Replaces the calling thread's error record with info (nullptr clears it), taking a
// reference. reserved must be 0.
HRESULT SetErrorInfo(uint32_t reserved, IErrorInfo* info);

// Moves the calling thread's error record to the caller (who releases it) and clears the
// slot. S_FALSE with *info = nullptr when there is none.
HRESULT GetErrorInfo(uint32_t reserved, IErrorInfo** info);

// Publishes a record in one step: interface iid, source, description, help file and
// context. Returns the SetErrorInfo result.
HRESULT PublishErrorInfo(REFGUID iid, LPCOLESTR source, LPCOLESTR description, LPCOLESTR helpFile,
                         uint32_t helpContext);

}  // namespace quenda
