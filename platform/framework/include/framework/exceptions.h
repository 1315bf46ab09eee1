#pragma once
// Framework exception classes. As in the framework the library was written for, they are
// thrown as pointers and the catcher calls Delete().
#include <cstddef>

#include "win32/types.h"

class CException {
public:
    virtual ~CException() = default;
    // Copies the exception's message (at most maxChars characters including the terminating
    // zero) into text; false and an empty text when there is none.
    virtual BOOL GetErrorMessage(char* text, UINT maxChars, UINT* helpContext = nullptr) const {
        if (helpContext != nullptr) *helpContext = 0;
        if (text != nullptr && maxChars > 0) text[0] = '\0';
        return FALSE;
    }
    void Delete() { delete this; }
};

// Thrown after the user (here: the caller) has already been told what went wrong.
class CUserException : public CException {};

class CMemoryException : public CException {};

[[noreturn]] inline void AfxThrowUserException() { throw new CUserException; }
[[noreturn]] inline void AfxThrowMemoryException() { throw new CMemoryException; }
