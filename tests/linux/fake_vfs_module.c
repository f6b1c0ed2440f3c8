/* A GIO file system that leaves the file $AMPORA_VFS_STARTED when it starts: a stand-in for
 * gvfs, whose start brings up its daemon on the session bus. Loaded through GIO_EXTRA_MODULES, it
 * outranks GIO's local file system unless GIO_USE_VFS picks that one; it hands every file to
 * the local one. */
#include <gio/gio.h>

typedef GVfs FakeVfs;
typedef GVfsClass FakeVfsClass;
G_DEFINE_DYNAMIC_TYPE(FakeVfs, fake_vfs, G_TYPE_VFS)

static void fake_vfs_init(FakeVfs* vfs) {
    (void)vfs;
    const char* started = g_getenv("AMPORA_VFS_STARTED");
    if (started) g_file_set_contents(started, "", 0, NULL);
}

static gboolean is_active(GVfs* vfs) {
    (void)vfs;
    return TRUE;
}
static GFile* for_path(GVfs* vfs, const char* path) {
    (void)vfs;
    return g_vfs_get_file_for_path(g_vfs_get_local(), path);
}
static GFile* for_uri(GVfs* vfs, const char* uri) {
    (void)vfs;
    return g_vfs_get_file_for_uri(g_vfs_get_local(), uri);
}
static GFile* parse_name(GVfs* vfs, const char* name) {
    (void)vfs;
    return g_vfs_parse_name(g_vfs_get_local(), name);
}
static const gchar* const* schemes(GVfs* vfs) {
    (void)vfs;
    return g_vfs_get_supported_uri_schemes(g_vfs_get_local());
}

static void fake_vfs_class_init(FakeVfsClass* vfs) {
    vfs->is_active = is_active;
    vfs->get_file_for_path = for_path;
    vfs->get_file_for_uri = for_uri;
    vfs->parse_name = parse_name;
    vfs->get_supported_uri_schemes = schemes;
}

static void fake_vfs_class_finalize(FakeVfsClass* vfs) {
    (void)vfs;
}

G_MODULE_EXPORT void g_io_module_load(GIOModule* module) {
    fake_vfs_register_type(G_TYPE_MODULE(module));
    g_io_extension_point_implement(G_VFS_EXTENSION_POINT_NAME, fake_vfs_get_type(), "ampora-fake",
                                   100);
}

G_MODULE_EXPORT void g_io_module_unload(GIOModule* module) {
    (void)module;
}
