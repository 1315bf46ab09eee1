#include "Guarded.h"

#include <cstdio>

namespace ortaline {

std::string DescribeException(CException* e) {
    if (auto* serial = dynamic_cast<CSerialException*>(e)) {
        char message[512];
        std::string text = "Serial port error: ";
        if (serial->GetErrorMessage(message, sizeof message)) {
            std::string m(message);
            while (!m.empty() && (m.back() == '\n' || m.back() == '\r' || m.back() == ' ')) {
                m.pop_back();
            }
            text += m;
        } else {
            std::snprintf(message, sizeof message, "error code %u",
                          static_cast<unsigned>(serial->Error()));
            text += message;
        }
        return text;
    }
    if (dynamic_cast<CMemoryException*>(e) != nullptr) return "Out of memory";
    // Thrown after its own status text; the method still needs an error to return.
    if (dynamic_cast<CUserException*>(e) != nullptr) return "Operation failed";
    char message[512];
    if (e->GetErrorMessage(message, sizeof message) && message[0] != '\0') return message;
    return "Internal error";
}

void DropMissingArray(VARIANT* v) {
    if ((v->vt & VT_ARRAY) != 0 && v->parray == nullptr) VariantInit(v);
}

}  // namespace ortaline
