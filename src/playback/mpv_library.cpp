// libmpv opened when the first media device starts: the functions the program calls are
// defined here and go to the library's own.
#include "log_categories.h"
#include "runtime_library.h"

#include <QLoggingCategory>

#include <mpv/client.h>

static_assert(MPV_CLIENT_API_VERSION >> 16 == 2,
              "the library's file name follows the API's major version");

namespace {

#define VORLUNE_MPV_FUNCTIONS(X)                                                                   \
    X(mpv_error_string)                                                                            \
    X(mpv_create)                                                                                  \
    X(mpv_initialize)                                                                              \
    X(mpv_terminate_destroy)                                                                       \
    X(mpv_set_option_string)                                                                       \
    X(mpv_command_async)                                                                           \
    X(mpv_set_property_async)                                                                      \
    X(mpv_get_property_async)                                                                      \
    X(mpv_observe_property)                                                                        \
    X(mpv_wait_event)                                                                              \
    X(mpv_set_wakeup_callback)

#define VORLUNE_INDEX(name) name##_at,
#define VORLUNE_NAME(name) #name,
enum : std::size_t { VORLUNE_MPV_FUNCTIONS(VORLUNE_INDEX) kCount };
using Library = RuntimeLibrary<kCount>;

const Library& library() {
    static const Library lib("libmpv.so.2", {VORLUNE_MPV_FUNCTIONS(VORLUNE_NAME)});
    return lib;
}

} // namespace

// Only mpv_create (and the error texts) can be called before the library is there: the
// others take a handle that mpv_create made.
#define VORLUNE_REAL(name) library().get<decltype(name)>(name##_at)

const char* mpv_error_string(int error) {
    return library().loaded() ? VORLUNE_REAL(mpv_error_string)(error) : "libmpv fehlt";
}
mpv_handle* mpv_create(void) {
    if (!library().loaded()) {
        qCWarning(lcPlayback) << "libmpv:" << library().error().c_str();
        return nullptr;
    }
    return VORLUNE_REAL(mpv_create)();
}
int mpv_initialize(mpv_handle* ctx) {
    return VORLUNE_REAL(mpv_initialize)(ctx);
}
void mpv_terminate_destroy(mpv_handle* ctx) {
    VORLUNE_REAL(mpv_terminate_destroy)(ctx);
}
int mpv_set_option_string(mpv_handle* ctx, const char* name, const char* data) {
    return VORLUNE_REAL(mpv_set_option_string)(ctx, name, data);
}
int mpv_command_async(mpv_handle* ctx, uint64_t reply_userdata, const char** args) {
    return VORLUNE_REAL(mpv_command_async)(ctx, reply_userdata, args);
}
int mpv_set_property_async(mpv_handle* ctx, uint64_t reply_userdata, const char* name,
                           mpv_format format, void* data) {
    return VORLUNE_REAL(mpv_set_property_async)(ctx, reply_userdata, name, format, data);
}
int mpv_get_property_async(mpv_handle* ctx, uint64_t reply_userdata, const char* name,
                           mpv_format format) {
    return VORLUNE_REAL(mpv_get_property_async)(ctx, reply_userdata, name, format);
}
int mpv_observe_property(mpv_handle* mpv, uint64_t reply_userdata, const char* name,
                         mpv_format format) {
    return VORLUNE_REAL(mpv_observe_property)(mpv, reply_userdata, name, format);
}
mpv_event* mpv_wait_event(mpv_handle* ctx, double timeout) {
    return VORLUNE_REAL(mpv_wait_event)(ctx, timeout);
}
void mpv_set_wakeup_callback(mpv_handle* ctx, void (*cb)(void* d), void* d) {
    VORLUNE_REAL(mpv_set_wakeup_callback)(ctx, cb, d);
}
