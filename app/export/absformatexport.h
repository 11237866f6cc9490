// The interface of every message writer (local database, text, CSV, HTML,
// PDF): constructed on its target, init() once, write() per message in the
// caller's order, uninit() once when the run goes on to its end. A caller that
// stops early skips uninit(); the writer then leaves nothing half-written in
// place. Failures leave as std::exception.
#pragma once

template <typename T>
class AbsFormatExport
{
public:
    virtual ~AbsFormatExport() = default;
    virtual void init() = 0;
    virtual void write(T& item) = 0;
    virtual void uninit() = 0;
};
