// The program's version and the titles made from it.
#pragma once

#include <QString>

namespace desktop {

// The version compiled in from the build, "4.0.0.0".
QString GetVer();

// The first five and the first three characters of the version ("4.0.0",
// "4.0"), cut by count, not at the dots.
QString Version5(const QString& version);
QString Version3(const QString& version);

// The application title while idle: "KVR " + Version5.
QString IdleAppTitle(const QString& version);

}  // namespace desktop
