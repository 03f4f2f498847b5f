// The locale facets that use_facet<> creates lazily in this module, which microsoft/STL registers with
// the static part of its import library so that the module frees them when it ends.
#include <stdlib.h>

#include <xfacet>

#include "startup.hpp"

namespace {

struct FacetNode {
    FacetNode* next;
    std::_Facet_base* facet;
};
FacetNode* facets = nullptr;

} // namespace

namespace std {

// Called by use_facet<> with the locale lock held.
void __cdecl _Facet_Register(_Facet_base* facet) {
    auto* node = static_cast<FacetNode*>(malloc(sizeof(FacetNode)));
    if (node == nullptr) {
        return; // the facet then lives on until the process ends, which is better than failing use_facet<>
    }
    node->next = facets;
    node->facet = facet;
    facets = node;
}

} // namespace std

namespace brickwright::runtime {

void releaseFacets() noexcept {
    while (FacetNode* node = facets) {
        facets = node->next;
        if (std::_Facet_base* unused = node->facet->_Decref()) {
            delete unused;
        }
        free(node);
    }
}

} // namespace brickwright::runtime
