// Point labels of the same rule and text closer than a distance are one
// place mapped twice, such as a station with a node per line or platform:
// only the first is kept, so that the names do not pile up on each other.
// Kept labels are found through a grid of cells the size of that distance,
// so each label is compared only with the kept labels of its own and the
// eight neighbouring cells, not with all of them.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class LabelTwins {
 public:
  explicit LabelTwins(double distance) : distance(distance) {}

  // True when a label of `rule` with `text` at (x, y) was kept before
  // within the distance (the label is then a twin and left out); else the
  // label is kept and false returned.
  bool IsTwin(int rule, const std::string& text, double x, double y);

 private:
  struct Kept {
    int rule;
    std::string text;
    double x, y;
  };
  int64_t Cell(double v) const;

  double distance;
  std::unordered_map<uint64_t, std::vector<Kept>> cells;
};
