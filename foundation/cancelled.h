// The exception that carries a user's cancel out of a long operation. It is
// deliberately not a std::exception, so that handlers that show errors never
// mistake a cancel for a failure.
#pragma once

struct Cancelled
{
};
