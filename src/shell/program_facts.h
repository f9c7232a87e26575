// Facts about the program that the build defines in one place: the version
// (the project's version in CMakeLists.txt) and the address for bug reports
// (the cache variable TARN_REPORT_ADDRESS).
#pragma once

#include <QString>

namespace tarn {

struct ProgramVersion {
    int major;
    int minor;
    int revision;
};

inline constexpr ProgramVersion kProgramVersion{TARN_VERSION_MAJOR, TARN_VERSION_MINOR,
                                                TARN_VERSION_PATCH};

// "1.0.1": each number in decimal, without leading zeros.
inline QString versionText()
{
    return QStringLiteral("%1.%2.%3")
        .arg(kProgramVersion.major)
        .arg(kProgramVersion.minor)
        .arg(kProgramVersion.revision);
}

inline const QString kReportAddress = QStringLiteral(TARN_REPORT_ADDRESS);

} // namespace tarn
