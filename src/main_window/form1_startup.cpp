// Start-up (restoring volume, repeat and view), the volume file button, and
// Exit, which saves them and ends the program.
#include "main_window/form1.h"
#include "persist/file_import.h"
#include "persist/record_file.h"
#include "persist/settings_store.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLabel>
#include <QScrollBar>

namespace tarn {

namespace {

const QString kSection = QStringLiteral("Settings");
const QString kVolKey = QStringLiteral("Vol");
const QString kRepKey = QStringLiteral("REP");
const QString kSizeKey = QStringLiteral("SIZE");

void warnNotSaved(const QString &what)
{
    qWarning("Tarn Player: could not save %s", qUtf8Printable(what));
}

} // namespace

void Form1::Form_Load()
{
    SettingsStore &store = services_.settings;
    // A value that cannot be used is skipped: the control keeps its design state.

    // Setting the bar runs HScroll1_Change through valueChanged. The bar would
    // clamp a value outside its range, so such a value is not set at all.
    const std::optional<std::int16_t> vol =
        toInt16(store.getSetting(kProgramTitle, kSection, kVolKey, kVolumeSteps));
    if (vol && *vol >= HScroll1->minimum() && *vol <= HScroll1->maximum())
        HScroll1->setValue(*vol);

    // Only 1 means repeat on.
    if (const std::optional<std::int16_t> rep =
            toInt16(store.getSetting(kProgramTitle, kSection, kRepKey, 1)))
        Check1->setChecked(*rep == 1);

    // Text that is not a number counts as 0, the compact view.
    const std::int16_t size =
        toInt16(store.getSetting(kProgramTitle, kSection, kSizeKey, 0)).value_or(0);
    applyView(size != 0);

    // The engine and the label get the volume even when the bar did not move.
    HScroll1_Change();

    txtTime->setText(QStringLiteral(" "));
    Label3->setText(QStringLiteral(" "));

    setUpTray();
}

void Form1::Command10_Click()
{
    QString reason;
    if (!writeNumberLine(services_.appFolder, QStringLiteral("vol.ini"),
                         static_cast<std::int16_t>(HScroll1->value()), &reason))
        warnNotSaved(QStringLiteral("vol.ini: ") + reason);
}

void Form1::Command7_Click()
{
    if (exiting_)
        return;
    exiting_ = true;
    // A folder search still going is dropped, not waited for.
    import_->cancel();

    // Each step that fails is reported and the next one still runs: a
    // read-only folder must not cost the settings, and the program always ends.
    const bool repeat = Check1->isChecked();
    QString reason;
    if (!writeTextLine(services_.appFolder, QStringLiteral("rep.ini"), repeat ? "1" : "2", &reason))
        warnNotSaved(QStringLiteral("rep.ini: ") + reason);

    SettingsStore &store = services_.settings;
    const std::pair<QString, QString> values[] = {
        {kVolKey, QString::number(HScroll1->value())},
        {kRepKey, QString::number(repeat ? 1 : 0)},
        {kSizeKey, QString::number(playlistShown)},
    };
    for (const auto &[key, text] : values)
        if (!store.saveSetting(kProgramTitle, kSection, key, text))
            warnNotSaved(QStringLiteral("the setting ") + key);

    services_.endProgram();
}

void Form1::closeEvent(QCloseEvent *event)
{
    // The close box ends the program the way Exit does, so the changes made
    // in this run are kept rather than silently dropped.
    Command7_Click();
    event->accept();
}

} // namespace tarn
