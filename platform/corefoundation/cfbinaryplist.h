// Reading a binary property list into the stand-in's objects, through the
// bounded view: no input can abort the process. Internal to the stand-in.
#pragma once

#include "bplistview.h"
#include "cfobject.h"

namespace qscf {

// Deeper nesting is refused: no real property list comes near it, and it
// bounds the recursion on hostile input.
constexpr int kMaxPropertyListDepth = bplist::View::kMaxDepth;

// A new object that the caller owns, or null when the bytes are no binary
// property list or any part of it is out of bounds, of an unknown kind, a
// dictionary key that is not a string, a container that holds itself, or
// nested deeper than kMaxPropertyListDepth (View::checkTree).
const Object* readBinaryPropertyList(const void* bytes, size_t size, bool mutableContainers);

} // namespace qscf
