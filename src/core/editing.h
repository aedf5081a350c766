#pragma once

#include <array>
#include <cstdint>

#include "core/sommet.h"

namespace plk {

// The mouse tool of both image windows.
enum class EditMode : std::int32_t {
  Arrow = 0,   // shows the pointer position only
  Add = 1,     // draws polygons vertex by vertex
  Move = 2,    // drags a vertex
  Del = 3,     // deletes a vertex
  Adjust = 4,  // moves a vertex onto the line through two others
};

// Editing state shared by the two image windows and the main window.
struct EditingState {
  EditMode editMode = EditMode::Arrow;
  double snapU = -1.0;        // border row the pointer is snapped to, -1 when none
  double snapV = -1.0;        // border column the pointer is snapped to, -1 when none
  std::int32_t pointerX = 0;  // last pointer position on a drawing surface
  std::int32_t pointerY = 0;
};

}  // namespace plk
