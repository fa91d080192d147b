#include "tools/demo/route_text.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace {

constexpr char ROUTE_WORD[] = "route";
constexpr char STRETCH_WORD[] = "stretch";
// Digits that bring every double back unchanged.
constexpr int ROUND_TRIP_DIGITS = 17;

// A name kept on its one line.
std::string OneLine(const std::string& name) {
  std::string line = name;
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return line;
}

void AppendNumber(std::string* text, double value) {
  char digits[64];
  const std::to_chars_result end =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::general, ROUND_TRIP_DIGITS);
  text->append(digits, end.ptr);
}

// "LAT LON" and the end of the line.
void AppendDegrees(std::string* text, const RoutePoint& point) {
  AppendNumber(text, point.lat);
  text->push_back(' ');
  AppendNumber(text, point.lon);
  text->push_back('\n');
}

// The meaningful lines of a text with their numbers (from 1): blank lines
// and comments left out, a CR before the LF taken off.
struct Line {
  int number;
  std::string_view text;
};

std::vector<Line> MeaningfulLines(const std::string& text) {
  std::vector<Line> lines;
  int number = 0;
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + at, end - at);
    at = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == '#') continue;
    lines.push_back({number, line});
  }
  return lines;
}

// The word `word` alone or followed by a space and the rest, which goes
// to *rest.
bool StartsWithWord(std::string_view line, std::string_view word, std::string_view* rest) {
  if (line.substr(0, word.size()) != word) return false;
  if (line.size() == word.size()) {
    *rest = {};
    return true;
  }
  if (line[word.size()] != ' ') return false;
  *rest = line.substr(word.size() + 1);
  return true;
}

// One number and the blanks before it; advances `at`.
bool ReadNumber(std::string_view line, size_t* at, double* value) {
  while (*at < line.size() && (line[*at] == ' ' || line[*at] == '\t')) ++*at;
  const char* first = line.data() + *at;
  const std::from_chars_result result = std::from_chars(first, line.data() + line.size(), *value);
  if (result.ec != std::errc() || !std::isfinite(*value)) return false;
  *at += static_cast<size_t>(result.ptr - first);
  return true;
}

// "LAT LON" with nothing else, within the globe.
bool ReadDegrees(std::string_view line, RoutePoint* point) {
  size_t at = 0;
  if (!ReadNumber(line, &at, &point->lat) || !ReadNumber(line, &at, &point->lon)) return false;
  if (line.find_first_not_of(" \t", at) != std::string_view::npos) return false;
  return std::fabs(point->lat) <= 90.0 && std::fabs(point->lon) <= 180.0;
}

int LineError(const Line& line, const std::string& what, std::string* error) {
  *error = "line " + std::to_string(line.number) + ": " + what + ": \"" + std::string(line.text) + "\"";
  return -1;
}

int StretchCount(const WaypointRoute& route) {
  return route.waypoints.size() > 1 ? static_cast<int>(route.waypoints.size()) - 1 : 0;
}

}  // namespace

WaypointRoute WaypointsOf(const DriveRoute& route) {
  WaypointRoute waypoints{route.city != nullptr ? route.city : "", {}};
  for (int k = 0; k < route.count; ++k) waypoints.waypoints.push_back({route.waypoints[k].lat, route.waypoints[k].lon});
  return waypoints;
}

std::string FormatWaypointText(const std::vector<WaypointRoute>& routes) {
  std::string text;
  for (const WaypointRoute& route : routes) {
    text += std::string(ROUTE_WORD) + " " + OneLine(route.name) + "\n";
    for (const RoutePoint& waypoint : route.waypoints) AppendDegrees(&text, waypoint);
  }
  return text;
}

int ParseWaypointText(const std::string& text, std::vector<WaypointRoute>* routes, std::string* error) {
  routes->clear();
  for (const Line& line : MeaningfulLines(text)) {
    std::string_view name;
    if (StartsWithWord(line.text, ROUTE_WORD, &name)) {
      routes->push_back({std::string(name), {}});
      continue;
    }
    RoutePoint waypoint{};
    if (!ReadDegrees(line.text, &waypoint)) return LineError(line, "not \"route NAME\" nor \"LAT LON\" in degrees", error);
    if (routes->empty()) return LineError(line, "a waypoint before the first \"route\" line", error);
    routes->back().waypoints.push_back(waypoint);
  }
  return static_cast<int>(routes->size());
}

std::string FormatRoadText(const std::vector<WaypointRoute>& routes, const std::vector<RouteRoads>& roads) {
  std::string text;
  for (size_t i = 0; i < routes.size(); ++i) {
    text += std::string(ROUTE_WORD) + " " + OneLine(routes[i].name) + "\n";
    for (int k = 0; k < StretchCount(routes[i]); ++k) {
      const bool found = i < roads.size() && static_cast<size_t>(k) < roads[i].size();
      const std::vector<RoutePoint> none;
      const std::vector<RoutePoint>& stretch = found ? roads[i][k] : none;
      text += std::string(STRETCH_WORD) + " " + std::to_string(stretch.size()) + "\n";
      for (const RoutePoint& point : stretch) AppendDegrees(&text, point);
    }
  }
  return text;
}

int ParseRoadText(const std::string& text, const std::vector<WaypointRoute>& routes, std::vector<RouteRoads>* roads,
                  std::string* error) {
  roads->clear();
  const std::vector<Line> lines = MeaningfulLines(text);
  size_t next = 0;
  for (const WaypointRoute& route : routes) {
    std::string_view name;
    if (next >= lines.size()) {
      *error = "the roads end before the route \"" + route.name + "\"";
      return -1;
    }
    if (!StartsWithWord(lines[next].text, ROUTE_WORD, &name) || name != OneLine(route.name)) {
      return LineError(lines[next], "expected \"route " + OneLine(route.name) + "\"", error);
    }
    ++next;
    RouteRoads& routeRoads = roads->emplace_back();
    for (int k = 0; k < StretchCount(route); ++k) {
      std::string_view count;
      int points = -1;
      const bool isStretch = next < lines.size() && StartsWithWord(lines[next].text, STRETCH_WORD, &count);
      const std::from_chars_result result =
          isStretch ? std::from_chars(count.data(), count.data() + count.size(), points) : std::from_chars_result{};
      if (!isStretch || result.ec != std::errc() || result.ptr != count.data() + count.size() || points < 0) {
        if (next >= lines.size()) {
          *error = "the roads of the route \"" + route.name + "\" end after " + std::to_string(k) + " stretches";
          return -1;
        }
        return LineError(lines[next], "expected \"stretch N\"", error);
      }
      ++next;
      std::vector<RoutePoint>& stretch = routeRoads.emplace_back();
      for (int p = 0; p < points; ++p, ++next) {
        RoutePoint point{};
        if (next >= lines.size()) {
          *error = "the roads end inside a stretch of the route \"" + route.name + "\"";
          return -1;
        }
        if (!ReadDegrees(lines[next].text, &point)) return LineError(lines[next], "not \"LAT LON\" in degrees", error);
        stretch.push_back(point);
      }
    }
  }
  if (next < lines.size()) return LineError(lines[next], "more than the routes asked for", error);
  return 0;
}
