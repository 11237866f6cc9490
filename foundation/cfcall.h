// Calls into the CoreFoundation stand-in by name, through the framework
// loader at each use. A name that does not resolve is never called: the call
// gives the fallback the caller names, so a missing framework reads as null
// values. Used by CFType only.
#pragma once

#include "cftypes.h"
#include "mobiledevice_loader.h"

#include <utility>

namespace cfcall {

template <typename Sig>
struct Fn;

template <typename R, typename... A>
struct Fn<R(A...)>
{
    using Ptr = R (*)(A...);
    static Ptr get(const char* name) { return reinterpret_cast<Ptr>(mobiledevice_loader_cf(name)); }
};

// The result of the function `name` of signature Sig, or `fallback`.
template <typename Sig, typename R, typename... Args>
R call(const char* name, R fallback, Args&&... args)
{
    auto fn = Fn<Sig>::get(name);
    return fn ? fn(std::forward<Args>(args)...) : fallback;
}

// Runs the void function `name` of signature Sig; false when it is missing.
template <typename Sig, typename... Args>
bool run(const char* name, Args&&... args)
{
    auto fn = Fn<Sig>::get(name);
    if (!fn)
        return false;
    fn(std::forward<Args>(args)...);
    return true;
}

// The address of the data constant `name`, or null.
template <typename T>
const T* constant(const char* name)
{
    return static_cast<const T*>(mobiledevice_loader_cf(name));
}

} // namespace cfcall
