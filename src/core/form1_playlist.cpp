// Playlist editing: Add, Add Multi, Remove.
#include "core/form1.h"

namespace tarn {

void Form1::Command1_Click() {}
void Form1::Command11_Click() {}
QString Form1::GetFiles(const QString &) { return {}; }
void Form1::Command2_Click() {}

} // namespace tarn
