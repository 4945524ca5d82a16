// libsmbclient opened when the first share is reached: the functions the program calls are
// defined here and go to the library's own.
#include "log_categories.h"
#include "runtime_library.h"

#include <QLoggingCategory>

#include <libsmbclient.h>

namespace {

#define VORLUNE_SMB_FUNCTIONS(X)                                                                   \
    X(smbc_new_context)                                                                            \
    X(smbc_init_context)                                                                           \
    X(smbc_free_context)                                                                           \
    X(smbc_setDebug)                                                                               \
    X(smbc_setTimeout)                                                                             \
    X(smbc_setPort)                                                                                \
    X(smbc_setOptionUserData)                                                                      \
    X(smbc_getOptionUserData)                                                                      \
    X(smbc_setOptionUseKerberos)                                                                   \
    X(smbc_setOptionFallbackAfterKerberos)                                                         \
    X(smbc_setOptionNoAutoAnonymousLogin)                                                          \
    X(smbc_setFunctionAuthData)                                                                    \
    X(smbc_setFunctionAuthDataWithContext)                                                         \
    X(smbc_getFunctionOpen)                                                                        \
    X(smbc_getFunctionRead)                                                                        \
    X(smbc_getFunctionWrite)                                                                       \
    X(smbc_getFunctionClose)                                                                       \
    X(smbc_getFunctionUnlink)                                                                      \
    X(smbc_getFunctionRename)                                                                      \
    X(smbc_getFunctionStat)                                                                        \
    X(smbc_getFunctionFstat)                                                                       \
    X(smbc_getFunctionStatVFS)                                                                     \
    X(smbc_getFunctionOpendir)                                                                     \
    X(smbc_getFunctionReaddir)                                                                     \
    X(smbc_getFunctionClosedir)                                                                    \
    X(smbc_getFunctionMkdir)

#define VORLUNE_INDEX(name) name##_at,
#define VORLUNE_NAME(name) #name,
enum : std::size_t { VORLUNE_SMB_FUNCTIONS(VORLUNE_INDEX) kCount };
using Library = RuntimeLibrary<kCount>;

const Library& library() {
    static const Library lib("libsmbclient.so.0", {VORLUNE_SMB_FUNCTIONS(VORLUNE_NAME)});
    return lib;
}

} // namespace

// Only smbc_new_context can be called before the library is there: the others take a
// context that it made.
#define VORLUNE_REAL(name) library().get<decltype(name)>(name##_at)

SMBCCTX* smbc_new_context(void) {
    if (!library().loaded()) {
        qCWarning(lcMedia) << "libsmbclient:" << library().error().c_str();
        return nullptr;
    }
    return VORLUNE_REAL(smbc_new_context)();
}
SMBCCTX* smbc_init_context(SMBCCTX* context) {
    return VORLUNE_REAL(smbc_init_context)(context);
}
int smbc_free_context(SMBCCTX* context, int shutdown_ctx) {
    return VORLUNE_REAL(smbc_free_context)(context, shutdown_ctx);
}
void smbc_setDebug(SMBCCTX* c, int debug) {
    VORLUNE_REAL(smbc_setDebug)(c, debug);
}
void smbc_setTimeout(SMBCCTX* c, int timeout) {
    VORLUNE_REAL(smbc_setTimeout)(c, timeout);
}
void smbc_setPort(SMBCCTX* c, uint16_t port) {
    VORLUNE_REAL(smbc_setPort)(c, port);
}
void smbc_setOptionUserData(SMBCCTX* c, void* user_data) {
    VORLUNE_REAL(smbc_setOptionUserData)(c, user_data);
}
void* smbc_getOptionUserData(SMBCCTX* c) {
    return VORLUNE_REAL(smbc_getOptionUserData)(c);
}
void smbc_setOptionUseKerberos(SMBCCTX* c, smbc_bool b) {
    VORLUNE_REAL(smbc_setOptionUseKerberos)(c, b);
}
void smbc_setOptionFallbackAfterKerberos(SMBCCTX* c, smbc_bool b) {
    VORLUNE_REAL(smbc_setOptionFallbackAfterKerberos)(c, b);
}
void smbc_setOptionNoAutoAnonymousLogin(SMBCCTX* c, smbc_bool b) {
    VORLUNE_REAL(smbc_setOptionNoAutoAnonymousLogin)(c, b);
}
void smbc_setFunctionAuthData(SMBCCTX* c, smbc_get_auth_data_fn fn) {
    VORLUNE_REAL(smbc_setFunctionAuthData)(c, fn);
}
void smbc_setFunctionAuthDataWithContext(SMBCCTX* c, smbc_get_auth_data_with_context_fn fn) {
    VORLUNE_REAL(smbc_setFunctionAuthDataWithContext)(c, fn);
}

// The getters of the context's functions, all alike.
#define VORLUNE_GETTER(type, name)                                                                 \
    type name(SMBCCTX* c) {                                                                        \
        return VORLUNE_REAL(name)(c);                                                              \
    }
VORLUNE_GETTER(smbc_open_fn, smbc_getFunctionOpen)
VORLUNE_GETTER(smbc_read_fn, smbc_getFunctionRead)
VORLUNE_GETTER(smbc_write_fn, smbc_getFunctionWrite)
VORLUNE_GETTER(smbc_close_fn, smbc_getFunctionClose)
VORLUNE_GETTER(smbc_unlink_fn, smbc_getFunctionUnlink)
VORLUNE_GETTER(smbc_rename_fn, smbc_getFunctionRename)
VORLUNE_GETTER(smbc_stat_fn, smbc_getFunctionStat)
VORLUNE_GETTER(smbc_fstat_fn, smbc_getFunctionFstat)
VORLUNE_GETTER(smbc_statvfs_fn, smbc_getFunctionStatVFS)
VORLUNE_GETTER(smbc_opendir_fn, smbc_getFunctionOpendir)
VORLUNE_GETTER(smbc_readdir_fn, smbc_getFunctionReaddir)
VORLUNE_GETTER(smbc_closedir_fn, smbc_getFunctionClosedir)
VORLUNE_GETTER(smbc_mkdir_fn, smbc_getFunctionMkdir)
