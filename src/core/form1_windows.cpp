// Buttons that open windows of their own. Each is wired here when its window
// exists; until then a click does nothing.
#include "core/form1.h"

namespace tarn {

void Form1::Command3_Click() {}
void Form1::Command4_Click() {}
void Form1::Command5_Click() {}
void Form1::Command6_Click() {}

} // namespace tarn
