// Internal test hook for the node tree's record allocation (not part of the
// library's C interface). Lets tests make one chosen allocation fail.
#ifndef XML_XML_ALLOC_HOOK_HPP
#define XML_XML_ALLOC_HOOK_HPP

namespace xml_internal
{

// The n-th record allocation from now on, in the calling thread, fails
// (n >= 1); 0 switches the hook off. The hook disarms itself after firing.
void xml_fail_alloc_at(int n);

// Record allocations made by the calling thread so far.
long xml_alloc_count();

} // namespace xml_internal

#endif
