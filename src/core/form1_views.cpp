// The compact and full views and the menu items.
#include "core/form1.h"

namespace tarn {

void Form1::applyView(bool full)
{
    playlistShown = full ? 1 : 0;
}

void Form1::Show_play_Click() { applyView(playlistShown != 1); }
void Form1::Mnu_Add_Click() { Command1_Click(); }
void Form1::Mnu_Rem_Click() { Command2_Click(); }
void Form1::Mnu_Exit_Click() { Command7_Click(); }
void Form1::Lst_Show_Click() { Show_play_Click(); }
void Form1::Lst_Hide_Click() { Show_play_Click(); }
void Form1::Ctl_Mini_Click() { Command3_Click(); }

} // namespace tarn
