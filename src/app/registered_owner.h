#pragma once

#include <QString>

namespace systemuser {

// The user's full name from the password database, else the login name.
QString registeredOwner();

} // namespace systemuser
