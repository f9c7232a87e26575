// Position slider, elapsed time, length, track text and volume.
#include "core/form1.h"

namespace tarn {

void Form1::Timer1_Timer() {}
void Form1::Slider1_Scroll() {}
void Form1::HScroll1_Change() {}

} // namespace tarn
