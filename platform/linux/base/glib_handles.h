#pragma once

#include <glib-object.h>

#include <memory>

namespace ampora::linux_port {

// Owning handles for GLib objects: each releases with the call GLib pairs with its constructor.
struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
struct GFreeDeleter {
    void operator()(gpointer memory) const { g_free(memory); }
};
struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GVariantUnref {
    void operator()(GVariant* value) const { g_variant_unref(value); }
};
struct GMainLoopUnref {
    void operator()(GMainLoop* loop) const { g_main_loop_unref(loop); }
};
struct GKeyFileUnref {
    void operator()(GKeyFile* file) const { g_key_file_unref(file); }
};
struct GStrvDeleter {
    void operator()(gchar** strings) const { g_strfreev(strings); }
};

template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectUnref>;
using GCharPtr = std::unique_ptr<gchar, GFreeDeleter>;
using GErrorPtr = std::unique_ptr<GError, GErrorDeleter>;
using GVariantPtr = std::unique_ptr<GVariant, GVariantUnref>;
using GMainLoopPtr = std::unique_ptr<GMainLoop, GMainLoopUnref>;
using GKeyFilePtr = std::unique_ptr<GKeyFile, GKeyFileUnref>;
using GStrvPtr = std::unique_ptr<gchar*, GStrvDeleter>;

// Takes a reference to an object that may still be floating (a fresh GtkWidget), so the handle
// owns it whether or not a container adopts it later.
template <typename T>
GObjectPtr<T> adoptSink(T* object) {
    return GObjectPtr<T>(static_cast<T*>(g_object_ref_sink(object)));
}

}  // namespace ampora::linux_port
