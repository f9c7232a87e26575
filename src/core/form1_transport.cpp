// Transport: the five hot spots, playing the selected entry, the automatic
// advance at the end of a track, and the current-track line.
#include "core/form1.h"

namespace tarn {

void Form1::Play1_Click() {}
void Form1::pause1_Click() {}
void Form1::stop1_Click() {}
void Form1::next1_Click() {}
void Form1::Back1_Click() {}
void Form1::List1_DblClick() {}
void Form1::List2_DblClick() {}
void Form1::List2_Click() {}
void Form1::mp_EndOfStream() {}
void Form1::Text1_Change() {}
void Form1::Text1_GotFocus() {}
void Form1::Text2_GotFocus() {}

} // namespace tarn
