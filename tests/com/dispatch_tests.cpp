#include <gtest/gtest.h>

#include <string>

#include "com/bstr.h"
#include "com/dispatch_thunk.h"
#include "com/typelib.h"

namespace {

enum Mode : LONG { Slow = 1, Fast = 2 };

// An early-bound shape as a server would write it, without COM around it.
struct Panel {
    LONG width = 0;
    Mode mode = Slow;
    std::string lastText;

    HRESULT Resize(LONG w, SHORT scale, LONG* area) {
        width = w;
        *area = w * scale;
        return S_OK;
    }
    HRESULT put_Mode(Mode m) {
        if (m != Slow && m != Fast) {
            ICreateErrorInfo* create = nullptr;
            CreateErrorInfo(&create);
            create->SetDescription(const_cast<LPOLESTR>(u"Bad mode"));
            IErrorInfo* info = nullptr;
            create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info));
            SetErrorInfo(0, info);
            info->Release();
            create->Release();
            return DISP_E_EXCEPTION;
        }
        mode = m;
        return S_OK;
    }
    HRESULT get_Mode(Mode* m) {
        *m = mode;
        return S_OK;
    }
    HRESULT Show(VARIANT what, VARIANT_BOOL* shown) {
        lastText = what.vt == VT_BSTR ? com::FromBstr(what.bstrVal) : "?";
        *shown = VARIANT_TRUE;
        return S_OK;
    }
};

constexpr com::ParamDesc kResize[] = {{"Width", VT_I4, com::ParamIn},
                                      {"Scale", VT_I2, com::ParamIn},
                                      {"Area", VT_I4, com::ParamOut | com::ParamRetval}};
constexpr com::ParamDesc kModeIn[] = {{"newVal", VT_I4, com::ParamIn, "Mode"}};
constexpr com::ParamDesc kModeOut[] = {{"pVal", VT_I4, com::ParamOut | com::ParamRetval, "Mode"}};
constexpr com::ParamDesc kShow[] = {{"What", VT_VARIANT, com::ParamIn},
                                    {"Shown", VT_BOOL, com::ParamOut | com::ParamRetval}};
constexpr com::MemberDesc kMembers[] = {
    {"Resize", 1, com::MemberKind::Method, kResize, &com::Thunk<&Panel::Resize>},
    {"Mode", 2, com::MemberKind::PropertyPut, kModeIn, &com::Thunk<&Panel::put_Mode>},
    {"Mode", 2, com::MemberKind::PropertyGet, kModeOut, &com::Thunk<&Panel::get_Mode>},
    {"Show", 3, com::MemberKind::Method, kShow, &com::Thunk<&Panel::Show>},
};
constexpr com::InterfaceDesc kPanel = {"IPanel", &IID_IDispatch, true, kMembers};

VARIANT Arg(LONG v) {
    VARIANT x;
    VariantInit(&x);
    x.vt = VT_I4;
    x.lVal = v;
    return x;
}

TEST(DispatchInvoke, MethodArgumentsComeInReverseAndAreCoerced) {
    Panel panel;
    VARIANT args[2];
    VariantInit(&args[0]);
    args[0].vt = VT_BSTR;  // Scale, given as text
    args[0].bstrVal = com::ToBstr("3");
    args[1] = Arg(7);  // Width
    DISPPARAMS params{args, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(com::DispatchInvoke(kPanel, &panel, 1, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                  &params, &result, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(panel.width, 7);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 21);
    VariantClear(&args[0]);
}

TEST(DispatchInvoke, RefusalsNameTheArgument) {
    Panel panel;
    VARIANT args[2] = {Arg(1), Arg(2)};
    UINT argErr = 99;
    DISPPARAMS one{args, nullptr, 1, 0};
    EXPECT_EQ(
        com::DispatchInvoke(kPanel, &panel, 1, DISPATCH_METHOD, &one, nullptr, nullptr, &argErr),
        DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(
        com::DispatchInvoke(kPanel, &panel, 42, DISPATCH_METHOD, &one, nullptr, nullptr, &argErr),
        DISP_E_MEMBERNOTFOUND);

    VariantInit(&args[1]);
    args[1].vt = VT_BSTR;  // Width as a text that is no number
    args[1].bstrVal = com::ToBstr("wide");
    DISPPARAMS two{args, nullptr, 2, 0};
    EXPECT_EQ(
        com::DispatchInvoke(kPanel, &panel, 1, DISPATCH_METHOD, &two, nullptr, nullptr, &argErr),
        DISP_E_TYPEMISMATCH);
    EXPECT_EQ(argErr, 1u);  // rgvarg position of the first argument
    VariantClear(&args[1]);

    args[1] = Arg(1);
    args[0] = Arg(70000);  // Scale does not fit 16 bits
    EXPECT_EQ(
        com::DispatchInvoke(kPanel, &panel, 1, DISPATCH_METHOD, &two, nullptr, nullptr, &argErr),
        DISP_E_OVERFLOW);
    EXPECT_EQ(argErr, 0u);
    EXPECT_EQ(panel.width, 0);  // never called
}

TEST(DispatchInvoke, PropertiesAndExceptions) {
    Panel panel;
    VARIANT value = Arg(Fast);
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS put{&value, &named, 1, 1};
    ASSERT_EQ(com::DispatchInvoke(kPanel, &panel, 2, DISPATCH_PROPERTYPUT, &put, nullptr, nullptr,
                                  nullptr),
              S_OK);
    EXPECT_EQ(panel.mode, Fast);
    DISPPARAMS unnamed{&value, nullptr, 1, 0};
    EXPECT_EQ(com::DispatchInvoke(kPanel, &panel, 2, DISPATCH_PROPERTYPUT, &unnamed, nullptr,
                                  nullptr, nullptr),
              DISP_E_PARAMNOTFOUND);

    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(com::DispatchInvoke(kPanel, &panel, 2, DISPATCH_PROPERTYGET, &none, &result, nullptr,
                                  nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, Fast);

    value = Arg(9);
    EXCEPINFO info{};
    EXPECT_EQ(
        com::DispatchInvoke(kPanel, &panel, 2, DISPATCH_PROPERTYPUT, &put, nullptr, &info, nullptr),
        DISP_E_EXCEPTION);
    EXPECT_EQ(com::FromBstr(info.bstrDescription), "Bad mode");
    EXPECT_EQ(info.scode, DISP_E_EXCEPTION);
    com::ClearExcepInfo(&info);
    IErrorInfo* left = nullptr;
    EXPECT_EQ(GetErrorInfo(0, &left), S_FALSE);  // taken into EXCEPINFO
    EXPECT_EQ(panel.mode, Fast);
}

TEST(DispatchInvoke, VariantParameterAndBooleanRetval) {
    Panel panel;
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = com::ToBstr("shown text");
    VARIANT byRef;
    VariantInit(&byRef);
    byRef.vt = VT_BYREF | VT_VARIANT;  // as late-bound callers pass a variable
    byRef.pvarVal = &text;
    DISPPARAMS params{&byRef, nullptr, 1, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(
        com::DispatchInvoke(kPanel, &panel, 3, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
        S_OK);
    EXPECT_EQ(panel.lastText, "shown text");
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    EXPECT_EQ(com::FromBstr(text.bstrVal), "shown text");  // the caller's value is untouched
    VariantClear(&text);
}

TEST(GetIDsOfNames, MembersAndParametersIgnoringCase) {
    OLECHAR resize[] = u"rESIZE";
    OLECHAR scale[] = u"scale";
    OLECHAR nope[] = u"Nope";
    LPOLESTR names[] = {resize, scale, nope};
    DISPID ids[3];
    EXPECT_EQ(com::GetIDsOfNames(kPanel, names, 2, ids), S_OK);
    EXPECT_EQ(ids[0], 1);
    EXPECT_EQ(ids[1], 1);  // parameter position
    EXPECT_EQ(com::GetIDsOfNames(kPanel, names, 3, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[2], DISPID_UNKNOWN);
    LPOLESTR unknown[] = {nope};
    EXPECT_EQ(com::GetIDsOfNames(kPanel, unknown, 1, ids), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(ids[0], DISPID_UNKNOWN);
    OLECHAR mode[] = u"mode";
    LPOLESTR property[] = {mode};
    EXPECT_EQ(com::GetIDsOfNames(kPanel, property, 1, ids), S_OK);
    EXPECT_EQ(ids[0], 2);
}

}  // namespace
