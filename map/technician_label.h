// The texts of a technician's label: the status line, the text whose width
// sizes the box, and the time display.
#pragma once
#include <string>

#include "map/map_types.h"

namespace mapdraw {

// Status + "(" + WorkKind + ")".
std::string StatusLine(const stru_tehnik& t);
// The longest (by characters, the earlier on a tie) of Name, Line2, Line3 and
// the status line with room for the time.
std::string LabelText(const stru_tehnik& t);
// "hh:mm" of a number of minutes; a moment still to come shows 00:00.
std::string MinutesText(int minutes);
// Time on the current stage; on the way: since the end, then the stage's length.
std::string TimeText(const stru_tehnik& t, int now_minute);

}  // namespace mapdraw
