// Start-up, the volume file button, and Exit.
#include "core/form1.h"

#include <QCloseEvent>

namespace tarn {

void Form1::Form_Load() {}
void Form1::Command10_Click() {}
void Form1::Command7_Click() {}

void Form1::closeEvent(QCloseEvent *event)
{
    QMainWindow::closeEvent(event);
}

} // namespace tarn
