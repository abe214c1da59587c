// VariantChangeType: numbers, booleans, currency, dates and text converted into one another.
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "platform/com/dispatch.h"
#include "platform/com/variant.h"

namespace quenda {
namespace {

// A source value on its way to the target type.
struct Number {
    bool isInteger = true;  // exact integer in `integer`, else `real`
    int64_t integer = 0;
    double real = 0;
    double AsReal() const { return isInteger ? static_cast<double>(integer) : real; }
};

constexpr double kCyScale = 10000.0;

std::string_view Trim(std::u16string_view text, std::string* storage) {
    size_t b = 0;
    size_t e = text.size();
    while (b < e && (text[b] == u' ' || text[b] == u'\t')) ++b;
    while (e > b && (text[e - 1] == u' ' || text[e - 1] == u'\t')) --e;
    storage->clear();
    for (size_t i = b; i < e; ++i) {
        if (text[i] > 0x7F) return {};  // digits are ASCII; anything else is not a number
        storage->push_back(static_cast<char>(text[i]));
    }
    return *storage;
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
        if (x != y) return false;
    }
    return true;
}

HRESULT ParseNumber(BSTR text, Number* out) {
    std::string storage;
    std::string_view s = Trim(BstrView(text), &storage);
    if (s.empty()) return DISP_E_TYPEMISMATCH;
    if (EqualsAsciiNoCase(s, "True")) {
        *out = Number{true, -1, 0};
        return S_OK;
    }
    if (EqualsAsciiNoCase(s, "False")) {
        *out = Number{true, 0, 0};
        return S_OK;
    }
    std::string_view digits = s;
    if (digits.front() == '+') digits.remove_prefix(1);
    int64_t integer = 0;
    auto ri = std::from_chars(digits.data(), digits.data() + digits.size(), integer);
    if (ri.ec == std::errc() && ri.ptr == digits.data() + digits.size()) {
        *out = Number{true, integer, 0};
        return S_OK;
    }
    double real = 0;
    auto rd = std::from_chars(digits.data(), digits.data() + digits.size(), real);
    if (rd.ptr != digits.data() + digits.size() || digits.empty()) return DISP_E_TYPEMISMATCH;
    if (rd.ec == std::errc::result_out_of_range || !std::isfinite(real)) return DISP_E_OVERFLOW;
    if (rd.ec != std::errc()) return DISP_E_TYPEMISMATCH;
    *out = Number{false, 0, real};
    return S_OK;
}

// Reads any numeric-like source (already dereferenced).
HRESULT ToNumber(const VARIANT& v, Number* out) {
    switch (v.vt) {
        case VT_EMPTY: *out = Number{}; return S_OK;
        case VT_I1: *out = Number{true, v.cVal, 0}; return S_OK;
        case VT_UI1: *out = Number{true, v.bVal, 0}; return S_OK;
        case VT_I2: *out = Number{true, v.iVal, 0}; return S_OK;
        case VT_UI2: *out = Number{true, v.uiVal, 0}; return S_OK;
        case VT_BOOL: *out = Number{true, v.boolVal ? -1 : 0, 0}; return S_OK;
        case VT_I4: case VT_INT: *out = Number{true, v.lVal, 0}; return S_OK;
        case VT_UI4: case VT_UINT: *out = Number{true, v.ulVal, 0}; return S_OK;
        case VT_R4: *out = Number{false, 0, v.fltVal}; return S_OK;
        case VT_R8: *out = Number{false, 0, v.dblVal}; return S_OK;
        case VT_DATE: *out = Number{false, 0, v.date}; return S_OK;
        case VT_CY:
            if (v.cyVal.int64 % 10000 == 0) {
                *out = Number{true, v.cyVal.int64 / 10000, 0};
            } else {
                *out = Number{false, 0, static_cast<double>(v.cyVal.int64) / kCyScale};
            }
            return S_OK;
        case VT_BSTR: return ParseNumber(v.bstrVal, out);
        default: return DISP_E_TYPEMISMATCH;
    }
}

// Rounds halves to even, as automation does when a real becomes an integer.
HRESULT ToInteger(const Number& n, int64_t lo, int64_t hi, int64_t* out) {
    if (n.isInteger) {
        if (n.integer < lo || n.integer > hi) return DISP_E_OVERFLOW;
        *out = n.integer;
        return S_OK;
    }
    if (!std::isfinite(n.real)) return DISP_E_OVERFLOW;
    double r = std::nearbyint(n.real);
    if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) return DISP_E_OVERFLOW;
    *out = static_cast<int64_t>(r);
    return S_OK;
}

std::u16string Widen(std::string_view s) { return std::u16string(s.begin(), s.end()); }

std::string FormatReal(double value, int precision) {
    char buffer[64];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
    std::string text(buffer, r.ptr);
    for (char& c : text) {
        if (c == 'e') c = 'E';
    }
    return text;
}

std::string FormatCurrency(int64_t scaled) {
    bool negative = scaled < 0;
    uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(scaled) : static_cast<uint64_t>(scaled);
    std::string text = std::to_string(magnitude / 10000);
    uint64_t fraction = magnitude % 10000;
    if (fraction != 0) {
        char digits[5];
        std::snprintf(digits, sizeof digits, "%04u", static_cast<unsigned>(fraction));
        std::string f(digits);
        while (!f.empty() && f.back() == '0') f.pop_back();
        text += "." + f;
    }
    return negative ? "-" + text : text;
}

// Days since 1899-12-30 to a civil date (proleptic Gregorian).
void CivilFromDays(int64_t days, int64_t* y, unsigned* m, unsigned* d) {
    int64_t z = days - 25569 + 719468;  // shift so that 1970-01-01 is day 0, then to 0000-03-01
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    unsigned doe = static_cast<unsigned>(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t year = static_cast<int64_t>(yoe) + era * 400;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    *d = doy - (153 * mp + 2) / 5 + 1;
    *m = mp < 10 ? mp + 3 : mp - 9;
    *y = year + (*m <= 2);
}

HRESULT FormatDate(double date, std::string* out) {
    if (!std::isfinite(date) || date < -657434.0 || date > 2958465.999999) return DISP_E_OVERFLOW;
    double dayPart = std::floor(date);
    double fraction = std::fabs(date - dayPart);
    // Negative dates count whole days backwards but times forwards.
    if (date < 0 && fraction != 0) {
        dayPart = std::ceil(date);
        fraction = std::fabs(date - dayPart);
    }
    int64_t seconds = static_cast<int64_t>(std::nearbyint(fraction * 86400.0));
    if (seconds >= 86400) seconds = 86399;
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(static_cast<int64_t>(dayPart), &year, &month, &day);
    char text[48];
    if (seconds == 0) {
        std::snprintf(text, sizeof text, "%04lld-%02u-%02u", static_cast<long long>(year), month, day);
    } else {
        std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02d:%02d:%02d", static_cast<long long>(year), month, day,
                      static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    }
    *out = text;
    return S_OK;
}

HRESULT ToText(const VARIANT& v, uint16_t flags, BSTR* out) {
    std::string text;
    switch (v.vt) {
        case VT_EMPTY: break;
        case VT_BOOL:
            if (flags & VARIANT_ALPHABOOL) {
                text = v.boolVal ? "True" : "False";
            } else {
                text = v.boolVal ? "-1" : "0";
            }
            break;
        case VT_R4: text = FormatReal(v.fltVal, 7); break;
        case VT_R8: text = FormatReal(v.dblVal, 15); break;
        case VT_CY: text = FormatCurrency(v.cyVal.int64); break;
        case VT_DATE: {
            HRESULT hr = FormatDate(v.date, &text);
            if (FAILED(hr)) return hr;
            break;
        }
        default: {
            Number n;
            HRESULT hr = ToNumber(v, &n);
            if (FAILED(hr) || !n.isInteger) return DISP_E_TYPEMISMATCH;
            text = std::to_string(n.integer);
            break;
        }
    }
    std::u16string wide = Widen(text);
    *out = SysAllocStringLen(wide.data(), static_cast<uint32_t>(wide.size()));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// Builds the converted value into *result (which owns what it holds on success).
HRESULT Convert(const VARIANT& src, uint16_t flags, VARTYPE vt, VARIANT* result) {
    VariantInit(result);
    if (src.vt == vt) return VariantCopy(result, &src);
    if ((src.vt & VT_ARRAY) || (vt & (VT_ARRAY | VT_BYREF))) return DISP_E_TYPEMISMATCH;
    if (src.vt == VT_NULL) return DISP_E_TYPEMISMATCH;
    switch (vt) {
        case VT_EMPTY:
            return S_OK;
        case VT_BSTR: {
            BSTR text = nullptr;
            HRESULT hr = ToText(src, flags, &text);
            if (FAILED(hr)) return hr;
            result->vt = VT_BSTR;
            result->bstrVal = text;
            return S_OK;
        }
        case VT_UNKNOWN:
            if (src.vt != VT_DISPATCH) return DISP_E_TYPEMISMATCH;
            result->vt = VT_UNKNOWN;
            result->punkVal = src.pdispVal;
            if (result->punkVal) result->punkVal->AddRef();
            return S_OK;
        case VT_DISPATCH: {
            if (src.vt != VT_UNKNOWN) return DISP_E_TYPEMISMATCH;
            result->vt = VT_DISPATCH;
            result->pdispVal = nullptr;
            if (src.punkVal == nullptr) return S_OK;
            void* dispatch = nullptr;
            if (FAILED(src.punkVal->QueryInterface(IID_IDispatch, &dispatch))) {
                VariantInit(result);
                return DISP_E_TYPEMISMATCH;
            }
            result->pdispVal = static_cast<IDispatch*>(dispatch);
            return S_OK;
        }
        case VT_ERROR:
            return DISP_E_TYPEMISMATCH;
        default:
            break;
    }
    Number n;
    HRESULT hr = ToNumber(src, &n);
    if (FAILED(hr)) return hr;
    int64_t i = 0;
    switch (vt) {
        case VT_I1: hr = ToInteger(n, INT8_MIN, INT8_MAX, &i); result->cVal = static_cast<int8_t>(i); break;
        case VT_UI1: hr = ToInteger(n, 0, UINT8_MAX, &i); result->bVal = static_cast<uint8_t>(i); break;
        case VT_I2: hr = ToInteger(n, INT16_MIN, INT16_MAX, &i); result->iVal = static_cast<int16_t>(i); break;
        case VT_UI2: hr = ToInteger(n, 0, UINT16_MAX, &i); result->uiVal = static_cast<uint16_t>(i); break;
        case VT_I4: case VT_INT: hr = ToInteger(n, INT32_MIN, INT32_MAX, &i); result->lVal = static_cast<int32_t>(i); break;
        case VT_UI4: case VT_UINT: hr = ToInteger(n, 0, UINT32_MAX, &i); result->ulVal = static_cast<uint32_t>(i); break;
        case VT_BOOL:
            result->boolVal = (n.isInteger ? n.integer != 0 : n.real != 0) ? VARIANT_TRUE : VARIANT_FALSE;
            break;
        case VT_R4: {
            double r = n.AsReal();
            if (std::fabs(r) > std::numeric_limits<float>::max()) return DISP_E_OVERFLOW;
            result->fltVal = static_cast<float>(r);
            break;
        }
        case VT_R8: result->dblVal = n.AsReal(); break;
        case VT_DATE: {
            double r = n.AsReal();
            if (r < -657434.0 || r >= 2958466.0) return DISP_E_OVERFLOW;
            result->date = r;
            break;
        }
        case VT_CY: {
            if (n.isInteger) {
                if (n.integer > INT64_MAX / 10000 || n.integer < INT64_MIN / 10000) return DISP_E_OVERFLOW;
                result->cyVal.int64 = n.integer * 10000;
            } else {
                double scaled = std::nearbyint(n.real * kCyScale);
                if (!(scaled > -9.2233720368547e18 && scaled < 9.2233720368547e18)) return DISP_E_OVERFLOW;
                result->cyVal.int64 = static_cast<int64_t>(scaled);
            }
            break;
        }
        default:
            return DISP_E_BADVARTYPE;
    }
    if (FAILED(hr)) return hr;
    result->vt = vt;
    return S_OK;
}

}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, uint16_t flags, VARTYPE vt) {
    if (dest == nullptr || src == nullptr) return E_INVALIDARG;
    VARIANT value;
    VariantInit(&value);
    HRESULT hr = VariantCopyInd(&value, src);
    if (FAILED(hr)) return hr;
    VARIANT result;
    hr = Convert(value, flags, vt, &result);
    VariantClear(&value);
    if (FAILED(hr)) return hr;
    hr = VariantClear(dest);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *dest = result;
    return S_OK;
}

}  // namespace quenda
