// The one-line state files of the application folder (vol.ini, rep.ini,
// Trans.ini and the flag files) and the one rule by which they are read.
//
// Two record shapes, in single-byte characters:
//   number line  a 16-bit number: a sign position (blank, or "-" when negative),
//                the digits, one trailing blank, CR LF.   60 -> 20 36 30 20 0D 0A
//   text line    the text unchanged, CR LF.               "1" -> 31 0D 0A
//
// First-number rule: skip leading blanks; the first item ends at a blank, a
// comma or the end of the line; it is read as a 16-bit number. An item that is
// not numeric reads as 0. A missing or empty file (nothing but blanks on the
// first line), a number outside -32768..32767 and anything that is not a
// regular file of at most 4 KiB are failures (nullopt). Reading never blocks:
// a pipe in a state file's place is not read.
//
// Only a regular file at the name itself counts: a symbolic link there, even
// to a regular file, is neither read nor written through nor replaced, and
// neither is a folder, a pipe, a device or a file over 4 KiB (other programs
// may write these names; a link could make the player overwrite any file the
// user can write). A missing file is created.
//
// Writes replace the whole file atomically (a temporary file in the folder
// renamed over the name): a write that fails (read-only folder, full disk)
// leaves the previous content as it was.
// Plain functions, no state: callable from any thread, used on the UI thread.
#pragma once

#include "persist/file_access.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace tarn {

// The mini player's opacity in percent: written by Options, read by the
// mini player as it opens.
inline const QString kOpacityFile = QStringLiteral("Trans.ini");

// The bytes of a number line / text line.
QByteArray numberLine(std::int16_t value);
QByteArray textLine(QByteArrayView text);

// The first-number rule applied to a file's bytes.
std::optional<std::int16_t> firstNumber(QByteArrayView bytes);

// Decimal text (blanks around it allowed, a fraction rounded half to even) as a
// 16-bit number; nullopt when it is not a number or does not fit. This is the
// conversion of the settings values and of a state file's first item.
std::optional<std::int16_t> toInt16(QStringView text);

// Write the line to `name` in `folder`, replacing what was there. False on
// failure (or when something other than a state file has the name), with the
// reason in `error` when given; the old content stays.
bool writeNumberLine(const QString &folder, const QString &name, std::int16_t value,
                     QString *error = nullptr);
bool writeTextLine(const QString &folder, const QString &name, QByteArrayView text,
                   QString *error = nullptr);

// The first-number rule applied to `name` in `folder`.
std::optional<std::int16_t> readFirstNumber(const QString &folder, const QString &name);

// What `name` in `folder` holds, read as readFirstNumber reads it, for a
// reader that also needs to know whether the file changed since.
SmallFileRead readStateFile(const QString &folder, const QString &name);

} // namespace tarn
