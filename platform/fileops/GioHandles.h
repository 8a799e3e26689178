#pragma once
// Owning handles for what GIO hands out, so nothing is released by hand.
#include <gio/gio.h>

#include <memory>

namespace platform::fileops {

struct GObjectUnref {
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
    void operator()(GError* error) const
    {
        if (error)
            g_error_free(error);
    }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

} // namespace platform::fileops
