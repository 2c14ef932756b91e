#include "desktop/version.h"

namespace desktop {

QString GetVer() { return QStringLiteral(KELVARION_VERSION); }

QString Version5(const QString& version) { return version.left(5); }

QString Version3(const QString& version) { return version.left(3); }

QString IdleAppTitle(const QString& version) { return "KVR " + Version5(version); }

}  // namespace desktop
