// The operator's message boxes, all captioned "АРМ техническая служба".
#pragma once
#include <string>

class QWidget;

// A plain notice (texts are Windows-1251).
void ShowMessage(QWidget* parent, const std::string& text);
// A Yes/No question; true for Yes.
bool AskYesNo(QWidget* parent, const std::string& text);
// The caption of every box.
const std::string& MessageCaption();
