#pragma once
// Thunks for the type-library tables, made from the members of an early-bound interface:
//   MemberDesc{"Close", 2, MemberKind::Method, {}, &com::Thunk<&IFoo::Close>}
// Parameters are read from the coerced arguments in order; a trailing pointer parameter is
// the retval and is handed back in the result VARIANT.
#include <cstddef>
#include <tuple>
#include <type_traits>
#include <utility>

#include "com/com.h"

namespace com {
namespace thunk_detail {

template <class T>
T FromArgument(VARIANT& v) {
    if constexpr (std::is_same_v<T, VARIANT>) {
        return v;  // borrowed: DispatchInvoke clears it after the call
    } else if constexpr (std::is_enum_v<T>) {
        return static_cast<T>(v.lVal);
    } else if constexpr (std::is_same_v<T, LONG> || std::is_same_v<T, INT>) {
        return v.lVal;
    } else if constexpr (std::is_same_v<T, ULONG> || std::is_same_v<T, UINT>) {
        return v.ulVal;
    } else if constexpr (std::is_same_v<T, SHORT>) {
        return v.iVal;
    } else if constexpr (std::is_same_v<T, USHORT>) {
        return v.uiVal;
    } else if constexpr (std::is_same_v<T, BYTE>) {
        return v.bVal;
    } else if constexpr (std::is_same_v<T, double>) {
        return v.dblVal;
    } else if constexpr (std::is_same_v<T, float>) {
        return v.fltVal;
    } else if constexpr (std::is_same_v<T, LONGLONG>) {
        return v.llVal;
    } else if constexpr (std::is_same_v<T, BSTR>) {
        return v.bstrVal;
    } else if constexpr (std::is_same_v<T, IDispatch*>) {
        return v.pdispVal;
    } else if constexpr (std::is_same_v<T, IUnknown*>) {
        return v.punkVal;
    } else if constexpr (std::is_same_v<T, VARIANT*>) {
        return (v.vt & VT_BYREF) ? v.pvarVal : &v;
    } else {
        static_assert(sizeof(T) == 0, "parameter type without a thunk conversion");
    }
}

template <class T>
void ToResult(T& value, VARIANT* result) {
    if constexpr (std::is_same_v<T, VARIANT>) {
        *result = value;  // ownership moves to the result
    } else if constexpr (std::is_enum_v<T> || std::is_same_v<T, LONG> || std::is_same_v<T, INT>) {
        result->vt = VT_I4;
        result->lVal = static_cast<LONG>(value);
    } else if constexpr (std::is_same_v<T, ULONG> || std::is_same_v<T, UINT>) {
        result->vt = VT_UI4;
        result->ulVal = value;
    } else if constexpr (std::is_same_v<T, SHORT>) {
        result->vt = VT_I2;  // also VARIANT_BOOL; DispatchInvoke retypes it as declared
        result->iVal = value;
    } else if constexpr (std::is_same_v<T, USHORT>) {
        result->vt = VT_UI2;
        result->uiVal = value;
    } else if constexpr (std::is_same_v<T, BYTE>) {
        result->vt = VT_UI1;
        result->bVal = value;
    } else if constexpr (std::is_same_v<T, double>) {
        result->vt = VT_R8;
        result->dblVal = value;
    } else if constexpr (std::is_same_v<T, float>) {
        result->vt = VT_R4;
        result->fltVal = value;
    } else if constexpr (std::is_same_v<T, LONGLONG>) {
        result->vt = VT_I8;
        result->llVal = value;
    } else if constexpr (std::is_same_v<T, BSTR>) {
        result->vt = VT_BSTR;
        result->bstrVal = value;
    } else if constexpr (std::is_same_v<T, IDispatch*>) {
        result->vt = VT_DISPATCH;
        result->pdispVal = value;
    } else if constexpr (std::is_same_v<T, IUnknown*>) {
        result->vt = VT_UNKNOWN;
        result->punkVal = value;
    } else {
        static_assert(sizeof(T) == 0, "retval type without a thunk conversion");
    }
}

template <class T>
T Empty() {
    if constexpr (std::is_same_v<T, VARIANT>) {
        VARIANT v;
        VariantInit(&v);
        return v;
    } else {
        return T{};
    }
}

template <class M>
struct MemberTraits;

template <class C, class... A>
struct MemberTraits<HRESULT (C::*)(A...)> {
    using Class = C;
    using Args = std::tuple<A...>;
    static constexpr std::size_t count = sizeof...(A);
};

template <auto Method, class Traits, std::size_t... I>
HRESULT CallInputsOnly(void* object, VARIANT* args, std::index_sequence<I...>) {
    auto* self = static_cast<typename Traits::Class*>(object);
    return (self->*Method)(
        FromArgument<std::tuple_element_t<I, typename Traits::Args>>(args[I])...);
}

template <auto Method, class Traits, std::size_t... I>
HRESULT CallWithRetval(void* object, VARIANT* args, VARIANT* result, std::index_sequence<I...>) {
    using Out =
        std::remove_pointer_t<std::tuple_element_t<Traits::count - 1, typename Traits::Args>>;
    auto* self = static_cast<typename Traits::Class*>(object);
    Out value = Empty<Out>();
    HRESULT hr = (self->*Method)(
        FromArgument<std::tuple_element_t<I, typename Traits::Args>>(args[I])..., &value);
    if (SUCCEEDED(hr)) {
        ToResult(value, result);
    } else if constexpr (std::is_same_v<Out, VARIANT>) {
        VariantClear(&value);
    }
    return hr;
}

}  // namespace thunk_detail

// The object pointer DispatchInvoke passes is the interface (or class) named by Method.
template <auto Method>
HRESULT Thunk(void* object, VARIANT* args, VARIANT* result) {
    using Traits = thunk_detail::MemberTraits<decltype(Method)>;
    if constexpr (Traits::count > 0 &&
                  std::is_pointer_v<
                      std::tuple_element_t<Traits::count - 1, typename Traits::Args>>) {
        return thunk_detail::CallWithRetval<Method, Traits>(
            object, args, result, std::make_index_sequence<Traits::count - 1>{});
    } else {
        return thunk_detail::CallInputsOnly<Method, Traits>(
            object, args, std::make_index_sequence<Traits::count>{});
    }
}

}  // namespace com
