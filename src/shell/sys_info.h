// Finding and starting the system's information tool, whose location the
// registry names, for the About box's "System Info..." button.
#pragma once

#include <QString>

#include <cstdint>

namespace tarn {

class MessageBoxes;
class ProgramStarter;
class Registry;

// Reads the value `SubKeyRef` of the key `KeyName` below `KeyRoot` into
// `KeyVal`: a string without its terminating NUL, a 32-bit number as decimal
// text; a value of another type leaves `KeyVal` as it was. True when the
// value was read; false, with `KeyVal` empty, when the key or the value is
// missing or holds no bytes. Keys are opened for reading only, which is all
// an ordinary user may do on the machine's keys.
bool GetKeyValue(Registry &registry, std::uint32_t KeyRoot, const QString &KeyName,
                 const QString &SubKeyRef, QString &KeyVal);

// Starts the tool the registry names, or says that it is unavailable.
void StartSysInfo(Registry &registry, ProgramStarter &programs, MessageBoxes &messages);

} // namespace tarn
