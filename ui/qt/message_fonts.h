#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace qelto {

// The first of `preferred` that is installed; else an installed family that writes Arabic script,
// so that Persian text never falls back to empty boxes; else the application font's family.
QString InstalledFamily(const QStringList& preferred);

// A font of the first installed family of `preferred` (as InstalledFamily), `pixelSize` pixels
// high.
QFont MessageFont(const QStringList& preferred, int pixelSize, bool bold);

}  // namespace qelto
