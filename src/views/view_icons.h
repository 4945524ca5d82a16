#pragma once

#include <QIcon>

// The pictures of the tree (image list numbers 0 to 16) and of the title list
// (0 audio, 1 current audio, 2 video, 3 current video). Needs a GUI application.
namespace viewicons {

enum TitleIcon { Audio = 0, AudioCurrent = 1, Video = 2, VideoCurrent = 3 };

QIcon treeIcon(int index);
QIcon titleIcon(int index);

} // namespace viewicons
