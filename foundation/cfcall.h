// Calls into the CoreFoundation stand-in by name. A name that does not
// resolve is never called: the call gives the fallback the caller names, so a
// missing framework reads as null values. Used by CFType only.
//
// Every property-list value goes through these calls, so each call site keeps
// the address it found and looks it up again only after the frameworks were
// loaded anew (the loader's generation). A call site names its function with
// a lambda returning the name, `[] { return "CFRetain"; }`: each lambda is a
// type of its own, which gives each call site its own kept address.
#pragma once

#include "cftypes.h"
#include "mobiledevice_loader.h"

#include <atomic>
#include <utility>

namespace cfcall {

// The address of the name that `Name` gives, kept per call site.
template <typename Name>
void* address(Name name)
{
    static std::atomic<void*> kept{nullptr};
    static std::atomic<unsigned> keptGeneration{0};
    const unsigned generation = mobiledevice_loader_generation();
    if (keptGeneration.load(std::memory_order_acquire) == generation)
        return kept.load(std::memory_order_relaxed);
    void* found = mobiledevice_loader_cf(name());
    // Only a name that resolved is kept: one asked before the load is asked again.
    if (found) {
        kept.store(found, std::memory_order_relaxed);
        keptGeneration.store(generation, std::memory_order_release);
    }
    return found;
}

template <typename Sig>
struct Fn;

template <typename R, typename... A>
struct Fn<R(A...)>
{
    using Ptr = R (*)(A...);
    template <typename Name>
    static Ptr get(Name name)
    {
        return reinterpret_cast<Ptr>(address(name));
    }
};

// The result of the function `name` of signature Sig, or `fallback`.
template <typename Sig, typename Name, typename R, typename... Args>
R call(Name name, R fallback, Args&&... args)
{
    auto fn = Fn<Sig>::get(name);
    return fn ? fn(std::forward<Args>(args)...) : fallback;
}

// Runs the void function `name` of signature Sig; false when it is missing.
template <typename Sig, typename Name, typename... Args>
bool run(Name name, Args&&... args)
{
    auto fn = Fn<Sig>::get(name);
    if (!fn)
        return false;
    fn(std::forward<Args>(args)...);
    return true;
}

// The address of the data constant `name`, or null.
template <typename T, typename Name>
const T* constant(Name name)
{
    return static_cast<const T*>(address(name));
}

} // namespace cfcall
