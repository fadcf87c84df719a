// One point of the absolute camera path.
#pragma once

struct PathPoint {
  double x;      // full-resolution pixels, growing to the right
  double y;      // full-resolution pixels, growing downwards
  double angle;  // radians, counter-clockwise on the screen
};
