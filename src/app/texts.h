#pragma once
// User texts exist in Russian and English, both literals in the code (UTF-8).

#include <QString>

// The Russian text for language 0, the English one for any other value.
inline QString byLanguage(int language, const char* russian, const char* english)
{
    return QString::fromUtf8(language == 0 ? russian : english);
}
