#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "com/com.h"
#include "value_size.h"

namespace {

constexpr ULONG kMaxLocks = 0xFFFF;

ULONG ElementSize(VARTYPE vt) {
    return vt == VT_VARIANT ? static_cast<ULONG>(sizeof(VARIANT)) : com::ScalarSize(vt);
}

USHORT FeaturesFor(VARTYPE vt) {
    USHORT features = FADF_HAVEVARTYPE;
    if (vt == VT_BSTR) features |= FADF_BSTR;
    if (vt == VT_UNKNOWN) features |= FADF_UNKNOWN;
    if (vt == VT_DISPATCH) features |= FADF_DISPATCH;
    if (vt == VT_VARIANT) features |= FADF_VARIANT;
    return features;
}

// Bounds are kept last dimension first; dimension d (1-based, first = leftmost) is
// rgsabound[cDims - d].
SAFEARRAYBOUND& Bound(SAFEARRAY* array, UINT dim) {
    SAFEARRAYBOUND* bounds = array->rgsabound;
    return bounds[array->cDims - dim];
}

bool ElementCount(UINT dims, const SAFEARRAYBOUND* bounds, std::size_t elementSize,
                  std::size_t& count) {
    count = 1;
    for (UINT i = 0; i < dims; ++i) {
        std::size_t n = bounds[i].cElements;
        if (n != 0 && count > std::numeric_limits<std::size_t>::max() / n) return false;
        count *= n;
    }
    return count <= std::numeric_limits<std::size_t>::max() / elementSize;
}

std::size_t TotalElements(SAFEARRAY* array) {
    std::size_t count = 1;
    for (UINT d = 1; d <= array->cDims; ++d) count *= Bound(array, d).cElements;
    return count;
}

// Element offset of `indices` (first dimension first; the first dimension varies fastest
// in memory, as Automation lays arrays out), or false when an index is out of range.
bool CellOf(SAFEARRAY* array, const LONG* indices, std::size_t& cell) {
    cell = 0;
    std::size_t stride = 1;
    for (UINT d = 1; d <= array->cDims; ++d) {
        const SAFEARRAYBOUND& b = Bound(array, d);
        std::int64_t offset = static_cast<std::int64_t>(indices[d - 1]) - b.lLbound;
        if (offset < 0 || offset >= static_cast<std::int64_t>(b.cElements)) return false;
        cell += static_cast<std::size_t>(offset) * stride;
        stride *= b.cElements;
    }
    return true;
}

void ClearElements(SAFEARRAY* array) {
    if (!array->pvData) return;
    std::size_t count = TotalElements(array);
    if (array->fFeatures & FADF_BSTR) {
        auto* items = static_cast<BSTR*>(array->pvData);
        for (std::size_t i = 0; i < count; ++i) SysFreeString(items[i]), items[i] = nullptr;
    } else if (array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        auto* items = static_cast<IUnknown**>(array->pvData);
        for (std::size_t i = 0; i < count; ++i) {
            if (items[i]) items[i]->Release(), items[i] = nullptr;
        }
    } else if (array->fFeatures & FADF_VARIANT) {
        auto* items = static_cast<VARIANT*>(array->pvData);
        for (std::size_t i = 0; i < count; ++i) VariantClear(&items[i]);
    }
}

// Copies one element from `from` to `to`, deeply for BSTRs and VARIANTs; `to` holds
// nothing that needs freeing.
HRESULT CopyElement(const SAFEARRAY* array, const void* from, void* to) {
    if (array->fFeatures & FADF_BSTR) {
        BSTR source = *static_cast<const BSTR*>(from);
        BSTR copy = nullptr;
        if (source) {
            copy = SysAllocStringLen(source, SysStringLen(source));
            if (!copy) return E_OUTOFMEMORY;
        }
        *static_cast<BSTR*>(to) = copy;
    } else if (array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* source = *static_cast<IUnknown* const*>(from);
        if (source) source->AddRef();
        *static_cast<IUnknown**>(to) = source;
    } else if (array->fFeatures & FADF_VARIANT) {
        VariantInit(static_cast<VARIANT*>(to));
        return VariantCopy(static_cast<VARIANT*>(to), static_cast<const VARIANT*>(from));
    } else {
        std::memcpy(to, from, array->cbElements);
    }
    return S_OK;
}

SAFEARRAY* AllocateDescriptor(UINT dims) {
    std::size_t size = offsetof(SAFEARRAY, rgsabound) + dims * sizeof(SAFEARRAYBOUND);
    return static_cast<SAFEARRAY*>(std::calloc(1, size));
}

}  // namespace

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds) {
    ULONG size = ElementSize(vt);
    if (size == 0 || dims == 0 || dims > 0xFFFF || !bounds) return nullptr;
    std::size_t count = 0;
    if (!ElementCount(dims, bounds, size, count)) return nullptr;
    SAFEARRAY* array = AllocateDescriptor(dims);
    if (!array) return nullptr;
    array->cDims = static_cast<USHORT>(dims);
    array->fFeatures = FeaturesFor(vt);
    array->cbElements = size;
    array->vt = vt;
    SAFEARRAYBOUND* stored = array->rgsabound;
    for (UINT i = 0; i < dims; ++i) stored[dims - 1 - i] = bounds[i];
    if (count > 0) {
        array->pvData = std::calloc(count, size);
        if (!array->pvData) {
            std::free(array);
            return nullptr;
        }
    }
    return array;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
    SAFEARRAYBOUND bound{elements, lowerBound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* array) {
    if (!array) return S_OK;
    if (array->cLocks > 0) return DISP_E_ARRAYISLOCKED;
    ClearElements(array);
    std::free(array->pvData);
    std::free(array);
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* array) { return array ? array->cDims : 0; }

UINT SafeArrayGetElemsize(SAFEARRAY* array) { return array ? array->cbElements : 0; }

HRESULT SafeArrayGetVartype(SAFEARRAY* array, VARTYPE* vt) {
    if (!array || !vt) return E_INVALIDARG;
    if (!(array->fFeatures & FADF_HAVEVARTYPE)) return E_INVALIDARG;
    *vt = array->vt;
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* array, UINT dim, LONG* bound) {
    if (!array || !bound) return E_INVALIDARG;
    if (dim < 1 || dim > array->cDims) return DISP_E_BADINDEX;
    *bound = Bound(array, dim).lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* array, UINT dim, LONG* bound) {
    if (!array || !bound) return E_INVALIDARG;
    if (dim < 1 || dim > array->cDims) return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& b = Bound(array, dim);
    *bound = static_cast<LONG>(static_cast<std::int64_t>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* array, LONG* indices, void** element) {
    if (!array || !indices || !element) return E_INVALIDARG;
    std::size_t cell = 0;
    if (!CellOf(array, indices, cell)) return DISP_E_BADINDEX;
    *element = static_cast<char*>(array->pvData) + cell * array->cbElements;
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* array, LONG* indices, void* value) {
    if (!array || !indices || !value) return E_INVALIDARG;
    std::size_t cell = 0;
    if (!CellOf(array, indices, cell)) return DISP_E_BADINDEX;
    SafeArrayLock(array);
    HRESULT hr =
        CopyElement(array, static_cast<char*>(array->pvData) + cell * array->cbElements, value);
    SafeArrayUnlock(array);
    return hr;
}

HRESULT SafeArrayPutElement(SAFEARRAY* array, LONG* indices, void* value) {
    if (!array || !indices) return E_INVALIDARG;
    std::size_t cell = 0;
    if (!CellOf(array, indices, cell)) return DISP_E_BADINDEX;
    void* slot = static_cast<char*>(array->pvData) + cell * array->cbElements;
    SafeArrayLock(array);
    HRESULT hr = S_OK;
    if (array->fFeatures & FADF_BSTR) {
        // A BSTR element is given as the BSTR itself, and copied.
        auto source = static_cast<BSTR>(value);
        BSTR copy = source ? SysAllocStringLen(source, SysStringLen(source)) : nullptr;
        if (source && !copy) {
            hr = E_OUTOFMEMORY;
        } else {
            SysFreeString(*static_cast<BSTR*>(slot));
            *static_cast<BSTR*>(slot) = copy;
        }
    } else if (array->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        // An interface element is given as the pointer itself.
        auto* source = static_cast<IUnknown*>(value);
        if (source) source->AddRef();
        IUnknown*& held = *static_cast<IUnknown**>(slot);
        if (held) held->Release();
        held = source;
    } else if (!value) {
        hr = E_INVALIDARG;
    } else if (array->fFeatures & FADF_VARIANT) {
        hr = VariantCopy(static_cast<VARIANT*>(slot), static_cast<const VARIANT*>(value));
    } else {
        std::memcpy(slot, value, array->cbElements);
    }
    SafeArrayUnlock(array);
    return hr;
}

HRESULT SafeArrayLock(SAFEARRAY* array) {
    if (!array) return E_INVALIDARG;
    if (array->cLocks >= kMaxLocks) return E_UNEXPECTED;
    ++array->cLocks;
    return S_OK;
}

HRESULT SafeArrayUnlock(SAFEARRAY* array) {
    if (!array) return E_INVALIDARG;
    if (array->cLocks == 0) return E_UNEXPECTED;
    --array->cLocks;
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* array, void** data) {
    if (!array || !data) return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(array);
    if (FAILED(hr)) return hr;
    *data = array->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* array) { return SafeArrayUnlock(array); }

HRESULT SafeArrayCopy(SAFEARRAY* array, SAFEARRAY** copy) {
    if (!copy) return E_INVALIDARG;
    *copy = nullptr;
    if (!array) return S_OK;
    SAFEARRAY* result = AllocateDescriptor(array->cDims);
    if (!result) return E_OUTOFMEMORY;
    std::memcpy(result, array, offsetof(SAFEARRAY, rgsabound));
    std::memcpy(result->rgsabound, array->rgsabound, array->cDims * sizeof(SAFEARRAYBOUND));
    result->cLocks = 0;
    result->pvData = nullptr;
    std::size_t count = TotalElements(array);
    if (count > 0 && array->pvData) {
        result->pvData = std::calloc(count, array->cbElements);
        if (!result->pvData) {
            std::free(result);
            return E_OUTOFMEMORY;
        }
        for (std::size_t i = 0; i < count; ++i) {
            std::size_t offset = i * array->cbElements;
            HRESULT hr = CopyElement(array, static_cast<char*>(array->pvData) + offset,
                                     static_cast<char*>(result->pvData) + offset);
            if (FAILED(hr)) {
                SafeArrayDestroy(result);  // elements not yet copied are zero
                return hr;
            }
        }
    }
    *copy = result;
    return S_OK;
}
