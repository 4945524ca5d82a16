#pragma once

#include <QIcon>

// The eleven client-program pictures of the listener list (drawn, needs a GUI).
namespace agenticons {

QIcon icon(int index);

} // namespace agenticons
