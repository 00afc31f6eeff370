#include "app/Resources.h"

#include <QFont>
#include <QPalette>
#include <QWidget>

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

void ApplyFormLook(QWidget& form) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    form.setFont(font);
    QPalette face = form.palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    form.setPalette(face);
    form.setAutoFillBackground(true);
}

} // namespace app
