#pragma once
// Owning handles for what GIO hands out, so nothing is released by hand.
#include <gio/gio.h>

#include <memory>

namespace platform::launch {

struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <typename T> using GObjectPtr = std::unique_ptr<T, GObjectUnref>;

struct GErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using GErrorPtr = std::unique_ptr<GError, GErrorFree>;

struct GFreeDeleter {
    void operator()(gpointer block) const { g_free(block); }
};
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;

struct GStrvFree {
    void operator()(gchar** strv) const { g_strfreev(strv); }
};
using GStrvPtr = std::unique_ptr<gchar*, GStrvFree>;

// A GList of GObjects, each unreferenced with the list.
struct GObjectListFree {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using GObjectListPtr = std::unique_ptr<GList, GObjectListFree>;

} // namespace platform::launch
