// vcruntime_typeinfo.h -- the Windows build's own version: ::type_info with
// the MSVC RTTI layout (vptr, cached undecorated name, decorated name), its
// members implemented by the vcruntime140.dll exports __std_type_info_*,
// plus std::bad_cast and std::bad_typeid.
#pragma once
#include <vcruntime_exception.h>

#pragma pack(push, _CRT_PACKING)
extern "C" {
struct __std_type_info_data {
    const char* _UndecoratedName;
    const char _DecoratedName[1];
    __std_type_info_data() = delete;
    __std_type_info_data(const __std_type_info_data&) = delete;
    __std_type_info_data& operator=(const __std_type_info_data&) = delete;
};
// Per-module list of names allocated by __std_type_info_name (an SLIST head).
struct __type_info_node {
    alignas(16) unsigned long long _Head[2];
};
extern __type_info_node __type_info_root_node; // defined in src/type_info.cpp

_VCRTIMP int __cdecl __std_type_info_compare(const __std_type_info_data* _Lhs,
                                             const __std_type_info_data* _Rhs);
_VCRTIMP size_t __cdecl __std_type_info_hash(const __std_type_info_data* _Data);
_VCRTIMP const char* __cdecl __std_type_info_name(__std_type_info_data* _Data, __type_info_node* _RootNode);
_VCRTIMP void __cdecl __std_type_info_destroy_list(__type_info_node* _RootNode);
}

#pragma warning(push)
#pragma warning(disable : 4577)
class type_info {
public:
    type_info(const type_info&) = delete;
    type_info& operator=(const type_info&) = delete;

    size_t hash_code() const noexcept { return __std_type_info_hash(&_Data); }
    bool operator==(const type_info& _Other) const noexcept {
        return __std_type_info_compare(&_Data, &_Other._Data) == 0;
    }
#if !defined(__cpp_impl_three_way_comparison)
    bool operator!=(const type_info& _Other) const noexcept {
        return __std_type_info_compare(&_Data, &_Other._Data) != 0;
    }
#endif
    bool before(const type_info& _Other) const noexcept {
        return __std_type_info_compare(&_Data, &_Other._Data) < 0;
    }
    const char* name() const noexcept {
        return __std_type_info_name(&_Data, &__type_info_root_node);
    }
    const char* raw_name() const noexcept {
        return _Data._DecoratedName;
    }

    virtual ~type_info() noexcept; // defined in src/type_info.cpp (the vftable in src/intrinsics.S)

private:
    mutable __std_type_info_data _Data;
};
#pragma warning(pop)

namespace std {
using ::type_info;
} // namespace std

#if _HAS_EXCEPTIONS // with exceptions off the STL's <typeinfo> defines these
namespace std {
class bad_cast : public exception {
public:
    bad_cast() noexcept : exception("bad cast", 1) {}
    static bad_cast __construct_from_string_literal(const char* const _Message) noexcept {
        return bad_cast(_Message, 1);
    }

private:
    bad_cast(const char* const _Message, int) noexcept : exception(_Message, 1) {}
};

class bad_typeid : public exception {
    friend class __non_rtti_object;
    bad_typeid(const char* const _Message, int) noexcept : exception(_Message, 1) {}

public:
    bad_typeid() noexcept : exception("bad typeid", 1) {}
    static bad_typeid __construct_from_string_literal(const char* const _Message) noexcept {
        return bad_typeid(_Message, 1);
    }
};

class __non_rtti_object : public bad_typeid {
public:
    static __non_rtti_object __construct_from_string_literal(const char* const _Message) noexcept {
        return __non_rtti_object(_Message, 1);
    }

private:
    __non_rtti_object(const char* const _Message, int) noexcept : bad_typeid(_Message, 1) {}
};
} // namespace std
#endif // _HAS_EXCEPTIONS
#pragma pack(pop)
