// Texts cross into Qt here and only here: inside the program they are
// Windows-1251 bytes, in widgets they are QStrings.
#pragma once
#include <QString>
#include <string>

#include "platform/text1251.h"

QString ToQ(const std::string& cp1251);
std::string FromQ(const QString& text);

// A program text (UTF-8 literal) as the widgets show it.
#define QW(lit) (::ToQ(W1251(lit)))
