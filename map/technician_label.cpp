#include "map/technician_label.h"

#include <cstdio>

#include "platform/text1251.h"

namespace mapdraw {

std::string StatusLine(const stru_tehnik& t) {
  return t.Status + "(" + t.WorkKind + ")";
}

std::string LabelText(const stru_tehnik& t) {
  std::string label = t.Name;
  if (t.Line2.size() > label.size()) label = t.Line2;
  if (t.Line3.size() > label.size()) label = t.Line3;
  std::string status = StatusLine(t) + " 99:99 ";
  if (status.size() > label.size()) label = status;
  return label;
}

std::string MinutesText(int minutes) {
  if (minutes < 0) minutes = 0;
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d:%02d", minutes / 60 % 100, minutes % 60);
  return buf;
}

std::string TimeText(const stru_tehnik& t, int now_minute) {
  if (t.Status == W1251("В дороге"))
    return MinutesText(now_minute - t.EndMinute) + "(" + MinutesText(t.EndMinute - t.StartMinute) +
           ")";
  return MinutesText(now_minute - t.StartMinute);
}

}  // namespace mapdraw
