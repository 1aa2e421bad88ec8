// The pictures of the picture buttons, drawn rather than shipped.
#pragma once
#include <QIcon>

// A quarter-turn arrow, clockwise or counter-clockwise.
QIcon TurnIcon(bool clockwise);
// The left bar: a camera for the photos, a map pin for the technicians.
QIcon PhotosIcon();
QIcon TechniciansIcon();
