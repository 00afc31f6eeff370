// The program's pictures (the window icon and the 16 x 16 menu glyphs) and the
// look its windows share.
#pragma once

#include <QIcon>

class QWidget;

namespace app {

QIcon ProgramIcon();
QIcon OpenGlyph();
QIcon SaveGlyph();

// The classic dialog font (pixel size 11) on the button-face colour.
void ApplyFormLook(QWidget& form);

} // namespace app
