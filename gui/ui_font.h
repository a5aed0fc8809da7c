#pragma once

#include <QFont>

namespace gui {

// The version and date labels' face: "Letha", 14 pixels high, weight 600; where that face is
// missing, the default UI face at the same height and weight.
QFont LabelFont();

}  // namespace gui
