// What each module keeps of ::type_info: its destructor (the vftable is in intrinsics.S) and the list of
// the names type_info::name() made undecorated here, which the DLL entry point frees on unload.
#include <vcruntime_typeinfo.h>

extern "C" {
__type_info_node __type_info_root_node = {};
}

type_info::~type_info() noexcept {}
