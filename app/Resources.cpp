#include "app/Resources.h"

namespace app {

QIcon ProgramIcon() {
    return QIcon(QStringLiteral(":/milman/icon32.png"));
}
QIcon OpenGlyph() {
    return QIcon(QStringLiteral(":/milman/open16.png"));
}
QIcon SaveGlyph() {
    return QIcon(QStringLiteral(":/milman/save16.png"));
}

} // namespace app
