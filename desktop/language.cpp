#include "desktop/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace desktop {

namespace {

// The value of the first variable that is set and not empty.
std::string FirstSet(const EnvLookup& getenv, std::initializer_list<const char*> names) {
  for (const char* name : names) {
    const char* value = getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

bool StartsWithRu(const std::string& value) { return value.rfind("ru", 0) == 0; }

}  // namespace

bool IsRussianUi(const EnvLookup& getenv) {
  std::string interfaceLanguage;
  // LANGUAGE is a colon-separated list of preferences; its first entry counts.
  if (const char* list = getenv("LANGUAGE"); list != nullptr && *list != '\0') {
    interfaceLanguage = std::string(list).substr(0, std::string(list).find(':'));
  }
  if (interfaceLanguage.empty()) interfaceLanguage = FirstSet(getenv, {"LC_ALL", "LC_MESSAGES", "LANG"});
  const std::string systemLocale = FirstSet(getenv, {"LC_ALL", "LC_CTYPE", "LANG"});
  return StartsWithRu(interfaceLanguage) && StartsWithRu(systemLocale);
}

bool IsRussianUi() {
  return IsRussianUi([](const char* name) { return std::getenv(name); });
}

bool UseToolkitLanguage(bool russianUi) {
  static QTranslator* russian = nullptr;
  if (!russianUi) {
    if (russian != nullptr) QCoreApplication::removeTranslator(russian);
    return true;
  }
  if (russian == nullptr) {
    russian = new QTranslator(QCoreApplication::instance());
    if (!russian->load(QLocale(QLocale::Russian), "qtbase", "_",
                       QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
      delete russian;
      russian = nullptr;
      return false;
    }
  }
  return QCoreApplication::installTranslator(russian);
}

}  // namespace desktop
