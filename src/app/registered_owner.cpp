#include "registered_owner.h"

#include <pwd.h>
#include <unistd.h>

#include <vector>

namespace systemuser {

QString registeredOwner() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
    passwd entry{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 && result) {
        const QString gecos = QString::fromLocal8Bit(result->pw_gecos ? result->pw_gecos : "");
        const QString fullName = gecos.section(u',', 0, 0).trimmed();
        if (!fullName.isEmpty()) return fullName;
        const QString login = QString::fromLocal8Bit(result->pw_name ? result->pw_name : "");
        if (!login.isEmpty()) return login;
    }
    return QString::fromLocal8Bit(qgetenv("USER"));
}

} // namespace systemuser
