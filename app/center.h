// Places a top-level window in the middle of the screen it is on.
#pragma once
class QWidget;
void CenterOnScreen(QWidget* w);
