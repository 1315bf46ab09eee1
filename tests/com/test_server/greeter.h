#pragma once
// A tiny in-process server for the end-to-end tests: class Greeter with the dual interface
// IGreeter and the event interface _IGreeterEvents.
#include "com/com.h"

inline constexpr CLSID CLSID_Greeter = {
    0x6A3C1F20, 0x52D4, 0x4C1B, {0x9E, 0x10, 0x3B, 0x7F, 0x21, 0x44, 0x8C, 0x01}};
inline constexpr IID IID_IGreeter = {
    0x6A3C1F21, 0x52D4, 0x4C1B, {0x9E, 0x10, 0x3B, 0x7F, 0x21, 0x44, 0x8C, 0x01}};
inline constexpr IID DIID__IGreeterEvents = {
    0x6A3C1F22, 0x52D4, 0x4C1B, {0x9E, 0x10, 0x3B, 0x7F, 0x21, 0x44, 0x8C, 0x01}};
inline constexpr GUID LIBID_GreeterLib = {
    0x6A3C1F23, 0x52D4, 0x4C1B, {0x9E, 0x10, 0x3B, 0x7F, 0x21, 0x44, 0x8C, 0x01}};
inline constexpr GUID APPID_Greeter = {
    0x6A3C1F24, 0x52D4, 0x4C1B, {0x9E, 0x10, 0x3B, 0x7F, 0x21, 0x44, 0x8C, 0x01}};

inline constexpr DISPID DISPID_Greeter_Add = 1;
inline constexpr DISPID DISPID_Greeter_Greet = 2;
inline constexpr DISPID DISPID_GreeterEvents_Greeted = 1;

struct IGreeter : IDispatch {
    virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;
    // Fires Greeted("Hello, <name>") and returns the same text; refuses an empty name with
    // error information.
    virtual HRESULT Greet(BSTR name, BSTR* greeting) = 0;

protected:
    ~IGreeter() = default;
};
