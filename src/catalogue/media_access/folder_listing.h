#pragma once

#include "web_client.h"

#include <QByteArray>
#include <QString>

class TaskControl;

namespace folderlisting {

// The most of a listing that is read; a longer one fails.
constexpr qint64 kMaxBytes = qint64(4) << 20;

// Fetches the raw listing of an FTP folder (a URL ending in "/") through a temporary file
// in `tempDir`; the credentials stay out of the URL. Blocks: meant for the work of a task.
// A failure goes to `control.fail()` with its German reason and gives an empty listing;
// cancelling the task ends the transfer.
QByteArray fetch(const QString& folder, const webclient::Credentials& login, const QString& tempDir,
                 const TaskControl& control, const webclient::Timeouts& timeouts = {});

} // namespace folderlisting
