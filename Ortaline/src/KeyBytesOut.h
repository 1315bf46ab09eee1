#pragma once
// Fills the caller's {KW1, KW2} array with the key bytes read so far, however a wake-up
// ends.
#include "com/com.h"

namespace ortaline {

class KeyBytesOut {
public:
    explicit KeyBytesOut(SAFEARRAY* array) : m_array(array) {}
    ~KeyBytesOut() {
        LONG index = 0;
        SafeArrayPutElement(m_array, &index, &kw1);
        index = 1;
        SafeArrayPutElement(m_array, &index, &kw2);
    }
    KeyBytesOut(const KeyBytesOut&) = delete;
    KeyBytesOut& operator=(const KeyBytesOut&) = delete;

    LONG kw1 = 0;
    LONG kw2 = 0;

private:
    SAFEARRAY* m_array;
};

}  // namespace ortaline
