// Save Playlist and Load Playlist.
#include "core/form1.h"

namespace tarn {

void Form1::Command8_Click() {}
void Form1::Command9_Click() {}

} // namespace tarn
