#pragma once

class QLocale;
class QTranslator;

// Loads the catalogue "pinrova_" + the locale's name from ":/translations" (the loader shortens
// the name at "_" when the full one is missing), else "pinrova_en". Returns whether either
// load succeeded; with neither, the texts compiled into the code show.
bool loadTranslation(QTranslator &translator, const QLocale &locale);
