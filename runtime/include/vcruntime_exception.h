// vcruntime_exception.h -- the Windows build's own version: std::exception,
// std::bad_exception, std::bad_alloc, std::bad_array_new_length with the
// object layout vcruntime140.dll / msvcp140.dll expect (vptr followed by
// {const char* what; bool owns_copy}). Copy and destruction go through the
// documented vcruntime140 exports __std_exception_copy/_destroy.
#pragma once
#include <eh.h> // ours: terminate(), set_terminate(), terminate_handler
#include <vcruntime.h>

#if _HAS_EXCEPTIONS
#pragma pack(push, _CRT_PACKING)

extern "C" {
struct __std_exception_data {
    const char* _What;
    bool _DoFree;
};
_VCRTIMP void __cdecl __std_exception_copy(const __std_exception_data* _From, __std_exception_data* _To);
_VCRTIMP void __cdecl __std_exception_destroy(__std_exception_data* _Data);
}

namespace std {
class exception {
public:
    exception() noexcept : _Data() {}
    explicit exception(const char* const _Message) noexcept : _Data() {
        __std_exception_data _Init = {_Message, true};
        __std_exception_copy(&_Init, &_Data);
    }
    // Non-owning form: the message is a string literal.
    exception(const char* const _Message, int) noexcept : _Data() { _Data._What = _Message; }
    exception(const exception& _Other) noexcept : _Data() { __std_exception_copy(&_Other._Data, &_Data); }
    exception& operator=(const exception& _Other) noexcept {
        if (this != &_Other) {
            __std_exception_destroy(&_Data);
            __std_exception_copy(&_Other._Data, &_Data);
        }
        return *this;
    }
    // Virtual order matters (destructor, then what): it must match the
    // vtables of exceptions thrown from msvcp140.dll.
    virtual ~exception() noexcept { __std_exception_destroy(&_Data); }
    [[nodiscard]] virtual const char* what() const { return _Data._What ? _Data._What : "Unknown exception"; }

private:
    __std_exception_data _Data;
};

class bad_exception : public exception {
public:
    bad_exception() noexcept : exception("bad exception", 1) {}
};

class bad_alloc : public exception {
public:
    bad_alloc() noexcept : exception("bad allocation", 1) {}

private:
    friend class bad_array_new_length;
    bad_alloc(const char* const _Message) noexcept : exception(_Message, 1) {}
};

class bad_array_new_length : public bad_alloc {
public:
    bad_array_new_length() noexcept : bad_alloc("bad array new length") {}
};
} // namespace std

#pragma pack(pop)
#endif // _HAS_EXCEPTIONS
