#pragma once

#include <cstddef>

// Scintilla's document loader interface. QScintilla does not ship the header
// that declares it, so it is declared here as Scintilla declares it: same name
// in the global namespace (the sanitizer's type check compares names), three
// virtual functions in this order. Not in an unnamed namespace: the compiler
// would then know every implementation of it (none) and turn the calls into
// pure virtual calls.
class ILoader {
public:
    virtual int Release() = 0;
    virtual int AddData(const char *data, ptrdiff_t length) = 0;
    virtual void *ConvertToDocument() = 0;

protected:
    ~ILoader() = default;
};
