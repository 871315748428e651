// "Do not show again" answers of the markup message box, kept with QSettings
// under <company>/<program>/VxMessageBox (or <program>/VxMessageBox without a
// company), the value named <name><number> holding the box's result.
#pragma once

#include <QString>

namespace dorvak {

// The file-name part of the running program's path.
QString programFileName();

// The stored answer, or 0 when there is none or it cannot be read.
quint32 readRememberedAnswer(const QString& company, const QString& name, int number);
// Stores an answer; a failure to write loses it silently.
void storeRememberedAnswer(const QString& company, const QString& name, int number, quint32 value);

} // namespace dorvak
