// The program's pictures: the window icon and the 16 x 16 menu glyphs.
#pragma once

#include <QIcon>

namespace app {

QIcon ProgramIcon();
QIcon OpenGlyph();
QIcon SaveGlyph();

} // namespace app
