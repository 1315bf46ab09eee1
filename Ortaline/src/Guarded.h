#pragma once
// The one entry every interface method (plain property getters aside) goes through:
// - a call made from a Status handler while a method runs is refused, before the body
//   touches anything, and the running method goes on as if it had not been made;
// - exceptions stay inside the library: whatever a port or an allocation throws while a
//   method runs ends as a Severe status plus error information, never as an exception
//   crossing the COM boundary.
#include <new>
#include <stdexcept>
#include <string>

#include "BoschComms.h"
#include "Port.h"

namespace ortaline {

// "Serial port error: <system message>" for a port failure, else a short description.
std::string DescribeException(CException* e);

// An array-typed VARIANT without an array (its creation failed) is no use to a client and
// would crash one that trusts the type: it becomes an empty VARIANT.
void DropMissingArray(VARIANT* v);

template <class Body>
HRESULT Guarded(BoschComms& self, Body&& body) noexcept {
    std::string text;
    try {
        if (self.IsRaisingStatus()) return self.RefuseCallFromStatusHandler();
        return body();
    } catch (CException* e) {
        try {
            text = DescribeException(e);
        } catch (...) {
        }
        e->Delete();
    } catch (const std::bad_alloc&) {
        text = "Out of memory";
    } catch (const std::exception& e) {
        try {
            text = std::string("Internal error: ") + e.what();
        } catch (...) {
        }
    } catch (...) {
        text = "Internal error";
    }
    try {
        if (text.empty()) text = "Out of memory";
        self.Fire_Status(text, Severe);
        return self.Error(text);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace ortaline
